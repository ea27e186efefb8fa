// The pager's pages in memory. A page is here while a handle to it lives (PageRef), while it
// holds a change not yet committed (dirty), or, clean and unused, among the most recently
// used `clean_pages_kept` pages; the least recently used clean page goes first. So memory
// grows with what a change writes and what callers hold at once, never with the file.
//
// Dropping pages (a rollback's appended pages, another program's commit seen by a reader)
// never frees a page a handle still holds: it leaves the cache at once and is freed with
// its last handle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/jet/storage/page_store.h"

namespace engine::jet {

// The most unused pages a cache is told to keep: as many as the largest Jet file has (page
// numbers are three bytes); any more could never be used.
inline constexpr size_t kMostPagesKept = 0xFFFFFF;

// The number of unused clean pages a setting's text asks to keep (ARCHIVI_PAGE_CACHE_PAGES,
// see pager.h): a whole number from 0 to kMostPagesKept in plain digits, or nothing for any
// other text (a sign, a space, a fraction, a number beyond it).
std::optional<size_t> ParsePagesKept(std::string_view setting);

class PageCache {
 public:
  // `page_size`: the largest page the file may have (buffers are reused across files).
  PageCache(size_t page_size, size_t clean_pages_kept);
  ~PageCache();
  PageCache(const PageCache&) = delete;
  PageCache& operator=(const PageCache&) = delete;

  // Pages 0 .. page_count - 1 may be cached; pages past the end are dropped.
  void Resize(uint32_t page_count);
  bool Has(uint32_t page) const { return page < frames_.size() && frames_[page] != nullptr; }
  // A handle on the page when it is cached; an empty one otherwise.
  PageRef Get(uint32_t page);
  // A buffer for a page about to be read, then handed to Add; buffers of evicted pages are
  // used again.
  std::unique_ptr<uint8_t[]> NewBuffer();
  // Caches a page read from the file (clean) or appended (dirty, zeroed by the caller).
  PageRef Add(uint32_t page, std::unique_ptr<uint8_t[]> bytes, bool dirty);
  // The page holds a change: it stays until MarkAllClean or Resize drops it.
  void MarkDirty(uint32_t page);
  // After a commit or rollback: every page is as the file holds it.
  void MarkAllClean();
  // Forgets every page.
  void Clear();

  // The bytes of a cached page, for the pager's commit and rollback.
  uint8_t* bytes(uint32_t page) const;
  size_t pages_in_memory() const { return in_memory_; }

 private:
  struct Frame;
  static void Unpinned(PageFrame* frame);
  void Link(Frame* frame);    // at the most recently used end
  void Unlink(Frame* frame);
  void Trim();
  void Drop(Frame* frame);
  void Free(Frame* frame);

  size_t page_size_;
  size_t clean_pages_kept_;
  std::vector<Frame*> frames_;  // by page number
  std::vector<Frame*> dirty_;
  Frame* oldest_ = nullptr;     // the unused clean pages, least recently used first
  Frame* newest_ = nullptr;
  size_t unused_ = 0;
  size_t in_memory_ = 0;
  std::vector<std::unique_ptr<uint8_t[]>> spare_buffers_;
};

}  // namespace engine::jet
