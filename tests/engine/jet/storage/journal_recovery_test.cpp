// The rollback journal: commits reach the file, rollbacks restore the cache, a journal left
// by an interrupted commit is rolled back on the next open (read-only opens included), a
// journal cut short is ignored, and a commit that cannot write leaves the last commit intact.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

#include "engine/base/bytes.h"
#include "engine/base/error.h"
#include "engine/jet/storage/header_page.h"
#include "engine/jet/storage/journal_format.h"
#include "engine/jet/storage/journal_recovery.h"
#include "engine/jet/storage/pager.h"
#include "tests/engine/jet/jet_test_util.h"
#include "tests/support/files.h"
#include "tests/support/fixtures.h"

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::WriteBytes;
using testsupport::WithoutChangeCounter;
using engine::jet::Pager;

namespace {

// What a crash in the middle of a change leaves: the change's journal (old contents of pages
// 3 and 5, the old length) and the file carrying the change's mark. Made by the journal
// itself; the database copy is then given back its first state.
struct Crash {
  std::vector<uint8_t> database, journal;
};
Crash CrashedChange(const fs::path& file) {
  auto pager = Pager::Open(file, engine::OpenMode::ReadWrite);
  pager->BeginLongChange();
  pager->WritePage(engine::jet::PageNumber(3)).data()[10] ^= 0xFF;
  pager->WritePage(engine::jet::PageNumber(5)).data()[20] ^= 0xFF;
  pager->AppendPage();
  pager->Spill();
  Crash crash{ReadBytes(file), ReadBytes(engine::jet::JournalPathFor(file))};
  pager->Rollback();
  return crash;
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
  const fs::path file = dir.Copy(testsupport::Listini("listini.mdb"));
  const std::vector<uint8_t> original = ReadBytes(file);
  const uint32_t pages = static_cast<uint32_t>(original.size() / 4096);
  {
    auto pager = Pager::Open(file, engine::OpenMode::ReadWrite);
    pager->WritePage(engine::jet::PageNumber(4)).data()[100] ^= 0xFF;
    const engine::jet::PageNumber added = pager->AppendPage();
    EXPECT_EQ(added, engine::jet::PageNumber(pages));
    pager->WritePage(added).data()[7] = 42;
    EXPECT_EQ(ReadBytes(file), original) << "nothing reaches the file before the commit";
    pager->Commit();
    EXPECT_FALSE(fs::exists(engine::jet::JournalPathFor(file)));
    const std::vector<uint8_t> now = ReadBytes(file);
    ASSERT_EQ(now.size(), original.size() + 4096);
    EXPECT_EQ(now[4 * 4096 + 100], original[4 * 4096 + 100] ^ 0xFF);
    EXPECT_EQ(now[pages * 4096 + 7], 42);

    pager->WritePage(engine::jet::PageNumber(4)).data()[100] = 0x5A;
    pager->AppendPage();
    pager->Rollback();
    EXPECT_EQ(pager->page_count(), pages + 1);
    EXPECT_EQ(pager->ReadPage(engine::jet::PageNumber(4)).data()[100], now[4 * 4096 + 100]);
    EXPECT_FALSE(pager->has_uncommitted_changes());
  }
  EXPECT_EQ(ReadBytes(file).size(), original.size() + 4096);
}

TEST(JournalRecovery, InterruptedCommitIsUndoneOnTheNextOpen) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  const fs::path file = dir.Copy(testsupport::Listini("listini-pieno.mdb"));
  const std::vector<uint8_t> original = ReadBytes(file);
  const Crash crash = CrashedChange(file);
  ASSERT_EQ(WithoutChangeCounter(ReadBytes(file)), WithoutChangeCounter(original))
      << "a rolled-back change leaves nothing, its mark included";
  for (engine::OpenMode mode : {engine::OpenMode::ReadWrite, engine::OpenMode::ReadOnly}) {
    WriteBytes(file, HalfWritten(crash.database));
    WriteBytes(engine::jet::JournalPathFor(file), crash.journal);
    auto pager = Pager::Open(file, mode);
    EXPECT_EQ(pager->page_count(), original.size() / 4096);
    EXPECT_EQ(WithoutChangeCounter(ReadBytes(file)), WithoutChangeCounter(original));
    EXPECT_FALSE(fs::exists(engine::jet::JournalPathFor(file)));
    EXPECT_TRUE(pager->set_aside_journal().empty());
  }
}

