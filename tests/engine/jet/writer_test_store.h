// A page store in memory for the writer's unit tests: pages are plain vectors, writes and
// appends just work, and a fixture file can be loaded whole.
#pragma once

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "engine/error.h"
#include "engine/jet/storage/page_store.h"

namespace writer_test {

class TestPageStore : public engine::jet::PageStore {
 public:
  explicit TestPageStore(uint32_t pages = 0, size_t page_size = 4096) : page_size_(page_size) {
    for (uint32_t i = 0; i < pages; ++i) pages_.push_back(std::make_unique<uint8_t[]>(page_size_));
    for (auto& page : pages_) std::memset(page.get(), 0, page_size_);
  }
  static std::unique_ptr<TestPageStore> FromFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto store = std::make_unique<TestPageStore>(static_cast<uint32_t>(bytes.size() / 4096));
    for (uint32_t i = 0; i < store->page_count(); ++i) std::memcpy(store->pages_[i].get(), bytes.data() + i * 4096, 4096);
    return store;
  }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out(pages_.size() * page_size_);
    for (size_t i = 0; i < pages_.size(); ++i) std::memcpy(out.data() + i * page_size_, pages_[i].get(), page_size_);
    return out;
  }

  size_t page_size() const override { return page_size_; }
  uint32_t page_count() const override { return static_cast<uint32_t>(pages_.size()); }
  const uint8_t* ReadPage(uint32_t page) override { return At(page); }
  uint8_t* WritePage(uint32_t page) override {
    ++writes;
    return At(page);
  }
  uint32_t AppendPage() override {
    pages_.push_back(std::make_unique<uint8_t[]>(page_size_));
    std::memset(pages_.back().get(), 0, page_size_);
    return page_count() - 1;
  }
  size_t writes = 0;

 private:
  uint8_t* At(uint32_t page) {
    if (page >= pages_.size()) throw engine::Error("memory", "page past the end");
    return pages_[page].get();
  }
  size_t page_size_;
  std::vector<std::unique_ptr<uint8_t[]>> pages_;
};

// Puts one usage-map row on an empty data page of the store (owner 0) and returns where.
inline engine::jet::RowPointer AddMapRow(TestPageStore& store, uint32_t page, const std::vector<uint8_t>& row) {
  uint8_t* p = store.WritePage(page);
  uint16_t slots = p[12] | (p[13] << 8);
  if (slots == 0) {
    p[0] = 1;
    p[1] = 1;
  }
  const size_t top = slots == 0 ? store.page_size() : ((p[14 + 2 * (slots - 1)] | (p[15 + 2 * (slots - 1)] << 8)) & 0x1FFF);
  const size_t start = top - row.size();
  std::memcpy(p + start, row.data(), row.size());
  p[14 + 2 * slots] = static_cast<uint8_t>(start);
  p[15 + 2 * slots] = static_cast<uint8_t>(start >> 8);
  ++slots;
  p[12] = static_cast<uint8_t>(slots);
  p[13] = static_cast<uint8_t>(slots >> 8);
  return {page, static_cast<uint8_t>(slots - 1)};
}

// An inline map row: kind 0, start page, `bitmap_bytes` zero bytes.
inline std::vector<uint8_t> InlineMap(uint32_t start, size_t bitmap_bytes = 64) {
  std::vector<uint8_t> row(5 + bitmap_bytes, 0);
  for (int i = 0; i < 4; ++i) row[1 + i] = static_cast<uint8_t>(start >> (8 * i));
  return row;
}

}  // namespace writer_test
