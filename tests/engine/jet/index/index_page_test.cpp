#include "engine/jet/index/index_page.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/error.h"
#include "engine/jet/index/index_check.h"
#include "tests/engine/jet/index/index_fixture_catalog.h"
#include "tests/support/test_page_store.h"
#include "tests/support/fixtures.h"

namespace engine::jet {
namespace {

using testsupport::TestPageStore;

std::vector<std::filesystem::path> IndexFixtures() {
  std::vector<std::filesystem::path> files;
  for (const char* folder : {"jet/V1997", "jet/V2000", "listini"}) {
    for (const auto& item : std::filesystem::directory_iterator(testsupport::FixturesDir() / folder)) {
      if (item.path().extension() == ".mdb") files.push_back(item.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

IndexEntry Entry(std::string key, uint32_t page, uint8_t row, uint32_t child = 0) {
  return IndexEntry{std::move(key), RowId{PageNumber(page), row}, PageNumber(child)};
}

TEST(IndexPageCodec, EveryFixtureIndexPageReencodesByteForByte) {
  REQUIRE_FIXTURES();
  size_t pages_checked = 0, prefixed_pages = 0, node_pages = 0;
  size_t jet3_pages = 0, jet3_prefixed_nodes = 0;
  for (const auto& file : IndexFixtures()) {
    SCOPED_TRACE(file.filename().string());
    TestPageStore store = TestPageStore::FromFile(file);
    for (const auto& index : testsupport::FindFixtureIndexes(store)) {
      for (PageNumber page : CheckIndexTree(store, index.root_page, index.tdef_page).pages) {
        SCOPED_TRACE("page " + to_string(page));
        const uint8_t* original = store.ReadPage(page).data();
        IndexPage decoded = DecodeIndexPage(original, page, store.format());
        std::vector<uint8_t> encoded(store.page_size());
        EncodeIndexPage(decoded, encoded.data(), store.format());
        // Past the entries Access leaves stale bytes; the encoder writes zeros there.
        size_t end = store.page_size() - (original[2] | (original[3] << 8));
        ASSERT_EQ(0, std::memcmp(original, encoded.data(), end));
        EXPECT_TRUE(std::all_of(encoded.begin() + static_cast<std::ptrdiff_t>(end), encoded.end(),
                                [](uint8_t b) { return b == 0; }));
        ++pages_checked;
        prefixed_pages += decoded.prefix_length > 0;
        node_pages += !decoded.leaf;
        if (store.format().is_jet3()) {
          ++jet3_pages;
          jet3_prefixed_nodes += decoded.prefix_length > 0 || !decoded.leaf;
        }
      }
    }
  }
  // The fixtures hold multi-level trees and prefix-compressed pages; make sure both were seen.
  EXPECT_GT(pages_checked, 150u);
  EXPECT_GT(prefixed_pages, 20u);
  EXPECT_GE(node_pages, 5u);
  // Access 97's pages too: its one-byte prefix and node pages among them.
  EXPECT_GT(jet3_pages, 50u);
  EXPECT_GE(jet3_prefixed_nodes, 10u);
}

TEST(IndexPageCodec, LaysOutHeaderBitmapPrefixAndBigEndianPointers) {
  IndexPage page;
  page.leaf = true;
  page.owner = PageNumber(0x1234);
  page.prev = PageNumber(7);
  page.next = PageNumber(9);
  page.entries = {Entry("\x7f\x41\x42", 0x010203, 4), Entry("\x7f\x41\x43\x44", 0x0A0B0C, 0xFE)};
  page.prefix_length = CommonKeyPrefix(page.entries);
  ASSERT_EQ(2, page.prefix_length);
  std::vector<uint8_t> bytes(kJet4Format.page_size, 0xAA);
  EncodeIndexPage(page, bytes.data(), kJet4Format);

  const std::vector<uint8_t> header = {0x04, 0x01, 0, 0, 0x34, 0x12, 0, 0, 0, 0, 0, 0,
                                       7,    0,    0, 0, 9,    0,    0, 0, 0, 0, 0, 0, 2, 0, 0};
  std::vector<uint8_t> expected_header = header;
  // Entry 0 takes 3 + 4 bytes, entry 1 takes 4 + 4 - 2 (prefix) = 6 bytes: 13 in all.
  const uint16_t free_space = static_cast<uint16_t>(kJet4Format.index_entry_capacity() - 13);
  expected_header[2] = static_cast<uint8_t>(free_space);
  expected_header[3] = static_cast<uint8_t>(free_space >> 8);
  EXPECT_EQ(expected_header, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 27));
  // Entry ends at offsets 7 and 13 of the entry area.
  EXPECT_EQ(0x80, bytes[kJet4Format.index_bitmap]);
  EXPECT_EQ(0x20, bytes[kJet4Format.index_bitmap + 1]);
  EXPECT_TRUE(std::all_of(bytes.begin() + kJet4Format.index_bitmap + 2, bytes.begin() + kJet4Format.index_entries,
                          [](uint8_t b) { return b == 0; }));
  const std::vector<uint8_t> entries = {0x7f, 0x41, 0x42, 0x01, 0x02, 0x03, 0x04,
                                        0x43, 0x44, 0x0A, 0x0B, 0x0C, 0xFE};
  EXPECT_EQ(entries, std::vector<uint8_t>(bytes.begin() + kJet4Format.index_entries,
                                          bytes.begin() + kJet4Format.index_entries + 13));
  EXPECT_EQ(0, bytes[kJet4Format.index_entries + 13]);

  IndexPage back = DecodeIndexPage(bytes.data(), PageNumber(5), kJet4Format);
  ASSERT_EQ(2u, back.entries.size());
  EXPECT_EQ(page.entries[1].key, back.entries[1].key);
  EXPECT_EQ((RowId{PageNumber(0x0A0B0C), 0xFE}), back.entries[1].row);
  EXPECT_EQ(PageNumber(7), back.prev);
  EXPECT_EQ(PageNumber(9), back.next);
}

TEST(IndexPageCodec, NodeEntriesCarryTheChildAndTheTail) {
  IndexPage page;
  page.leaf = false;
  page.tail = PageNumber(0x55);
  page.unknown_byte = 1;
  page.entries = {Entry(std::string("\x80\x7f\x00", 3), 17, 0, 0x20)};
  std::vector<uint8_t> bytes(kJet4Format.page_size);
  EncodeIndexPage(page, bytes.data(), kJet4Format);
  EXPECT_EQ(kIndexNodePageType, bytes[0]);
  EXPECT_EQ(0x55, bytes[kJet4Format.index_tail]);
  EXPECT_EQ(1, bytes[kJet4Format.index_unknown_byte]);
  const std::vector<uint8_t> entry = {0x80, 0x7f, 0x00, 0, 0, 17, 0, 0, 0, 0, 0x20};
  EXPECT_EQ(entry, std::vector<uint8_t>(bytes.begin() + kJet4Format.index_entries,
                                        bytes.begin() + kJet4Format.index_entries + 11));
  IndexPage back = DecodeIndexPage(bytes.data(), PageNumber(3), kJet4Format);
  ASSERT_EQ(1u, back.entries.size());
  EXPECT_EQ(PageNumber(0x20), back.entries[0].child);
  EXPECT_EQ(page.entries[0].key, back.entries[0].key);
  EXPECT_EQ(PageNumber(0x55), back.tail);
}

TEST(IndexPageCodec, PrefixMayRunIntoTheRowPointer) {
  // Access sometimes shares bytes of the page number too; entries must still split right.
  IndexPage page;
  page.entries = {Entry("\x7f\x10", 0x000105, 1), Entry("\x7f\x10", 0x000105, 2)};
  page.prefix_length = 5;  // key (2) + the first 3 pointer bytes
  std::vector<uint8_t> bytes(kJet4Format.page_size);
  EncodeIndexPage(page, bytes.data(), kJet4Format);
  EXPECT_EQ(kJet4Format.index_entry_capacity() - 7, static_cast<size_t>(bytes[2] | (bytes[3] << 8)));
  IndexPage back = DecodeIndexPage(bytes.data(), PageNumber(3), kJet4Format);
  ASSERT_EQ(2u, back.entries.size());
  EXPECT_EQ((RowId{PageNumber(0x105), 2}), back.entries[1].row);
  EXPECT_EQ("\x7f\x10", back.entries[1].key);
}

TEST(IndexPageCodec, RejectsDamagedPages) {
  IndexPage page;
  page.entries = {Entry("\x7f\x01", 3, 0), Entry("\x7f\x02", 3, 1)};
  std::vector<uint8_t> good(kJet4Format.page_size);
  EncodeIndexPage(page, good.data(), kJet4Format);

  auto decode_fails = [](std::vector<uint8_t> bytes) {
    try {
      DecodeIndexPage(bytes.data(), PageNumber(42), kJet4Format);
    } catch (const Error& error) {
      EXPECT_NE(std::string::npos, error.reason().find("42"));
      return true;
    }
    return false;
  };
  ASSERT_FALSE(decode_fails(good));
  auto wrong_type = good;
  wrong_type[0] = 0x01;
  EXPECT_TRUE(decode_fails(wrong_type));
  auto stray_bit = good;
  stray_bit[kJet4Format.index_bitmap + 10] |= 1;  // an entry end past the free-space mark
  EXPECT_TRUE(decode_fails(stray_bit));
  auto wrong_free = good;
  wrong_free[2] += 1;
  EXPECT_TRUE(decode_fails(wrong_free));
  auto short_entry = good;
  short_entry[kJet4Format.index_bitmap] = 0x04;  // first entry 2 bytes, shorter than a row pointer
  EXPECT_TRUE(decode_fails(short_entry));
  auto long_prefix = good;
  long_prefix[kJet4Format.index_prefix] = 7;
  EXPECT_TRUE(decode_fails(long_prefix));
}

TEST(IndexPageCodec, RefusesToWriteWhatDoesNotFit) {
  IndexPage page;
  std::vector<uint8_t> bytes(kJet4Format.page_size);
  for (uint8_t i = 0; i < 120; ++i) page.entries.push_back(Entry(std::string(27, 'a') + char(i), 1, i));
  page.prefix_length = CommonKeyPrefix(page.entries);
  EXPECT_EQ(27, page.prefix_length);
  EXPECT_NO_THROW(EncodeIndexPage(page, bytes.data(), kJet4Format));
  page.prefix_length = 0;  // 120 × 32 bytes no longer fit without the prefix
  EXPECT_GT(EncodedEntriesSize(page), kJet4Format.index_entry_capacity());
  EXPECT_THROW(EncodeIndexPage(page, bytes.data(), kJet4Format), Error);

  IndexPage unshared;
  unshared.entries = {Entry("ab", 1, 0), Entry("b", 1, 1)};
  unshared.prefix_length = 1;
  EXPECT_THROW(EncodeIndexPage(unshared, bytes.data(), kJet4Format), Error);
}

TEST(IndexEntryOrder, UnsignedBytesThenShorterKeyThenRow) {
  EXPECT_TRUE(CompareEntries("\x7f", RowId{PageNumber(9), 9}, "\x80", RowId{PageNumber(1), 0}) < 0);
  EXPECT_TRUE(CompareEntries(std::string("\x01", 1), RowId{PageNumber(9), 9}, "\xff", RowId{PageNumber(1), 0}) < 0);
  EXPECT_TRUE(CompareEntries("ab", RowId{PageNumber(9), 9}, "abc", RowId{PageNumber(1), 0}) < 0);
  EXPECT_TRUE(CompareEntries("ab", RowId{PageNumber(1), 200}, "ab", RowId{PageNumber(2), 0}) < 0);
  EXPECT_TRUE(CompareEntries("ab", RowId{PageNumber(2), 1}, "ab", RowId{PageNumber(2), 2}) < 0);
  EXPECT_TRUE(CompareEntries("ab", RowId{PageNumber(2), 2}, "ab", RowId{PageNumber(2), 2}) == 0);
  EXPECT_TRUE(CompareEntries("b", RowId{PageNumber(0), 0}, "ab", RowId{PageNumber(2), 2}) > 0);
}

}  // namespace
}  // namespace engine::jet