// A journal is applied only when its header checks; records cut short end the list. A
// journal cut short in its header, or whose header does not check, may still be the only
// copy of the old pages: it is set aside, never deleted.
TEST(JournalRecovery, JournalCutShortOrDamagedIsAppliedUpToItsEndOrSetAside) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  const fs::path file = dir.Copy(testsupport::Listini("listini.mdb"));
  const std::vector<uint8_t> original = ReadBytes(file);
  const Crash crash = CrashedChange(file);
  std::vector<uint8_t> bad_header = crash.journal;
  bad_header[12] ^= 1;  // the page count before the change, under the header's checksum
  using engine::jet::JournalOutcome;
  using Finding = engine::jet::JournalFinding;
  struct Case {
    const char* what;
    std::vector<uint8_t> journal;
    JournalOutcome::Kind outcome;
    Finding finding;  // what a look without writing finds (a reader on a read-only disk)
  };
  const std::vector<Case> cases = {
      {"empty", {}, JournalOutcome::Removed, Finding::Empty},
      {"cut in the magic", {crash.journal.begin(), crash.journal.begin() + 5}, JournalOutcome::SetAside,
       Finding::CannotApply},
      {"cut in the header", {crash.journal.begin(), crash.journal.begin() + 30}, JournalOutcome::SetAside,
       Finding::CannotApply},
      {"header checksum fails", bad_header, JournalOutcome::SetAside, Finding::CannotApply},
      {"cut in the first record", {crash.journal.begin(), crash.journal.begin() + 100}, JournalOutcome::RolledBack,
       Finding::Applies},
      {"cut before the last checksum", {crash.journal.begin(), crash.journal.end() - 1}, JournalOutcome::RolledBack,
       Finding::Applies},
  };
  for (const Case& c : cases) {
    const fs::path journal = engine::jet::JournalPathFor(file);
    WriteBytes(file, crash.database);
    WriteBytes(journal, c.journal);
    const int fd = ::open(file.c_str(), O_RDONLY);
    EXPECT_EQ(engine::jet::InspectJournal(file, fd), c.finding) << c.what;
    ::close(fd);
    {
      auto pager = Pager::Open(file, engine::OpenMode::ReadWrite);
      const bool set_aside = c.outcome == JournalOutcome::SetAside;
      // (An empty journal's mark stays in the header page, harmless with no journal to carry it.)
      if (c.outcome == JournalOutcome::RolledBack) {
        EXPECT_EQ(WithoutChangeCounter(ReadBytes(file)), WithoutChangeCounter(original)) << c.what;
      } else {
        EXPECT_EQ(ReadBytes(file), crash.database) << c.what;
      }
      EXPECT_FALSE(fs::exists(journal)) << c.what;
      EXPECT_EQ(pager->set_aside_journal().empty(), !set_aside) << c.what;
      if (set_aside) {
        EXPECT_EQ(ReadBytes(pager->set_aside_journal()), c.journal) << c.what;
      }
    }
    fs::remove(journal.string() + ".not-applied");
  }
}

