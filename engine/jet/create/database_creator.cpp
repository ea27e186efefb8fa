// A new Jet 4 or Jet 3 database built page by page in memory: see database_creator.h for the
// pages.
#include "engine/jet/create/database_creator.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/base/bytes.h"
#include "engine/base/error.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/create/system_tables.h"
#include "engine/jet/page/data_page.h"
#include "engine/jet/page/usage_map.h"
#include "engine/jet/page/usage_map_writer.h"
#include "engine/jet/row/text_codec.h"
#include "engine/jet/storage/header_page.h"

namespace engine::jet {
namespace {

// Global usage map: page 1, row 0, a set bit meaning "free"; Jet adds an empty second row.
constexpr uint32_t kGlobalMapPageOwner = 1;  // what Jet stores in the owner field of page 1

// Page 1 of a file of `page_count` pages: those pages are used, the rest of the window free.
void WriteGlobalMapPage(uint8_t* page, const JetFormat& format, uint32_t page_count) {
  InitDataPage(page, format.page_size, kGlobalMapPageOwner);
  std::string map(format.usage_map_row_size, '\0');
  uint8_t* bytes = reinterpret_cast<uint8_t*>(map.data());
  StartInlineMap(bytes, map.size(), 0);
  for (uint32_t p = page_count; p < (map.size() - kInlineMapHeader) * 8; ++p)
    SetMapBit(bytes + kInlineMapHeader, p, true);
  AppendRowToPage(page, format.page_size, map);
  AppendRowToPage(page, format.page_size, std::string(map.size(), '\0'));
}

void WriteHeaderPage(uint8_t* page, JetVersion version, double creation_days) {
  if (version == JetVersion::Jet3) {
    EncodeJet3HeaderPage(page);
  } else {
    EncodeJet4HeaderPage(page, creation_days);
  }
}

[[noreturn]] void ThrowIo(const std::string& file, const char* what) {
  const int error = errno;
  throw Error(file, std::string(what) + ": " + std::strerror(error), KindOfSystemError(error));
}

void WriteAll(int fd, const std::vector<uint8_t>& bytes, const std::string& file) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      ThrowIo(file, "the file cannot be written");
    }
    done += static_cast<size_t>(wrote);
  }
  if (::fsync(fd) != 0) ThrowIo(file, "the file cannot be written");
}

}  // namespace

void DatabaseImage::Save(const std::filesystem::path& path) const {
  const std::filesystem::path temporary = path.string() + ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) ThrowIo(path.string(), "the file cannot be written");
  try {
    WriteAll(fd, Bytes(), path.string());
  } catch (...) {
    ::close(fd);
    ::unlink(temporary.c_str());
    throw;
  }
  ::close(fd);
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    ThrowIo(path.string(), "the file cannot be replaced");
  }
}

EmptyDatabase BuildEmptyDatabase(const std::string& file_name, const NewDatabaseOptions& options) {
  const double created = options.creation_days != 0 ? options.creation_days : JetNow();
  const JetFormat& format = FormatOf(options.version);
  EmptyDatabase result{DatabaseImage(file_name, format), {}};
  DatabaseImage& image = result.image;
  WriteHeaderPage(image.WritePage(image.AppendPage()).data(), options.version, created);
  // Page 1, the global usage map: every later page free until the allocator hands it out.
  WriteGlobalMapPage(image.WritePage(image.AppendPage()).data(), format, kGlobalUsageMap.page.value() + 1);
  PageAllocator allocator(image);
  const PageSource new_page = [&allocator] { return allocator.Allocate(); };

  // TDEFs first, so that MSysObjects sits at page 2 where readers look for it.
  std::vector<TableDefinition> tables;
  std::vector<PageNumber> tdef_pages;
  for (const TableSpec& spec : SystemTableSpecs(options.version)) {
    tables.push_back(LayOutTable(spec, format));
    tables.back().tdef_pages = {new_page()};
    tdef_pages.push_back(tables.back().tdef_pages.front());
  }
  UsageMapRows maps(image, new_page);
  for (TableDefinition& table : tables) WriteTableStorage(image, new_page, maps, table);
  // The rows go in through the definitions as the reader reads them back, so that whatever it
  // derives from the file (the code page of a Jet 3 text column) holds for the writer too.
  const TextDecoder text(options.version, image.header().code_page, file_name);
  for (TableDefinition& table : tables) table = ReadTableDefinition(image, text, table.tdef_page, table.name);

  AddSystemRows(image, tables[0], InitialCatalogueRows(tdef_pages, created, options.version), file_name);
  AddSystemRows(image, tables[1], InitialPermissionRows(tdef_pages, options.version), file_name);
  result.catalogue = std::move(tables[0]);
  return result;
}

void CreateDatabase(const std::filesystem::path& path, const std::vector<TableSpec>& tables,
                    const NewDatabaseOptions& options) {
  const std::string file = path.string();
  std::error_code ignored;
  if (std::filesystem::exists(path, ignored)) {
    throw Error(file, "the file already exists and will not be overwritten", ErrorKind::AlreadyExists);
  }
  EmptyDatabase database = BuildEmptyDatabase(file, options);
  if (!tables.empty()) {
    PageAllocator allocator(database.image);
    const PageSource new_page = [&allocator] { return allocator.Allocate(); };
    const double now = options.creation_days != 0 ? options.creation_days : JetNow();
    for (const TableSpec& spec : tables) CreateTable(database.image, new_page, database.catalogue, spec, file, now);
  }
  // O_EXCL: a file that appeared meanwhile is still never overwritten.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (errno == EEXIST) {
      throw Error(file, "the file already exists and will not be overwritten", ErrorKind::AlreadyExists);
    }
    ThrowIo(file, "the file cannot be created");
  }
  try {
    WriteAll(fd, database.image.Bytes(), file);
  } catch (...) {
    ::close(fd);
    ::unlink(path.c_str());
    throw;
  }
  ::close(fd);
}

TableSpec ArticoliTableSpec() {
  auto text = [](const char16_t* name, uint16_t chars) {
    ColumnSpec column;
    column.name = name;
    column.type = ColumnType::Text;
    column.max_chars = chars;
    return column;
  };
  auto of_type = [](const char16_t* name, ColumnType type) {
    ColumnSpec column;
    column.name = name;
    column.type = type;
    return column;
  };
  ColumnSpec id = of_type(u"IdArticolo", ColumnType::Long);
  id.autonumber = true;
  TableSpec spec;
  spec.name = u"Articoli";
  spec.columns = {id,
                  text(u"Codice Articolo", 50),
                  text(u"Descrizione", 50),
                  text(u"Descrizione Catalogo", 50),
                  of_type(u"Prezzo", ColumnType::Money),
                  of_type(u"Prezzo 2", ColumnType::Money),
                  text(u"Categoria", 50),
                  of_type(u"Data Inserimento", ColumnType::DateTime),
                  text(u"Immagine", 255)};
  IndexSpec primary;
  primary.name = u"PrimaryKey";
  primary.columns = {{u"IdArticolo", true}};
  primary.primary = true;
  IndexSpec code;
  code.name = u"Codice Articolo";
  code.columns = {{u"Codice Articolo", true}};
  IndexSpec category;
  category.name = u"Categoria";
  category.columns = {{u"Categoria", true}};
  spec.indexes = {primary, code, category};
  return spec;
}

void CreateListiniDatabase(const std::filesystem::path& path, const NewDatabaseOptions& options) {
  CreateDatabase(path, {ArticoliTableSpec()}, options);
}

}  // namespace engine::jet
