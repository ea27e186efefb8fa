// The page store of the engine's unit tests: pages in memory, started empty or loaded from a
// file, and a record of the pages handed out for writing so tests can see what was touched.
// Also builds usage-map rows on pages, for tests of the maps and of what uses them.
#pragma once

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <set>
#include <string_view>
#include <vector>

#include "engine/base/error.h"
#include "engine/jet/page/data_page_writer.h"
#include "engine/jet/storage/memory_page_store.h"

namespace testsupport {

class TestPageStore : public engine::jet::MemoryPageStore {
 public:
  explicit TestPageStore(uint32_t pages = 0, const engine::jet::JetFormat& format = engine::jet::kJet4Format)
      : MemoryPageStore("memory", format) {
    for (uint32_t i = 0; i < pages; ++i) AppendPage();
    written_.clear();
  }

  // The file's pages, in the layout its header names.
  static TestPageStore FromFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && !in.good()) throw engine::Error(file.string(), "cannot read");
    const engine::jet::HeaderPage header = engine::jet::DecodeHeaderPage(bytes.data(), bytes.size(), file.string());
    TestPageStore store(0, *header.format);
    store.set_header(header);
    for (size_t at = 0; at + store.page_size() <= bytes.size(); at += store.page_size()) {
      std::copy_n(bytes.data() + at, store.page_size(), store.WritePage(store.AppendPage()).data());
    }
    store.written_.clear();
    return store;
  }

  engine::jet::WritablePage WritePage(engine::jet::PageNumber page) override {
    engine::jet::WritablePage bytes = MemoryPageStore::WritePage(page);
    written_.insert(page);
    return bytes;
  }
  engine::jet::PageNumber AppendPage() override {
    const engine::jet::PageNumber page = MemoryPageStore::AppendPage();
    written_.insert(page);
    return page;
  }

  // Pages handed out by WritePage or AppendPage since the last ForgetWrites.
  const std::set<engine::jet::PageNumber>& written() const { return written_; }
  void ForgetWrites() { written_.clear(); }

 private:
  std::set<engine::jet::PageNumber> written_;
};

// Puts one usage-map row on a data page of the store (owner 0; a zeroed page is started as a
// data page) and returns where.
inline engine::jet::RowId AddMapRow(TestPageStore& store, uint32_t page_number, const std::vector<uint8_t>& row) {
  const engine::jet::PageNumber page(page_number);
  uint8_t* bytes = store.WritePage(page).data();
  if (bytes[0] == 0) engine::jet::InitDataPage(bytes, store.page_size(), 0);
  const std::string_view text(reinterpret_cast<const char*>(row.data()), row.size());
  return {page, engine::jet::AppendRowToPage(bytes, store.page_size(), text)};
}

// An inline map row: kind 0, start page, `bitmap_bytes` zero bytes.
inline std::vector<uint8_t> InlineMap(uint32_t start, size_t bitmap_bytes = 64) {
  std::vector<uint8_t> row(5 + bitmap_bytes, 0);
  for (int i = 0; i < 4; ++i) row[1 + i] = static_cast<uint8_t>(start >> (8 * i));
  return row;
}

// Page numbers written as plain numbers, for expectations.
inline std::vector<engine::jet::PageNumber> Pages(std::initializer_list<uint32_t> numbers) {
  std::vector<engine::jet::PageNumber> pages;
  for (uint32_t number : numbers) pages.push_back(engine::jet::PageNumber(number));
  return pages;
}

}  // namespace testsupport