// A journal the disk will not read, wherever the error falls, stops the open before anything
// is written, cut or removed; the next open that reads it restores the file exactly.
TEST(JournalRecovery, JournalThatCannotBeReadIsKeptAndLaterRestoresTheFile) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  const fs::path file = dir.Copy(testsupport::Listini("listini-pieno.mdb"));
  const fs::path journal = engine::jet::JournalPathFor(file);
  const std::vector<uint8_t> original = ReadBytes(file);
  const Crash crash = CrashedChange(file);
  const std::vector<uint8_t> half_written = HalfWritten(crash.database);
  const uint64_t record = 4 + 4096 + 8, header = crash.journal.size() - 2 * record;
  // The magic, the page size, the first record's page, inside its page, the last checksum.
  for (uint64_t fault : {uint64_t{0}, uint64_t{8}, header + 8, header + 2000, crash.journal.size() - 3}) {
    WriteBytes(file, half_written);
    WriteBytes(journal, crash.journal);
    const engine::jet::JournalReader failing_at_fault = [fault](int fd, uint8_t* into, size_t size, uint64_t offset) {
      if (offset <= fault && fault < offset + size) {
        errno = EIO;
        return engine::jet::FileRead::Error;
      }
      return engine::jet::ReadAt(fd, into, size, offset);
    };
    {
      const int fd = ::open(file.c_str(), O_RDWR);
      try {
        engine::jet::RecoverFromJournal(file, fd, failing_at_fault);
        ADD_FAILURE() << "recovered past a read error at byte " << fault;
      } catch (const engine::Error& error) {
        EXPECT_EQ(error.kind(), engine::ErrorKind::JournalUnreadable) << fault;
        EXPECT_EQ(error.other_file(), journal.string()) << fault;
      }
      ::close(fd);
    }
    EXPECT_EQ(ReadBytes(file), half_written) << fault;
    EXPECT_EQ(ReadBytes(journal), crash.journal) << fault;
    Pager::Open(file, engine::OpenMode::ReadWrite);
    EXPECT_EQ(WithoutChangeCounter(ReadBytes(file)), WithoutChangeCounter(original)) << fault;
    EXPECT_FALSE(fs::exists(journal)) << fault;
  }
}

// A journal is applied only to the file it was made for: beside any other file (a restored
// copy, another shop's price list, a file made anew) it is renamed and the file left as it is.
TEST(JournalRecovery, ForeignJournalIsSetAsideAndNeverApplied) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  const fs::path made_for = dir.Copy(testsupport::Listini("listini.mdb"));
  const Crash crash = CrashedChange(made_for);
  std::vector<uint8_t> other_mark = crash.database;
  other_mark[0x400] ^= 1;  // the same file during some other change
  struct Case {
    const char* what;
    std::vector<uint8_t> beside;
  };
  const std::vector<Case> cases = {
      {"the same file restored from a copy", ReadBytes(made_for)},
      {"the same file during another change", other_mark},
      {"another price list", ReadBytes(testsupport::Listini("listini-pieno.mdb"))},
  };
  for (const Case& c : cases) {
    for (engine::OpenMode mode : {engine::OpenMode::ReadWrite, engine::OpenMode::ReadOnly}) {
      testsupport::TempDir other;
      const fs::path file = other.path() / "listini.mdb";
      const fs::path journal = engine::jet::JournalPathFor(file);
      WriteBytes(file, c.beside);
      WriteBytes(journal, crash.journal);
      WriteBytes(journal.string() + ".not-applied", {1});  // one set aside before
      auto pager = Pager::Open(file, mode);
      EXPECT_EQ(ReadBytes(file), c.beside) << c.what;
      EXPECT_FALSE(fs::exists(journal)) << c.what;
      const fs::path aside = journal.string() + ".not-applied-2";
      EXPECT_EQ(pager->set_aside_journal(), aside) << c.what;
      EXPECT_EQ(ReadBytes(aside), crash.journal) << c.what;
    }
  }
  // A journal whose database is gone stays where it is.
  testsupport::TempDir empty;
  const fs::path gone = empty.path() / "listini.mdb";
  WriteBytes(engine::jet::JournalPathFor(gone), crash.journal);
  EXPECT_THROW(Pager::Open(gone, engine::OpenMode::ReadWrite), engine::Error);
  EXPECT_EQ(ReadBytes(engine::jet::JournalPathFor(gone)), crash.journal);
}

