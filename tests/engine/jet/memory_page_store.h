// A PageStore held in memory for tests: loaded from a file's pages or started empty, and
// grown by AppendPage. Counts writes so tests can see which pages were touched.
#pragma once

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <vector>

#include "engine/error.h"
#include "engine/jet/storage/page_store.h"

namespace testsupport {

class MemoryPageStore : public engine::jet::PageStore {
 public:
  explicit MemoryPageStore(size_t page_size = 4096, uint32_t pages = 1) : page_size_(page_size) {
    for (uint32_t i = 0; i < pages; ++i) AppendPage();
    written_.clear();
  }

  static MemoryPageStore FromFile(const std::filesystem::path& file, size_t page_size = 4096) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && !in.good()) throw engine::Error(file.string(), "cannot read");
    MemoryPageStore store(page_size, 0);
    for (size_t at = 0; at + page_size <= bytes.size(); at += page_size) {
      std::memcpy(store.WritePage(store.AppendPage()), bytes.data() + at, page_size);
    }
    store.written_.clear();
    return store;
  }

  size_t page_size() const override { return page_size_; }
  uint32_t page_count() const override { return static_cast<uint32_t>(pages_.size()); }
  const uint8_t* ReadPage(uint32_t page) override { return Page(page); }
  uint8_t* WritePage(uint32_t page) override {
    uint8_t* bytes = Page(page);
    written_.insert(page);
    return bytes;
  }
  uint32_t AppendPage() override {
    pages_.push_back(std::make_unique<uint8_t[]>(page_size_));  // zero-filled
    written_.insert(page_count() - 1);
    return page_count() - 1;
  }

  // Pages handed out by WritePage or AppendPage since the last ForgetWrites.
  const std::set<uint32_t>& written() const { return written_; }
  void ForgetWrites() { written_.clear(); }

 private:
  uint8_t* Page(uint32_t page) {
    if (page >= pages_.size()) throw engine::Error("memory", "page " + std::to_string(page) + " past the end");
    return pages_[page].get();
  }

  size_t page_size_;
  std::vector<std::unique_ptr<uint8_t[]>> pages_;
  std::set<uint32_t> written_;
};

}  // namespace testsupport
