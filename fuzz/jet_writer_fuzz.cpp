// libFuzzer target for the Jet writer: the input's whole pages are a price list (damaged as
// the fuzzer likes; Access 97 or 2000, by the header's version byte, which sets the page
// size), the bytes after the last whole page a script of the import's operations
// on its "Articoli" (or its first user table): look a code up and add it when it is missing,
// empty the table, commit, roll back. The relationships in MSysRelationships are kept as the
// database keeps them: every added row checked, the purge keeping or cascading rows. The pages live in a memory page store; a commit keeps
// a copy of them and a rollback goes back to it, as the pager does with its journal. Damage
// must end in engine::Error, never in a crash, a hang or unbounded memory.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/error.h"
#include "engine/jet/catalog/catalog.h"
#include "engine/jet/catalog/relationships.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/storage/header_page.h"
#include "engine/jet/storage/memory_page_store.h"
#include "engine/jet/table/relationship_keeper.h"
#include "engine/jet/table/table_writer.h"
#include "engine/text/text_locale.h"

namespace {

using namespace engine::jet;

// Enough for a small price list with a few index levels, and quick to copy per commit (in
// either page size).
constexpr size_t kMostPages = 96;
constexpr size_t kMostOperations = 64;

enum Operation : uint8_t { kLookUpAndAdd, kAddAgain, kPurge, kCommit, kRollBack, kOperationKinds };

class WriterSession {
 public:
  explicit WriterSession(std::vector<uint8_t> committed) : committed_(std::move(committed)) { Open(); }

  void Run(uint8_t step) {
    try {
      switch (static_cast<Operation>(step % kOperationKinds)) {
        case kLookUpAndAdd: LookUpAndAdd(step / kOperationKinds); break;
        case kAddAgain: Add(step / kOperationKinds); break;
        case kPurge: relationships_->DeleteAll(*writer_); break;
        case kCommit:
          for (auto& [page, writer] : writers_) writer->Flush();
          committed_ = store_->Bytes();
          break;
        case kRollBack: Open(); break;
        case kOperationKinds: break;
      }
    } catch (const engine::Error&) {
      Open();  // as the database does after a failed write: back to the last commit
    }
  }

 private:
  void Open() {
    writer_ = nullptr;
    writers_.clear();
    relationships_.reset();
    store_ = MemoryPageStore::FromBytes(committed_.data(), committed_.size(), "fuzz.mdb");
    text_.emplace(store_->format().version, store_->header().code_page, "fuzz.mdb");
    const TextDecoder& text = *text_;
    std::vector<CatalogEntry> tables = ReadCatalog(*store_, text);
    const CatalogEntry* chosen = nullptr;
    for (const CatalogEntry& entry : tables) {
      if (entry.name == u"Articoli" || (!chosen && !entry.is_system)) chosen = &entry;
    }
    if (!chosen) throw engine::Error("fuzz.mdb", "no user table", engine::ErrorKind::NoSuchTable);
    TableDefinition table = ReadTableDefinition(*store_, text, chosen->tdef_page, chosen->name);
    auto writer_of = [this, tables](std::u16string_view name) -> TableWriter* {
      for (const CatalogEntry& entry : tables) {
        if (entry.name != name) continue;
        auto& writer = writers_[entry.tdef_page];
        if (!writer) writer = MakeWriter(ReadTableDefinition(*store_, *text_, entry.tdef_page, entry.name));
        return writer.get();
      }
      return nullptr;
    };
    relationships_ = std::make_unique<RelationshipKeeper>(*store_, ReadRelationships(*store_, text, tables),
                                                          std::move(writer_of), "fuzz.mdb");
    code_position_ = 0;
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (table.columns[i].type == ColumnType::Text) {
        code_position_ = static_cast<int>(i);
        break;
      }
    }
    auto& writer = writers_[table.tdef_page];
    writer = MakeWriter(std::move(table));
    writer_ = writer.get();
  }

  std::unique_ptr<TableWriter> MakeWriter(TableDefinition table) {
    auto writer = std::make_unique<TableWriter>(*store_, std::move(table), engine::TextLocale::Italian(), "fuzz.mdb");
    writer->KeepRelationships(relationships_.get());
    return writer;
  }

  static std::u16string Code(unsigned n) {
    const std::string text = "ART-" + std::to_string(n);
    return std::u16string(text.begin(), text.end());
  }

  void LookUpAndAdd(unsigned n) {
    const auto found = writer_->FindEqual(code_position_, Code(n));
    if (!found || found->empty()) Add(n);
  }

  void Add(unsigned n) {
    std::vector<engine::Value> values = writer_->NewRecord();
    if (static_cast<size_t>(code_position_) < values.size()) values[code_position_] = engine::Value::Text(Code(n));
    writer_->AddRow(values);
  }

  std::vector<uint8_t> committed_;
  std::unique_ptr<MemoryPageStore> store_;
  std::optional<TextDecoder> text_;
  std::unique_ptr<RelationshipKeeper> relationships_;  // before the writers, which point at it
  std::map<PageNumber, std::unique_ptr<TableWriter>> writers_;
  TableWriter* writer_ = nullptr;  // the table the script works on
  int code_position_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHeaderBytesNeeded) return 0;
  const size_t page_size = PageSizeNamedBy(data);
  const size_t pages = std::min(size / page_size, kMostPages);
  if (pages < 3) return 0;
  const uint8_t* script = data + pages * page_size;
  const size_t steps = std::min(size - pages * page_size, kMostOperations);
  try {
    WriterSession session(std::vector<uint8_t>(data, data + pages * page_size));
    for (size_t i = 0; i < steps; ++i) session.Run(script[i]);
  } catch (const engine::Error&) {
    // The list could not be opened at all.
  }
  return 0;
}
