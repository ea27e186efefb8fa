#include "engine/jet/storage/memory_page_store.h"

#include <cstring>

namespace engine::jet {

MemoryPageStore::MemoryPageStore(std::string file_name, const JetFormat& format)
    : PageStore(format), file_name_(std::move(file_name)) {}

uint8_t* MemoryPageStore::Page(uint32_t page) {
  if (page >= pages_.size()) Damaged("page " + std::to_string(page) + " is past the end of the file");
  return pages_[page].get();
}

uint32_t MemoryPageStore::AppendPage() {
  pages_.push_back(std::make_unique<uint8_t[]>(page_size()));  // value-initialised: zeros
  return page_count() - 1;
}

std::vector<uint8_t> MemoryPageStore::Bytes() const {
  std::vector<uint8_t> bytes(pages_.size() * page_size());
  for (size_t i = 0; i < pages_.size(); ++i) std::memcpy(bytes.data() + i * page_size(), pages_[i].get(), page_size());
  return bytes;
}

}  // namespace engine::jet
