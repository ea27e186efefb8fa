// Pages in memory: see page_cache.h.
#include "engine/jet/storage/page_cache.h"

namespace engine::jet {
namespace {

// Buffers of evicted pages kept for the next reads, so that a long walk does not go to the
// allocator for every page.
constexpr size_t kSpareBuffers = 32;

}  // namespace

struct PageCache::Frame : PageFrame {
  PageCache* cache = nullptr;
  uint32_t page = 0;
  bool dirty = false;
  bool linked = false;   // in the list of unused clean pages
  Frame* older = nullptr;
  Frame* newer = nullptr;
  std::unique_ptr<uint8_t[]> buffer;
};

std::optional<size_t> ParsePagesKept(std::string_view setting) {
  if (setting.empty() || setting.size() > 8) return std::nullopt;  // 8 digits hold kMostPagesKept
  size_t pages = 0;
  for (char c : setting) {
    if (c < '0' || c > '9') return std::nullopt;
    pages = pages * 10 + static_cast<size_t>(c - '0');
  }
  if (pages > kMostPagesKept) return std::nullopt;
  return pages;
}

PageCache::PageCache(size_t page_size, size_t clean_pages_kept)
    : page_size_(page_size), clean_pages_kept_(clean_pages_kept) {}

PageCache::~PageCache() { Clear(); }

void PageCache::Resize(uint32_t page_count) {
  std::erase_if(dirty_, [page_count](const Frame* frame) { return frame->page >= page_count; });
  for (size_t page = page_count; page < frames_.size(); ++page) {
    if (frames_[page]) Drop(frames_[page]);
  }
  frames_.resize(page_count, nullptr);
}

PageRef PageCache::Get(uint32_t page) {
  Frame* frame = page < frames_.size() ? frames_[page] : nullptr;
  if (!frame) return PageRef();
  if (frame->linked) Unlink(frame);
  return PageRef(frame);
}

uint8_t* PageCache::bytes(uint32_t page) const { return frames_[page]->bytes; }

std::unique_ptr<uint8_t[]> PageCache::NewBuffer() {
  if (spare_buffers_.empty()) return std::unique_ptr<uint8_t[]>(new uint8_t[page_size_]);
  std::unique_ptr<uint8_t[]> buffer = std::move(spare_buffers_.back());
  spare_buffers_.pop_back();
  return buffer;
}

PageRef PageCache::Add(uint32_t page, std::unique_ptr<uint8_t[]> bytes, bool dirty) {
  if (page >= frames_.size()) frames_.resize(page + 1, nullptr);
  auto* frame = new Frame();
  frame->unpinned = &PageCache::Unpinned;
  frame->cache = this;
  frame->page = page;
  frame->buffer = std::move(bytes);
  frame->bytes = frame->buffer.get();
  frame->dirty = dirty;
  frames_[page] = frame;
  ++in_memory_;
  if (dirty) dirty_.push_back(frame);
  // A clean page joins the unused ones when this handle goes.
  return PageRef(frame);
}

void PageCache::MarkDirty(uint32_t page) {
  Frame* frame = frames_[page];
  if (frame->dirty) return;
  if (frame->linked) Unlink(frame);
  frame->dirty = true;
  dirty_.push_back(frame);
}

void PageCache::MarkAllClean() {
  for (Frame* frame : dirty_) {
    frame->dirty = false;
    if (frame->pins == 0) Link(frame);
  }
  dirty_.clear();
  Trim();
}

void PageCache::Clear() {
  for (Frame* frame : frames_) {
    if (frame) Drop(frame);
  }
  frames_.clear();
  dirty_.clear();
}

void PageCache::Unpinned(PageFrame* pinned) {
  auto* frame = static_cast<Frame*>(pinned);
  PageCache* cache = frame->cache;
  if (frame->dropped) {
    delete frame;
    return;
  }
  if (frame->dirty) return;
  cache->Link(frame);
  cache->Trim();
}

void PageCache::Link(Frame* frame) {
  frame->older = newest_;
  frame->newer = nullptr;
  if (newest_) newest_->newer = frame;
  newest_ = frame;
  if (!oldest_) oldest_ = frame;
  frame->linked = true;
  ++unused_;
}

void PageCache::Unlink(Frame* frame) {
  (frame->older ? frame->older->newer : oldest_) = frame->newer;
  (frame->newer ? frame->newer->older : newest_) = frame->older;
  frame->older = frame->newer = nullptr;
  frame->linked = false;
  --unused_;
}

void PageCache::Trim() {
  while (unused_ > clean_pages_kept_) {
    Frame* frame = oldest_;
    Unlink(frame);
    frames_[frame->page] = nullptr;
    Free(frame);
  }
}

// Takes a page out of the cache; one still held by a handle lives on until it is let go.
void PageCache::Drop(Frame* frame) {
  if (frame->linked) Unlink(frame);
  frames_[frame->page] = nullptr;
  if (frame->pins > 0) {
    frame->dropped = true;
    --in_memory_;
    return;
  }
  Free(frame);
}

void PageCache::Free(Frame* frame) {
  --in_memory_;
  if (spare_buffers_.size() < kSpareBuffers) spare_buffers_.push_back(std::move(frame->buffer));
  delete frame;
}

}  // namespace engine::jet
