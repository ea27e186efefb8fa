// libFuzzer target for the Jet writer: the input's whole pages are a price list (damaged as
// the fuzzer likes; Access 97 or 2000, by the header's version byte, which sets the page
// size), the bytes after the last whole page a script of the import's operations on its
// "Articoli" (or its first user table): look a code up and add it when it is missing, empty
// the table, commit, roll back. The relationships in MSysRelationships are kept as the
// database keeps them: every added row checked, the purge keeping or cascading rows. The
// pages live in a memory page store; a commit keeps a copy of them and a rollback goes back
// to it, as the pager does with its journal. Damage
// must end in engine::Error, never in a crash, a hang or unbounded memory; and what the
// script committed must not give `archivi check` more problems than the list it started from.
//
// Besides libFuzzer's own byte changes, the mutator damages the data pages as real damaged
// lists were found damaged: bytes inside a row whose index entries stay, a free-space field
// the rows do not leave, a slot's offset moved (down to the slot table, or anywhere).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/error.h"
#include "engine/jet/catalog/catalog.h"
#include "engine/jet/catalog/relationships.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/check/checker.h"
#include "engine/jet/page/data_page.h"
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

  const std::vector<uint8_t>& committed() const { return committed_; }

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

size_t ProblemCount(const std::vector<uint8_t>& pages) {
  try {
    const auto store = MemoryPageStore::FromBytes(pages.data(), pages.size(), "fuzz.mdb");
    return CheckDatabase(*store, pages.size()).problems.size();
  } catch (const engine::Error&) {
    return SIZE_MAX;  // not even openable: worse than any list of problems
  }
}

// A write that went past damage it should have refused leaves the list worse than it was.
// Checked once per input, on the last commit, so that the check does not slow every step.
void NoWorseThanAtStart(const std::vector<uint8_t>& start, const std::vector<uint8_t>& committed) {
  if (committed == start) return;
  const size_t before = ProblemCount(start), after = ProblemCount(committed);
  if (after <= before) return;
  std::fprintf(stderr, "the committed list has %zu problems, the one the script started from %zu\n", after, before);
  __builtin_trap();
}

// The layout the input's header names, as the target reads it.
const JetFormat& FormatOfInput(const uint8_t* data, size_t size) {
  return size >= kHeaderBytesNeeded && PageSizeNamedBy(data) == kJet3Format.page_size ? kJet3Format : kJet4Format;
}

// The whole data pages (type 0x01) of the input.
std::vector<uint8_t*> DataPages(uint8_t* data, size_t size, const JetFormat& format) {
  std::vector<uint8_t*> pages;
  for (size_t at = 0; at + format.page_size <= size && pages.size() < kMostPages; at += format.page_size) {
    if (data[at] == kPageData && data[at + 1] == 0x01) pages.push_back(data + at);
  }
  return pages;
}

// One damage of the kinds found on the pages new rows go to; false when the page has no rows.
bool DamageDataPage(uint8_t* page, const JetFormat& format, std::minstd_rand& rng) {
  const DataPage view(page, format);
  const uint16_t slots = view.slot_count();
  if (slots == 0 || !view.slot_table_fits()) return false;
  const uint16_t slot = static_cast<uint16_t>(rng() % slots);
  uint8_t* entry = page + format.data_header_size + 2 * slot;
  switch (rng() % 4) {
    case 0: {  // bytes inside a row
      const SlotEntry bounds = view.slot(slot);
      if (!bounds.fits(view.slot_table_end()) || bounds.end > format.page_size || bounds.start == bounds.end) {
        return false;
      }
      for (unsigned n = 1 + rng() % 3; n > 0; --n) {
        page[bounds.start + rng() % (bounds.end - bounds.start)] ^= static_cast<uint8_t>(1 + rng() % 255);
      }
      return true;
    }
    case 1:  // the free-space field
      engine::PutU16(page + kDataPageFreeSpace, rng() % 2 ? 0xFFFF : static_cast<uint16_t>(rng()));
      return true;
    case 2: {  // the last row stretched down to a few bytes above the slot table
      entry = page + format.data_header_size + 2 * (slots - 1);
      const uint16_t flags = engine::GetU16(entry) & (kSlotDeleted | kSlotOverflow);
      engine::PutU16(entry, static_cast<uint16_t>(flags | (view.slot_table_end() + rng() % 8)));
      return true;
    }
    default:  // a slot's offset anywhere
      engine::PutU16(entry, static_cast<uint16_t>(rng()));
      return true;
  }
}

}  // namespace

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t max_size);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size, unsigned int seed) {
  std::minstd_rand rng(seed);
  if (rng() % 2 == 0) {
    const JetFormat& format = FormatOfInput(data, size);
    const std::vector<uint8_t*> pages = DataPages(data, size, format);
    for (int tries = 0; !pages.empty() && tries < 4; ++tries) {
      if (DamageDataPage(pages[rng() % pages.size()], format, rng)) return size;
    }
  }
  return LLVMFuzzerMutate(data, size, max_size);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHeaderBytesNeeded) return 0;
  const size_t page_size = PageSizeNamedBy(data);
  const size_t pages = std::min(size / page_size, kMostPages);
  if (pages < 3) return 0;
  const uint8_t* script = data + pages * page_size;
  const size_t steps = std::min(size - pages * page_size, kMostOperations);
  try {
    const std::vector<uint8_t> start(data, data + pages * page_size);
    WriterSession session(start);
    for (size_t i = 0; i < steps; ++i) session.Run(script[i]);
    NoWorseThanAtStart(start, session.committed());
  } catch (const engine::Error&) {
    // The list could not be opened at all.
  }
  return 0;
}
