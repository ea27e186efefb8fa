// The pages of one Jet file as every codec sees them, readers and writers alike. The pager
// implements it: every read and write of the file goes through it, so the journal sees every
// change. Tests use a store held in memory.
// Layout: FORMAT.md, "The file and its pages".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/jet/format/byte_reader.h"
#include "engine/jet/format/format.h"
#include "engine/jet/format/page_number.h"
#include "engine/jet/storage/header_page.h"

namespace engine::jet {

class PageStore {
 public:
  virtual ~PageStore() = default;

  // Page 0 as decoded when the store was opened, and the layout of the file's Jet version.
  // Held here, not asked of the implementation, since readers consult them for every row.
  const HeaderPage& header() const { return header_; }
  const JetFormat& format() const { return *header_.format; }
  size_t page_size() const { return header_.format->page_size; }
  // The file the pages come from, for messages.
  virtual const std::string& file_name() const = 0;
  // Throws "the database is damaged" naming the file.
  [[noreturn]] void Damaged(const std::string& what) const { ThrowDamaged(file_name(), what); }

  virtual uint32_t page_count() const = 0;
  // Whether the page lies inside the file.
  bool has_page(PageNumber page) const { return page.value() < page_count(); }
  // A page's bytes. The pointer stays valid until the store is closed or a transaction is
  // rolled back, so code may hold several pages at once. Throws engine::Error for a page
  // number past the end of the file.
  virtual const uint8_t* ReadPage(PageNumber page) = 0;
  // A page to change; its old content is saved to the journal before the first change in a
  // transaction. Read-only stores throw.
  virtual uint8_t* WritePage(PageNumber page) = 0;
  // A new page at the end of the file (zero-filled), already writable. The caller records it
  // in the usage maps.
  virtual PageNumber AppendPage() = 0;

 protected:
  // A store of the given version whose header says nothing else.
  explicit PageStore(const JetFormat& format) { header_.format = &format; }
  PageStore(const PageStore&) = default;
  PageStore& operator=(const PageStore&) = default;
  void set_header(const HeaderPage& header) { header_ = header; }

 private:
  HeaderPage header_;
};

}  // namespace engine::jet
