// A page store held in memory: a new database built before it is written to disk, and the
// page stores of tests. Pages are zero-filled when appended and stay at a fixed address for
// the store's life.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/jet/storage/page_store.h"

namespace engine::jet {

class MemoryPageStore : public PageStore {
 public:
  explicit MemoryPageStore(std::string file_name, const JetFormat& format = kJet4Format);
  // The pages of a file's bytes, in the layout its header names (a partial last page is left
  // out, as the pager leaves it). Throws engine::Error when page 0 is not a Jet header.
  static std::unique_ptr<MemoryPageStore> FromBytes(const uint8_t* bytes, size_t size, std::string file_name);

  const std::string& file_name() const override { return file_name_; }
  uint32_t page_count() const override { return static_cast<uint32_t>(pages_.size()); }
  PageRef ReadPage(PageNumber page) override { return PageRef(Page(page)); }
  WritablePage WritePage(PageNumber page) override { return WritablePage(PageRef(Page(page))); }
  PageNumber AppendPage() override;

  // The file's bytes: every page in order.
  std::vector<uint8_t> Bytes() const;

 private:
  uint8_t* Page(PageNumber page);

  std::string file_name_;
  std::vector<std::unique_ptr<uint8_t[]>> pages_;
};

}  // namespace engine::jet
