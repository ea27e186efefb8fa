// Readers and a writer in other processes: a reader never sees a commit half done, and a
// journal that a live writer holds is left to it; once the writer is gone, the next open
// undoes it. A reader holds the file only while it reads: a source left open delays no
// commit, one in the middle of a walk delays it at most the wait, and a reader coming back
// after a commit sees the new rows.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <type_traits>

#include "engine/base/error.h"
#include "engine/jet/storage/journal_format.h"
#include "tests/engine/jet/jet_test_util.h"
#include "tests/support/files.h"
#include "tests/support/jet_check.h"

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using engine::Value;

namespace {

// A child process running `work`, which writes a byte to `ready` when the parent may go on;
// a `work` that also takes `go` may wait there for the parent's Go().
class Child {
 public:
  template <typename Work>
  explicit Child(Work work) {
    int fds[2];
    int go[2];
    if (pipe(fds) != 0 || pipe(go) != 0) std::abort();
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      close(go[1]);
      try {
        if constexpr (std::is_invocable_v<Work, int, int>) {
          work(fds[1], go[0]);
        } else {
          work(fds[1]);
        }
      } catch (...) {
        _exit(2);
      }
      _exit(0);
    }
    close(fds[1]);
    close(go[0]);
    go_ = go[1];
    ready_fd_ = fds[0];
    ready_ = read(fds[0], &said_, 1) == 1;
  }
  // Lets the child go on, and waits for its next byte.
  void Go() {
    const char word = 'g';
    ready_ = write(go_, &word, 1) == 1 && read(ready_fd_, &said_, 1) == 1;
  }
  ~Child() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    close(go_);
    close(ready_fd_);
  }
  bool ready() const { return ready_; }
  char said() const { return said_; }
  void Kill() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
  int go_ = -1;
  int ready_fd_ = -1;
  bool ready_ = false;
  char said_ = 0;
};

void SayReady(int fd, char what = 'r') {
  if (write(fd, &what, 1) != 1) _exit(3);
}

void WaitToGo(int fd) {
  char word = 0;
  if (read(fd, &word, 1) != 1) _exit(4);
}

// Adds an article and commits it: says 'c' when committed, 'l' when the file was held.
void CommitOneArticle(const fs::path& file, int ready) {
  auto database = testsupport::OpenForWriting(file);
  auto records = database->OpenRecordset(u"Articoli");
  records->AddNew();
  records->SetValue(u"Codice Articolo", Value::Text(u"DA-UN-ALTRO-PROGRAMMA"));
  records->Update();
  try {
    database->Commit();
    SayReady(ready, 'c');
  } catch (const engine::Error& error) {
    SayReady(ready, error.kind() == engine::ErrorKind::Locked ? 'l' : 'x');
  }
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
      pager->WritePage(engine::jet::PageNumber(page)).data()[20] ^= 0xFF;
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
  EXPECT_EQ(testsupport::WithoutChangeCounter(ReadBytes(file)), testsupport::WithoutChangeCounter(original));
}

// A long change writes its mark into the file only when no reader elsewhere is reading it:
// a reader's file must not change under it.
TEST(ReaderLock, LongChangeLeavesAReadersFileAlone) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  const fs::path file = dir.Copy(testsupport::Listini("listini-pieno.mdb"));
  const std::vector<uint8_t> original = ReadBytes(file);
  auto reader = engine::jet::Pager::Open(file, engine::OpenMode::ReadOnly);
  Child writer([&](int ready, int go) {
    auto pager = engine::jet::Pager::Open(file, engine::OpenMode::ReadWrite);
    pager->BeginLongChange();
    for (uint32_t page = 3; page < pager->page_count(); ++page)
      pager->WritePage(engine::jet::PageNumber(page)).data()[20] ^= 0xFF;
    SayReady(ready);
    WaitToGo(go);
    pager->Spill();
    SayReady(ready, fs::exists(engine::jet::JournalPathFor(file)) ? 'j' : 'n');
    pause();
  });
  ASSERT_TRUE(writer.ready());
  engine::jet::ReadHold read(*reader);
  writer.Go();
  ASSERT_TRUE(writer.ready());
  EXPECT_EQ(writer.said(), 'n') << "the change spilled under a reader";
  EXPECT_EQ(ReadBytes(file), original);
  for (uint32_t page = 1; page < reader->page_count(); ++page)
    reader->ReadPage(engine::jet::PageNumber(page));  // no "file changed"
}

