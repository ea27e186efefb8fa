// The pieces of a new Access 97 file against the files Access 97 made: the header page, the
// table definitions, and the system tables' layout. Nothing here needs a row to be written.
#include <array>
#include <cstring>

#include <gtest/gtest.h>

#include "engine/jet/catalog/tdef_encoder.h"
#include "engine/jet/create/system_tables.h"
#include "engine/jet/storage/header_page.h"
#include "tests/engine/jet/create/create_test_support.h"

namespace {

using namespace testsupport;

std::vector<std::filesystem::path> Access97Files() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(FixturesDir() / "jet" / "V1997")) {
    if (entry.path().extension() == ".mdb") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Where `made` first differs from `stored` (compared from `from` to the end of `made`), or -1.
long FirstDifference(const std::vector<uint8_t>& made, const std::vector<uint8_t>& stored, size_t from = 0) {
  for (size_t i = from; i < made.size(); ++i) {
    if (i >= stored.size() || made[i] != stored[i]) return static_cast<long>(i);
  }
  return -1;
}

// testIndexCodesV1997.mdb was written by another program than Access 97, which leaves two
// masked words of Access's header zero.
bool WrittenByAccess97(const std::filesystem::path& file) { return file.filename() != "testIndexCodesV1997.mdb"; }

TEST(Jet3Layout, NewHeaderPageIsTheOneAccess97Writes) {
  REQUIRE_FIXTURES();
  std::vector<uint8_t> made(kJet3Format.page_size);
  EncodeJet3HeaderPage(made.data());
  for (const std::filesystem::path& file : Access97Files()) {
    if (!WrittenByAccess97(file)) continue;
    SCOPED_TRACE(file.filename().string());
    std::vector<uint8_t> stored = ReadBytes(file);
    stored.resize(made.size());
    // Two bytes at the start of the table at 0x600, which Access moves on as it uses a file.
    stored[0x600] = made[0x600];
    stored[0x602] = made[0x602];
    EXPECT_EQ(FirstDifference(made, stored), -1);
  }
  const engine::jet::HeaderPage header = DecodeHeaderPage(made.data(), made.size(), "new.mdb");
  EXPECT_EQ(header.format, &kJet3Format);
  EXPECT_FALSE(header.has_password);
}

// The bytes of a stored definition a new one leaves zero or writes in another order: each real
// index's entry count (Jet counts the rows it holds), the flag byte of unused index column
// slots (Access leaves bytes of old names there), and the order of the long-value column maps.
void SetAsideWhatJetKeepsOfItsOwn(std::vector<uint8_t>& bytes, const TableDefinition& table, size_t end) {
  const JetFormat& f = kJet3Format;
  for (size_t i = 0; i < table.real_indexes.size(); ++i)
    engine::PutU32(&bytes[f.tdef_first_block + i * f.real_index_count_entry], 0);
  size_t at = f.tdef_first_block + table.real_indexes.size() * f.real_index_count_entry +
              table.columns.size() * f.column_descriptor_size;
  for (size_t i = 0; i < table.columns.size(); ++i) at += f.name_length_size + bytes[at];
  for (size_t i = 0; i < table.real_indexes.size(); ++i, at += f.real_index_descriptor_size) {
    for (size_t slot = 0; slot < kIndexColumnSlots; ++slot) {
      uint8_t* entry = &bytes[at + f.real_columns + kIndexColumnEntrySize * slot];
      if (engine::GetU16(entry) == kNoIndexColumn) entry[2] = 0;
    }
  }
  const size_t long_values = static_cast<size_t>(std::count_if(
      table.columns.begin(), table.columns.end(), [](const ColumnDefinition& c) { return c.is_long_value(); }));
  std::vector<std::array<uint8_t, 10>> maps(long_values);
  const size_t maps_start = end - 2 - long_values * f.lval_map_entry_size;
  for (size_t i = 0; i < long_values; ++i) std::memcpy(maps[i].data(), &bytes[maps_start + 10 * i], 10);
  std::sort(maps.begin(), maps.end());
  for (size_t i = 0; i < long_values; ++i) std::memcpy(&bytes[maps_start + 10 * i], maps[i].data(), 10);
}

// Every definition Access 97 wrote, read and written again, gives its bytes back; but for what
// SetAsideWhatJetKeepsOfItsOwn sets aside and the relationships' own index fields, which the
// writer never makes.
TEST(Jet3Layout, TableDefinitionsReEncodeAsAccess97WroteThem) {
  REQUIRE_FIXTURES();
  size_t compared = 0;
  for (const std::filesystem::path& file : Access97Files()) {
    if (!WrittenByAccess97(file)) continue;
    OpenedDatabase db(file);
    const TdefDatabaseSettings settings{db.pager().header().code_page, db.pager().header().sort_order};
    for (const CatalogEntry& entry : db.Catalog()) {
      SCOPED_TRACE(file.filename().string() + " " + engine::ToUtf8(entry.name));
      const TableDefinition table = db.Table(entry.name);
      const bool related = std::any_of(table.logical_indexes.begin(), table.logical_indexes.end(),
                                       [](const LogicalIndex& index) { return index.kind == kLogicalForeignKey; });
      // Access's own objects made as user tables, whose column positions it leaves 0.
      const bool access_object = entry.is_system && table.table_type == kUserTableType;
      if (related || access_object) continue;
      std::vector<uint8_t> stored = LoadTableDefinitionBytes(db.pager(), entry.tdef_page, nullptr);
      std::vector<uint8_t> made = EncodeTableDefinition(table, kJet3Format, settings);
      ASSERT_LE(made.size(), stored.size());
      SetAsideWhatJetKeepsOfItsOwn(stored, table, made.size());
      SetAsideWhatJetKeepsOfItsOwn(made, table, made.size());
      EXPECT_EQ(FirstDifference(made, stored, kJet3Format.tdef_page_header_size), -1);
      std::vector<uint8_t> page(kJet3Format.page_size);
      WriteTableDefinitionPage(made, 0, table.tdef_pages.size() > 1 ? table.tdef_pages[1] : kNoPage, page.data(),
                               kJet3Format);
      page.resize(kJet3Format.tdef_page_header_size);
      EXPECT_EQ(FirstDifference(page, stored), -1);
      ++compared;
    }
  }
  EXPECT_GT(compared, 30u);
}

TEST(Jet3Layout, SystemTablesAreLaidOutAsAccess97Has) {
  REQUIRE_FIXTURES();
  OpenedDatabase access(FixturesDir() / "jet" / "V1997" / "delTestV1997.mdb");
  for (const TableSpec& spec : SystemTableSpecs(JetVersion::Jet3)) {
    TableDefinition made = LayOutTable(spec, kJet3Format);
    const TableDefinition jet = access.Table(spec.name);
    // The counts of entries follow the rows, which a layout has none of yet.
    for (size_t i = 0; i < made.real_indexes.size() && i < jet.real_indexes.size(); ++i) {
      made.real_indexes[i].unique_entry_count = jet.real_indexes[i].unique_entry_count;
    }
    ExpectSameColumns(made, jet);
    ExpectSameIndexes(made, jet);
    ASSERT_EQ(made.logical_indexes.size(), jet.logical_indexes.size());
    for (size_t i = 0; i < made.logical_indexes.size(); ++i) {
      EXPECT_EQ(made.logical_indexes[i].name, jet.logical_indexes[i].name) << "in the order Access 97 lists them";
    }
  }
}

}  // namespace
