// Crash safety end to end: a child process adds rows with frequent commits and is killed
// (SIGKILL) at random moments, many times over the same file. After every kill the file must
// open, pass the integrity check, and hold exactly the rows K-0 .. K-(n-1) for some n no
// smaller than the count the child last reported as committed. In an Access 2000 price list
// and in an Access 97 table (2 KB pages, rows and texts in the Jet 3 layout).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <set>
#include <string>

#include "engine/jet/storage/journal_format.h"
#include "tests/engine/jet/jet_test_util.h"
#include "tests/support/jet_check.h"

namespace fs = std::filesystem;
using engine::Value;

namespace {

constexpr int kCommitEvery = 7;

// A file, its table, and the columns the writer fills: the code, an awkward text, a long one.
struct Target {
  fs::path file;
  std::u16string table, code, awkward, filler;
};

[[noreturn]] void WriteUntilKilled(const fs::path& file, const Target& target, int report_fd) {
  try {
    auto database = testsupport::OpenForWriting(file);
    long next = testsupport::CountRows(*database, target.table);
    auto records = database->OpenRecordset(target.table);
    for (int i = 0; i < 100000; ++i, ++next) {
      records->AddNew();
      const std::string code = "K-" + std::to_string(next);
      records->SetValue(target.code, Value::Text(engine::FromUtf8(code)));
      records->SetValue(target.awkward, Value::Text(testsupport::AwkwardText(static_cast<int>(next), 50)));
      records->SetValue(target.filler, Value::Text(std::u16string(30 + next % 20, u'd')));
      records->Update();
      if ((i + 1) % kCommitEvery == 0) {
        database->Commit();
        const std::string line = std::to_string(next + 1) + "\n";
        if (write(report_fd, line.data(), line.size()) < 0) _exit(3);
      }
    }
  } catch (...) {
    _exit(2);
  }
  _exit(0);
}

void KillWritersRepeatedly(const Target& target) {
  SCOPED_TRACE(target.file.string());
  testsupport::TempDir dir;
  const fs::path file = dir.Copy(target.file);
  // Codes K-0 upwards follow the rows the table held.
  const long before = testsupport::CountRows(*testsupport::OpenForReading(file), target.table);
  std::mt19937 random(20261207);
  long committed = 0;
  int journals_left = 0;
  for (int round = 0; round < 60; ++round) {
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(pipe_fds[0]);
      WriteUntilKilled(file, target, pipe_fds[1]);
    }
    close(pipe_fds[1]);
    usleep(static_cast<useconds_t>(2000 + random() % 45000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself with status " << WEXITSTATUS(status);
    std::string reports;
    char buffer[4096];
    for (ssize_t n; (n = read(pipe_fds[0], buffer, sizeof buffer)) > 0;) reports.append(buffer, static_cast<size_t>(n));
    close(pipe_fds[0]);
    const size_t last_line = reports.rfind('\n', reports.size() - 2);
    if (!reports.empty()) committed = std::stol(reports.substr(last_line == std::string::npos ? 0 : last_line + 1));
    journals_left += fs::exists(engine::jet::JournalPathFor(file));

    // Opening rolls back any interrupted commit; then the file must be whole.
    ASSERT_EQ(testsupport::CheckProblems(file), "") << "after kill " << round;
    auto database = testsupport::OpenForReading(file);
    auto records = database->OpenRecordset(target.table);
    std::set<std::string> codes;
    for (bool more = records->RecordCount() > 0; more; records->MoveNext(), more = !records->Eof()) {
      if (records->Eof()) break;
      const Value code = records->GetValue(target.code);
      if (!code.is_null()) codes.insert(engine::ToUtf8(code.text()));
    }
    const long rows = testsupport::CountRows(*database, target.table) - before;
    ASSERT_GE(rows, committed) << "committed rows lost after kill " << round;
    for (long i = 0; i < rows; ++i)
      ASSERT_TRUE(codes.count("K-" + std::to_string(before + i))) << "K-" << i << " missing";
    committed = rows;
  }
  EXPECT_GT(committed, 0);
  std::printf("%ld rows survived 60 kills; %d kills left a journal to roll back\n", committed, journals_left);
}

}  // namespace

TEST(JournalKill, KilledWritersNeverLoseCommittedRowsNorBreakTheFile) {
  REQUIRE_FIXTURES();
  const Target targets[] = {
      {testsupport::Listini("listini.mdb"), u"Articoli", u"Codice Articolo", u"Categoria", u"Descrizione Catalogo"},
      {testsupport::Fixture("jet/V1997/queryTestV1997.mdb"), u"Table1", u"col1", u"col2", u"col3"},
  };
  for (const Target& target : targets) KillWritersRepeatedly(target);
}