// What a reader's record set is doing when another program commits: only a walk under way
// holds the commit, for the wait at most. Afterwards the reader carries on without an error
// and, on its next walk, sees what was committed.
TEST(ReaderLock, OnlyAWalkUnderWayHoldsACommitElsewhere) {
  REQUIRE_FIXTURES();
  struct Case {
    const char* name;
    std::function<void(engine::Recordset&)> reader_state;
    char commit;  // 'c' committed, 'l' refused: the file is in use
  };
  const Case cases[] = {
      {"open, never read", [](engine::Recordset&) {}, 'c'},
      {"walked to the end",
       [](engine::Recordset& records) {
         for (records.MoveFirst(); !records.Eof(); records.MoveNext()) records.GetValue(0);
       },
       'c'},
      {"walk ended early", [](engine::Recordset& records) { records.MoveFirst(), records.EndWalk(); }, 'c'},
      {"in the middle of a walk", [](engine::Recordset& records) { records.MoveFirst(), records.MoveNext(); }, 'l'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::TempDir dir;
    const fs::path file = dir.Copy(testsupport::Listini("listini-pieno.mdb"));
    auto database = testsupport::OpenForReading(file);
    const long before = testsupport::CountRows(*database, u"Articoli");
    auto records = database->OpenRecordset(u"Articoli");
    c.reader_state(*records);
    Child writer([&](int ready) { CommitOneArticle(file, ready); });
    ASSERT_TRUE(writer.ready());
    EXPECT_EQ(writer.said(), c.commit);
    const long after = before + (c.commit == 'c' ? 1 : 0);
    EXPECT_EQ(testsupport::CountRows(*database, u"Articoli"), after);
    if (c.commit == 'c' && !records->Eof()) {
      // A set whose walk had not begun lists the rows as they are now.
      records->MoveLast();
      EXPECT_EQ(records->RecordCount(), after);
    }
  }
}

// A walk that goes on after another program committed (here: one moved back to its first
// record) would mix old rows with new: it fails with FileChanged.
TEST(ReaderLock, AWalkResumedAfterACommitElsewhereFails) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  const fs::path file = dir.Copy(testsupport::Listini("listini-pieno.mdb"));
  auto database = testsupport::OpenForReading(file);
  auto records = database->OpenRecordset(u"Articoli");
  for (records->MoveFirst(); !records->Eof(); records->MoveNext()) {
  }
  Child writer([&](int ready) { CommitOneArticle(file, ready); });
  ASSERT_TRUE(writer.ready());
  ASSERT_EQ(writer.said(), 'c');
  try {
    records->MoveFirst();
    ADD_FAILURE() << "the walk went on over a changed file";
  } catch (const engine::Error& error) {
    EXPECT_EQ(error.kind(), engine::ErrorKind::FileChanged) << error.what();
  }
}

// Every change of ours to the file moves its change counter on, so that a reader coming back
// after it starts afresh instead of taking the file for one changed behind our back. A writer
// elsewhere takes its first steps, the reader reads, the writer takes the last (or dies and
// the next writer undoes its change), and the reader reads again. No row changes: a long
// change's pages never reach the file, and the commit only appends a page.
TEST(ReaderLock, AReaderComingBackAfterAnyChangeElsewhereStartsAfresh) {
  REQUIRE_FIXTURES();
  using engine::jet::Pager;
  enum Step { ChangePages, Spill, Rollback, AppendAndCommit };
  const struct {
    const char* name;
    std::vector<Step> first, last;  // no last steps: the writer dies, the next one recovers
  } cases[] = {
      {"commit", {}, {AppendAndCommit}},
      {"spill", {ChangePages}, {Spill}},
      {"rollback", {ChangePages, Spill}, {Rollback}},
      {"recovery", {ChangePages, Spill}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::TempDir dir;
    const fs::path file = dir.Copy(testsupport::Listini("listini-pieno.mdb"));
    Child writer([&](int ready, int go) {
      auto pager = Pager::Open(file, engine::OpenMode::ReadWrite);
      for (const auto& steps : {c.first, c.last}) {
        for (Step step : steps) {
          if (step == ChangePages) pager->BeginLongChange();
          for (uint32_t page = 3; step == ChangePages && page < 10; ++page)
            pager->WritePage(engine::jet::PageNumber(page)).data()[20] ^= 0xFF;
          if (step == Spill) pager->Spill();
          if (step == Rollback) pager->Rollback();
          if (step == AppendAndCommit) pager->AppendPage(), pager->Commit();
        }
        SayReady(ready);
        WaitToGo(go);
        usleep(20000);  // the modification time moves in clock ticks: the next step in another
      }
    });
    ASSERT_TRUE(writer.ready());
    auto database = testsupport::OpenForReading(file);
    const long rows = testsupport::CountRows(*database, u"Articoli");
    if (c.last.empty()) {
      writer.Kill();
      Child([&](int ready) { Pager::Open(file, engine::OpenMode::ReadWrite), SayReady(ready); });
    } else {
      writer.Go();
    }
    ASSERT_TRUE(fs::exists(engine::jet::JournalPathFor(file)) == (c.last.size() && c.last[0] == Spill));
    for (int read = 0; read < 2; ++read) {
      try {
        EXPECT_EQ(testsupport::CountRows(*database, u"Articoli"), rows);
      } catch (const engine::Error& error) {
        ADD_FAILURE() << "read " << read << ": " << error.what();
      }
    }
  }
}
