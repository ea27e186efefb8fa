#include "engine/jet/storage/memory_page_store.h"

#include <cstring>

namespace engine::jet {

MemoryPageStore::MemoryPageStore(std::string file_name, const JetFormat& format)
    : PageStore(format), file_name_(std::move(file_name)) {}

std::unique_ptr<MemoryPageStore> MemoryPageStore::FromBytes(const uint8_t* bytes, size_t size, std::string file_name) {
  const HeaderPage header = DecodeHeaderPage(bytes, size, file_name);
  auto store = std::make_unique<MemoryPageStore>(std::move(file_name), *header.format);
  store->set_header(header);
  for (size_t at = 0; at + store->page_size() <= size; at += store->page_size()) {
    std::memcpy(store->Page(store->AppendPage()), bytes + at, store->page_size());
  }
  return store;
}

uint8_t* MemoryPageStore::Page(PageNumber page) {
  if (!has_page(page)) Damaged("page " + to_string(page) + " is past the end of the file");
  return pages_[page.value()].get();
}

PageNumber MemoryPageStore::AppendPage() {
  pages_.push_back(std::make_unique<uint8_t[]>(page_size()));  // value-initialised: zeros
  return PageNumber(page_count() - 1);
}

std::vector<uint8_t> MemoryPageStore::Bytes() const {
  std::vector<uint8_t> bytes(pages_.size() * page_size());
  for (size_t i = 0; i < pages_.size(); ++i) std::memcpy(bytes.data() + i * page_size(), pages_[i].get(), page_size());
  return bytes;
}

}  // namespace engine::jet
