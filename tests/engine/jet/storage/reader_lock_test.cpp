// Readers and a writer in other processes: a reader never sees a commit half done, and a
// journal that a live writer holds is left to it; once the writer is gone, the next open
// undoes it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "engine/error.h"
#include "engine/jet/storage/journal.h"
#include "tests/engine/jet/jet_test_util.h"
#include "tests/support/files.h"
#include "tests/support/jet_check.h"

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using engine::Value;

namespace {

// A child process running `work`, which writes a line to `ready` when the parent may go on.
class Child {
 public:
  template <typename Work>
  explicit Child(Work work) {
    int fds[2];
    if (pipe(fds) != 0) std::abort();
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      try {
        work(fds[1]);
      } catch (...) {
        _exit(2);
      }
      _exit(0);
    }
    close(fds[1]);
    ready_ = read(fds[0], &said_, 1) == 1;
    close(fds[0]);
  }
  ~Child() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  bool ready() const { return ready_; }
  char said() const { return said_; }
  void Kill() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
  bool ready_ = false;
  char said_ = 0;
};

void SayReady(int fd, char what = 'r') {
  if (write(fd, &what, 1) != 1) _exit(3);
}

}  // namespace

TEST(ReaderLock, ReadersNeverSeeACommitHalfDone) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  const fs::path file = dir.Copy(testsupport::Listini("listini.mdb"));
  Child writer([&](int ready) {
    auto database = testsupport::OpenForWriting(file);
    auto records = database->OpenRecordset(u"Articoli");
    for (int i = 0;; ++i) {
      records->AddNew();
      records->SetValue(u"Codice Articolo", Value::Text(testsupport::AwkwardText(i, 50)));
      records->SetValue(u"Descrizione Catalogo", Value::Text(std::u16string(50, static_cast<char16_t>(u'a' + i % 26))));
      records->Update();
      if (i % 300 == 299) database->Commit();
      if (i == 300) SayReady(ready);
    }
  });
  ASSERT_TRUE(writer.ready());
  long last_count = 0;
  for (int read = 0; read < 25; ++read) {
    ASSERT_EQ(testsupport::CheckProblems(file), "") << "read " << read;
    auto database = testsupport::OpenForReading(file);
    const long count = testsupport::CountRows(*database, u"Articoli");
    EXPECT_GE(count, last_count);
    last_count = count;
  }
  EXPECT_GT(last_count, 0);
}

TEST(ReaderLock, LiveWritersJournalIsLeftToItAndUndoneOnceItIsGone) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  const fs::path file = dir.Copy(testsupport::Listini("listini-pieno.mdb"));
  const std::vector<uint8_t> original = ReadBytes(file);
  const long rows = testsupport::CountRows(*testsupport::OpenForReading(file), u"Articoli");
  Child writer([&](int ready) {
    // A long change whose saved pages went to the journal, the file not yet written.
    auto pager = engine::jet::Pager::Open(file, engine::OpenMode::ReadWrite);
    pager->BeginLongChange();
    for (uint32_t page = 3; page < pager->page_count(); ++page)
      pager->WritePage(engine::jet::PageNumber(page))[20] ^= 0xFF;
    pager->Spill();
    auto reader = engine::jet::Pager::Open(file, engine::OpenMode::ReadOnly);  // same process: no conflict
    SayReady(ready);
    pause();
  });
  ASSERT_TRUE(writer.ready());
  ASSERT_TRUE(fs::exists(engine::jet::JournalPathFor(file)));
  EXPECT_EQ(testsupport::CountRows(*testsupport::OpenForReading(file), u"Articoli"), rows);
  EXPECT_EQ(testsupport::CheckProblems(file), "");
  EXPECT_TRUE(fs::exists(engine::jet::JournalPathFor(file))) << "a reader took a live change for a crash";
  EXPECT_THROW(testsupport::OpenForWriting(file), engine::Error);
  writer.Kill();
  EXPECT_EQ(testsupport::CountRows(*testsupport::OpenForReading(file), u"Articoli"), rows);
  EXPECT_FALSE(fs::exists(engine::jet::JournalPathFor(file)));
  EXPECT_EQ(ReadBytes(file), original);
}

// A long change writes its mark into the file only when no reader elsewhere has it open:
// a reader's file must not change under it.
TEST(ReaderLock, LongChangeLeavesAnOpenReadersFileAlone) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  const fs::path file = dir.Copy(testsupport::Listini("listini-pieno.mdb"));
  const std::vector<uint8_t> original = ReadBytes(file);
  auto reader = engine::jet::Pager::Open(file, engine::OpenMode::ReadOnly);
  Child writer([&](int ready) {
    auto pager = engine::jet::Pager::Open(file, engine::OpenMode::ReadWrite);
    pager->BeginLongChange();
    for (uint32_t page = 3; page < pager->page_count(); ++page)
      pager->WritePage(engine::jet::PageNumber(page))[20] ^= 0xFF;
    pager->Spill();
    SayReady(ready, fs::exists(engine::jet::JournalPathFor(file)) ? 'j' : 'n');
    pause();
  });
  ASSERT_TRUE(writer.ready());
  EXPECT_EQ(writer.said(), 'n') << "the change spilled under a reader";
  EXPECT_EQ(ReadBytes(file), original);
  for (uint32_t page = 1; page < reader->page_count(); ++page)
    reader->ReadPage(engine::jet::PageNumber(page));  // no "file changed"
}
