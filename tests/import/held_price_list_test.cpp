// An import into a price list that another program is in the middle of reading: the run
// waits for it once, not at every article, tells the clerk so, and leaves the file whole.
// With the purge, nothing is deleted and the clerk is never told it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "archives/error_messages.h"
#include "engine/base/error.h"
#include "engine/text/utf.h"
#include "tests/import/real_files.h"
#include "tests/support/files.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;

// Another process walking "Articoli" of `file`, stopped at its first article until killed.
class ReaderElsewhere {
 public:
  explicit ReaderElsewhere(const fs::path& file) {
    int ready[2];
    if (pipe(ready) != 0) std::abort();
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      auto database =
          engine::OpenDatabase(file, u"Access 2000;", engine::OpenMode::ReadOnly, engine::TextLocale::Italian());
      auto records = database->OpenRecordset(u"Articoli");
      records->MoveFirst();
      const char word = 'r';
      if (write(ready[1], &word, 1) != 1) _exit(3);
      pause();
      _exit(0);
    }
    close(ready[1]);
    char word = 0;
    reading_ = read(ready[0], &word, 1) == 1;
    close(ready[0]);
  }
  ~ReaderElsewhere() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  bool reading() const { return reading_; }

 private:
  pid_t pid_ = -1;
  bool reading_ = false;
};

TEST(HeldPriceList, TheRunStopsOnceAndTheFileStaysWhole) {
  REQUIRE_FIXTURES();
  const std::u16string in_use =
      archives::ItalianSentence(engine::Error("", "", engine::ErrorKind::Locked));
  struct Case {
    const char* name;
    int purge_answer;
    std::u16string closing;  // the message after the purge question, or its reason
  };
  const Case cases[] = {
      {"with the purge", archives::kAnswerYes, std::u16string(import::kPriceListInUseNothingDeleted)},
      // Whether a commit during the walk or the one at its end meets the held file first
      // depends on the time the walk takes; either stops the run with the reason.
      {"without the purge", archives::kAnswerNo, in_use},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const fs::path destination = dir.Copy(Listini("listini-pieno.mdb"));
    const std::vector<uint8_t> before = ReadBytes(destination);
    ReaderElsewhere reader(destination);
    ASSERT_TRUE(reader.reading());
    BoundFiles run(destination, Listini("fonte.mdb"), u"Prodotti", {u"", u"Codice", u"Nome", u"", u"", u"", u""});
    const import::ImportResult result = run.Press(c.purge_answer);
    run.state.DataDestinazione.Close();
    const std::vector<std::u16string> shown = run.window.MessageTexts();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], import::kPurgeQuestion);
    // (The report's place may follow.)
    EXPECT_NE(shown[1].find(c.closing), std::u16string::npos) << engine::ToUtf8(shown[1]);
    EXPECT_EQ(result.added, 0);
    EXPECT_TRUE(ReadBytes(destination) == before) << "the held price list was changed";
  }
}

}  // namespace
}  // namespace testsupport
