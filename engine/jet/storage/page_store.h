// The pages of one Jet file as the index and table code sees them. The pager implements it:
// every read and write of the file goes through it, so the journal sees every change.
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine::jet {

class PageStore {
 public:
  virtual ~PageStore() = default;
  virtual size_t page_size() const = 0;
  virtual uint32_t page_count() const = 0;
  // A page's bytes. The pointer stays valid until the store is closed or a transaction is
  // rolled back, so code may hold several pages at once. Throws engine::Error for a page
  // number past the end of the file.
  virtual const uint8_t* ReadPage(uint32_t page) = 0;
  // A page to change; its old content is saved to the journal before the first change in a
  // transaction. Read-only stores throw.
  virtual uint8_t* WritePage(uint32_t page) = 0;
  // A new page at the end of the file (zero-filled), already writable. The caller records it
  // in the usage maps.
  virtual uint32_t AppendPage() = 0;
};

}  // namespace engine::jet