// A long change reaches the file only with its commit, however many times it spills.
TEST(JournalRecovery, LongChangeIsOneCommit) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  const fs::path file = dir.Copy(testsupport::Listini("listini.mdb"));
  const std::vector<uint8_t> original = ReadBytes(file);
  auto pager = Pager::Open(file, engine::OpenMode::ReadWrite);
  pager->BeginLongChange();
  std::vector<size_t> journal_sizes;
  for (uint32_t page = 3; page < 8; ++page) {
    pager->WritePage(engine::jet::PageNumber(page)).data()[100] ^= 0xFF;
    pager->Spill();
    journal_sizes.push_back(fs::file_size(engine::jet::JournalPathFor(file)));
    pager->WritePage(engine::jet::PageNumber(page)).data()[101] ^= 0xFF;  // once journaled, a page is not saved again
  }
  // Each spill added one page's record.
  for (size_t i = 2; i < journal_sizes.size(); ++i) {
    EXPECT_EQ(journal_sizes[i] - journal_sizes[i - 1], journal_sizes[1] - journal_sizes[0]);
  }
  EXPECT_GT(journal_sizes[1] - journal_sizes[0], 4096u);
  EXPECT_LT(journal_sizes[1] - journal_sizes[0], 2 * 4096u);
  std::vector<uint8_t> during = ReadBytes(file);
  EXPECT_TRUE(std::equal(original.begin() + 4096, original.end(), during.begin() + 4096))
      << "nothing but the header page's mark changes before the commit";
  pager->Commit();
  std::vector<uint8_t> after = ReadBytes(file);
  EXPECT_FALSE(fs::exists(engine::jet::JournalPathFor(file)));
  for (size_t at : {3 * 4096 + 100, 7 * 4096 + 101}) EXPECT_EQ(after[at], original[at] ^ 0xFF) << at;
  // The header page as before, but for the change counter, moved on.
  const size_t counter = engine::jet::kChangeCounterOffset;
  EXPECT_GT(engine::GetU64(&after[counter]), engine::GetU64(&original[counter]));
  const std::vector<uint8_t> before = WithoutChangeCounter(original);
  after = WithoutChangeCounter(after);
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 4096, after.begin())) << "header page as before";
}

TEST(JournalRecovery, LongChangeOverManyPagesSpillsWithoutBeingAsked) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  const fs::path file = dir.Copy(testsupport::Listini("listini.mdb"));
  auto pager = Pager::Open(file, engine::OpenMode::ReadWrite);
  while (pager->page_count() < 1200) pager->AppendPage();
  pager->Commit();
  const std::vector<uint8_t> grown = ReadBytes(file);
  pager->BeginLongChange();
  for (uint32_t page = 3; page < 1200; ++page) pager->WritePage(engine::jet::PageNumber(page)).data()[100] ^= 0xFF;
  // The saved contents went to the journal as they piled up, and nothing reached the file.
  ASSERT_TRUE(fs::exists(engine::jet::JournalPathFor(file)));
  EXPECT_GE(fs::file_size(engine::jet::JournalPathFor(file)), 1000u * 4096u);
  pager->Rollback();
  EXPECT_FALSE(fs::exists(engine::jet::JournalPathFor(file)));
  EXPECT_EQ(WithoutChangeCounter(ReadBytes(file)), WithoutChangeCounter(grown));
  EXPECT_EQ(pager->ReadPage(engine::jet::PageNumber(600)).data()[100], grown[600 * 4096 + 100]);
}

// The error names the file as the user gave it, here through a symbolic link (the installed
// program's listini.mdb is one), not the real path behind it.
TEST(JournalRecovery, FailedCommitKeepsTheLastCommitAndSaysWhy) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  const fs::path file = dir.Copy(testsupport::Listini("listini.mdb"));
  const fs::path link = dir.path() / "collegamento.mdb";
  fs::create_symlink(file, link);
  const std::vector<uint8_t> original = ReadBytes(file);
  auto pager = Pager::Open(link, engine::OpenMode::ReadWrite);
  pager->WritePage(engine::jet::PageNumber(4)).data()[100] ^= 0xFF;
  pager->AppendPage();
  // The journal cannot be created (a folder stands in its place): nothing may be written.
  fs::create_directory(engine::jet::JournalPathFor(file));
  try {
    pager->Commit();
    ADD_FAILURE() << "commit succeeded without a journal";
  } catch (const engine::Error& error) {
    EXPECT_EQ(error.file(), link.string());
    EXPECT_NE(error.reason().find("journal"), std::string::npos) << error.reason();
  }
  EXPECT_EQ(WithoutChangeCounter(ReadBytes(file)), WithoutChangeCounter(original));
  EXPECT_FALSE(pager->has_uncommitted_changes());  // the cache went back to the file's state
  EXPECT_EQ(pager->ReadPage(engine::jet::PageNumber(4)).data()[100], original[4 * 4096 + 100]);
  EXPECT_EQ(pager->page_count(), original.size() / 4096);
}

