// The rollback journal: commits reach the file, rollbacks restore the cache, a journal left
// by an interrupted commit is rolled back on the next open (read-only opens included), a
// journal cut short is ignored, and a commit that cannot write leaves the last commit intact.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "engine/error.h"
#include "engine/jet/journal.h"
#include "engine/jet/pager.h"
#include "tests/support/fixtures.h"

namespace fs = std::filesystem;
using engine::jet::Pager;

namespace {

std::vector<uint8_t> ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& file, const std::vector<uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A journal as an interrupted commit leaves it: the old contents of `pages` and the old length.
std::vector<uint8_t> JournalFor(const std::vector<uint8_t>& original, const std::vector<uint32_t>& pages) {
  std::vector<uint8_t> journal = {'A', 'R', 'C', 'H', 'J', 'R', 'N', '1'};
  Put32(journal, 4096);
  Put32(journal, static_cast<uint32_t>(original.size() / 4096));
  Put32(journal, static_cast<uint32_t>(pages.size()));
  for (uint32_t page : pages) {
    Put32(journal, page);
    journal.insert(journal.end(), original.begin() + page * 4096, original.begin() + (page + 1) * 4096);
  }
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (uint8_t b : journal) {
    hash ^= b;
    hash *= 0x100000001b3ULL;
  }
  for (int i = 0; i < 8; ++i) journal.push_back(static_cast<uint8_t>(hash >> (8 * i)));
  return journal;
}

// The file after a crash in the middle of writing pages 3 and 5 and two new pages.
std::vector<uint8_t> HalfWritten(std::vector<uint8_t> bytes) {
  std::fill(bytes.begin() + 3 * 4096, bytes.begin() + 4 * 4096, 0xAB);
  std::fill(bytes.begin() + 5 * 4096, bytes.begin() + 5 * 4096 + 100, 0xCD);
  bytes.resize(bytes.size() + 2 * 4096, 0x11);
  return bytes;
}

}  // namespace

TEST(JournalRecovery, CommitWritesEverythingAndRollbackForgetsIt) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  const fs::path file = dir.Copy(testsupport::FixturesDir() / "listini" / "listini.mdb");
  const std::vector<uint8_t> original = ReadBytes(file);
  const uint32_t pages = static_cast<uint32_t>(original.size() / 4096);
  {
    auto pager = Pager::Open(file, engine::OpenMode::ReadWrite);
    pager->WritePage(4)[100] ^= 0xFF;
    const uint32_t added = pager->AppendPage();
    EXPECT_EQ(added, pages);
    pager->WritePage(added)[7] = 42;
    EXPECT_EQ(ReadBytes(file), original) << "nothing reaches the file before the commit";
    pager->Commit();
    EXPECT_FALSE(fs::exists(engine::jet::JournalPathFor(file)));
    const std::vector<uint8_t> now = ReadBytes(file);
    ASSERT_EQ(now.size(), original.size() + 4096);
    EXPECT_EQ(now[4 * 4096 + 100], original[4 * 4096 + 100] ^ 0xFF);
    EXPECT_EQ(now[pages * 4096 + 7], 42);

    pager->WritePage(4)[100] = 0x5A;
    pager->AppendPage();
    pager->Rollback();
    EXPECT_EQ(pager->page_count(), pages + 1);
    EXPECT_EQ(pager->ReadPage(4)[100], now[4 * 4096 + 100]);
    EXPECT_FALSE(pager->has_uncommitted_changes());
  }
  EXPECT_EQ(ReadBytes(file).size(), original.size() + 4096);
}

TEST(JournalRecovery, InterruptedCommitIsUndoneOnTheNextOpen) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  const fs::path file = dir.Copy(testsupport::FixturesDir() / "listini" / "listini-pieno.mdb");
  const std::vector<uint8_t> original = ReadBytes(file);
  for (engine::OpenMode mode : {engine::OpenMode::ReadWrite, engine::OpenMode::ReadOnly}) {
    WriteBytes(file, HalfWritten(original));
    WriteBytes(engine::jet::JournalPathFor(file), JournalFor(original, {3, 5}));
    auto pager = Pager::Open(file, mode);
    EXPECT_EQ(pager->page_count(), original.size() / 4096);
    EXPECT_EQ(ReadBytes(file), original);
    EXPECT_FALSE(fs::exists(engine::jet::JournalPathFor(file)));
  }
}

TEST(JournalRecovery, JournalCutShortIsDroppedAndTheFileLeftAlone) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  const fs::path file = dir.Copy(testsupport::FixturesDir() / "listini" / "listini.mdb");
  const std::vector<uint8_t> original = ReadBytes(file);
  std::vector<uint8_t> journal = JournalFor(original, {3, 5});
  for (size_t cut : {size_t{5}, size_t{30}, journal.size() - 1}) {
    std::vector<uint8_t> partial(journal.begin(), journal.begin() + static_cast<long>(cut));
    WriteBytes(engine::jet::JournalPathFor(file), partial);
    auto pager = Pager::Open(file, engine::OpenMode::ReadWrite);
    EXPECT_EQ(ReadBytes(file), original) << "cut at " << cut;
    EXPECT_FALSE(fs::exists(engine::jet::JournalPathFor(file)));
  }
  journal[40] ^= 1;  // whole length, wrong checksum
  WriteBytes(engine::jet::JournalPathFor(file), journal);
  Pager::Open(file, engine::OpenMode::ReadWrite);
  EXPECT_EQ(ReadBytes(file), original);
}

TEST(JournalRecovery, FailedCommitKeepsTheLastCommitAndSaysWhy) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  const fs::path file = dir.Copy(testsupport::FixturesDir() / "listini" / "listini.mdb");
  const std::vector<uint8_t> original = ReadBytes(file);
  auto pager = Pager::Open(file, engine::OpenMode::ReadWrite);
  pager->WritePage(4)[100] ^= 0xFF;
  pager->AppendPage();
  // The journal cannot be created (a folder stands in its place): nothing may be written.
  fs::create_directory(engine::jet::JournalPathFor(file));
  try {
    pager->Commit();
    ADD_FAILURE() << "commit succeeded without a journal";
  } catch (const engine::Error& error) {
    EXPECT_EQ(error.file(), file.string());
    EXPECT_NE(error.reason().find("journal"), std::string::npos) << error.reason();
  }
  EXPECT_EQ(ReadBytes(file), original);
  EXPECT_FALSE(pager->has_uncommitted_changes());  // the cache went back to the file's state
  EXPECT_EQ(pager->ReadPage(4)[100], original[4 * 4096 + 100]);
  EXPECT_EQ(pager->page_count(), original.size() / 4096);
}

TEST(JournalRecovery, ReadOnlyStoresRefuseWrites) {
  REQUIRE_FIXTURES();
  auto pager = Pager::Open(testsupport::FixturesDir() / "listini" / "listini.mdb", engine::OpenMode::ReadOnly);
  EXPECT_THROW(pager->WritePage(3), engine::Error);
  EXPECT_THROW(pager->AppendPage(), engine::Error);
}
