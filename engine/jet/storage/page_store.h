// The pages of one Jet file as every codec sees them, readers and writers alike. The pager
// implements it: every read and write of the file goes through it, so the journal sees every
// change. Tests use a store held in memory.
// Layout: FORMAT.md, "The file and its pages".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "engine/jet/format/byte_reader.h"
#include "engine/jet/format/format.h"
#include "engine/jet/format/page_number.h"
#include "engine/jet/storage/header_page.h"

namespace engine::jet {

// A page held in a store's cache (page_cache.h): its bytes and how many handles keep it.
struct PageFrame {
  uint8_t* bytes = nullptr;
  uint32_t pins = 0;
  bool dropped = false;  // no longer in the cache (stale); freed with its last handle
  void (*unpinned)(PageFrame*) = nullptr;  // called when the last handle goes
};

// A handle on one page: the page stays in memory, at the same address, while a handle to it
// lives, and no longer. Code that needs several pages holds several handles; a pointer into
// a page must not outlive the handle it came from. Copies share the page.
class PageRef {
 public:
  PageRef() = default;
  // A page the store keeps for its whole life (stores in memory): no counting.
  explicit PageRef(const uint8_t* bytes) : bytes_(const_cast<uint8_t*>(bytes)) {}
  // A page of a cache, pinned while the handle lives.
  explicit PageRef(PageFrame* frame) : bytes_(frame->bytes), frame_(frame) { ++frame_->pins; }
  PageRef(const PageRef& other) : bytes_(other.bytes_), frame_(other.frame_) {
    if (frame_) ++frame_->pins;
  }
  PageRef(PageRef&& other) noexcept : bytes_(other.bytes_), frame_(other.frame_) {
    other.bytes_ = nullptr;
    other.frame_ = nullptr;
  }
  PageRef& operator=(const PageRef& other) {
    PageRef copy(other);
    return *this = std::move(copy);
  }
  PageRef& operator=(PageRef&& other) noexcept {
    std::swap(bytes_, other.bytes_);
    std::swap(frame_, other.frame_);
    return *this;
  }
  ~PageRef() {
    if (frame_ && --frame_->pins == 0) frame_->unpinned(frame_);
  }

  const uint8_t* data() const { return bytes_; }
  explicit operator bool() const { return bytes_ != nullptr; }
  // Whether the page is still the store's: a rollback or another program's commit leaves
  // the pages it dropped readable through their handles, but stale.
  bool current() const { return bytes_ && (!frame_ || !frame_->dropped); }

 protected:
  uint8_t* bytes_ = nullptr;
  PageFrame* frame_ = nullptr;
};

// A handle on a page being changed (PageStore::WritePage).
class WritablePage : public PageRef {
 public:
  WritablePage() = default;
  explicit WritablePage(PageRef page) : PageRef(std::move(page)) {}
  uint8_t* data() const { return bytes_; }
};

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
  // A handle on a page's bytes (see PageRef). Throws engine::Error for a page number past
  // the end of the file.
  virtual PageRef ReadPage(PageNumber page) = 0;
  // A page to change; its old content is saved to the journal before the first change in a
  // transaction. Read-only stores throw.
  virtual WritablePage WritePage(PageNumber page) = 0;
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