// A rollback puts back pages whose committed content went to the journal file by reading
// them from the database. When that read fails (here: another program cut the file short),
// no guess is kept: the pager refuses further use, and the next open undoes the change from
// the journal, which holds the page too.
TEST(JournalRecovery, ARollbackThatCannotReadAPageBackLeavesItToTheNextOpen) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  const fs::path file = dir.Copy(testsupport::Listini("listini.mdb"));
  const std::vector<uint8_t> original = ReadBytes(file);
  const engine::jet::PageNumber last(static_cast<uint32_t>(original.size() / 4096 - 1));
  auto pager = Pager::Open(file, engine::OpenMode::ReadWrite);
  pager->BeginLongChange();
  pager->WritePage(last).data()[100] ^= 0xFF;
  pager->Spill();
  fs::resize_file(file, original.size() - 4096);
  pager->Rollback();
  try {
    pager->ReadPage(engine::jet::PageNumber(3));
    ADD_FAILURE() << "pages read after a rollback that could not restore them";
  } catch (const engine::Error& error) {
    EXPECT_EQ(error.kind(), engine::ErrorKind::Io) << error.what();
  }
  EXPECT_TRUE(fs::exists(engine::jet::JournalPathFor(file)));
  pager.reset();
  Pager::Open(file, engine::OpenMode::ReadWrite);
  EXPECT_EQ(WithoutChangeCounter(ReadBytes(file)), WithoutChangeCounter(original));
}

TEST(JournalRecovery, ReadOnlyStoresRefuseWrites) {
  REQUIRE_FIXTURES();
  auto pager = Pager::Open(testsupport::Listini("listini.mdb"), engine::OpenMode::ReadOnly);
  EXPECT_THROW(pager->WritePage(engine::jet::PageNumber(3)), engine::Error);
  EXPECT_THROW(pager->AppendPage(), engine::Error);
}

// Opened through a symbolic link (the installed program's listini.mdb is one), the file
// keeps its journal beside itself, where every program that reaches it by any name looks,
// and a change left there is undone by an open through the link.
TEST(JournalRecovery, TheJournalSitsBesideTheRealFileNotTheLink) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  fs::create_directories(dir.path() / "dati");
  fs::create_directories(dir.path() / "programma");
  const fs::path file = dir.path() / "dati" / "listini.mdb";
  fs::copy_file(testsupport::Listini("listini.mdb"), file);
  const fs::path link = dir.path() / "programma" / "listini.mdb";
  fs::create_symlink(file, link);
  const std::vector<uint8_t> original = ReadBytes(file);
  {
    auto pager = Pager::Open(link, engine::OpenMode::ReadWrite);
    pager->BeginLongChange();
    pager->WritePage(engine::jet::PageNumber(3)).data()[10] ^= 0xFF;
    pager->Spill();
    EXPECT_TRUE(fs::exists(engine::jet::JournalPathFor(file)));
    EXPECT_FALSE(fs::is_symlink(engine::jet::JournalPathFor(link)) || fs::exists(engine::jet::JournalPathFor(link)));
    // A crash now: the journal stays (a copy of it), the file has the change's mark.
    const std::vector<uint8_t> journal = ReadBytes(engine::jet::JournalPathFor(file));
    const std::vector<uint8_t> marked = ReadBytes(file);
    pager->Rollback();
    pager.reset();
    WriteBytes(file, marked);
    WriteBytes(engine::jet::JournalPathFor(file), journal);
  }
  Pager::Open(link, engine::OpenMode::ReadOnly);
  EXPECT_FALSE(fs::exists(engine::jet::JournalPathFor(file)));
  EXPECT_EQ(WithoutChangeCounter(ReadBytes(file)), WithoutChangeCounter(original));
}
