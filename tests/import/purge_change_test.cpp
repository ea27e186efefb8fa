// A purge and the import after it are one change: a run killed at any moment after the purge
// leaves the price list as it was before the click. A price list chosen as its own source is
// never offered the purge and keeps every article.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/database/database.h"
#include "import/import_run.h"
#include "import/italian_texts.h"
#include "tests/import/real_files.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_window.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;
using engine::Value;

const engine::TextLocale kLocale = engine::TextLocale::Italian();

// The window bound to two files, the code chosen as the article code and the description.
struct BoundRun : BoundFiles {
  BoundRun(const fs::path& destination, const fs::path& source, std::u16string table, const std::u16string& code_column)
      : BoundFiles(destination, source, std::move(table), {u"", code_column, code_column, u"", u"", u"", u""}) {}
};

TEST(PurgeChange, KilledAfterThePurgeTheListIsAsBeforeTheClick) {
  REQUIRE_FIXTURES();
  TempDir dir;
  const fs::path destination = dir.Copy(Listini("listini-pieno.mdb"));
  const auto before = ReadTable(destination, u"Articoli", kLocale);
  ASSERT_FALSE(before.empty());
  struct KillPoint {
    const char* when;
    std::function<void(BoundRun&)> arm;
  };
  const std::vector<KillPoint> points = {
      {"as the purge is reported", [](BoundRun& run) { run.window.on_message = [&run] {
         if (run.window.messages.back().text == import::kPurgeDone) raise(SIGKILL);
       }; }},
      {"half way through the import", [](BoundRun& run) { run.window.on_progress = [](float value) {
         if (value >= 50) raise(SIGKILL);
       }; }},
      {"as the last record is imported", [](BoundRun& run) { run.window.on_progress = [](float value) {
         if (value >= 100) raise(SIGKILL);
       }; }},
  };
  for (const KillPoint& point : points) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      try {
        BoundRun run(destination, Listini("fonte.mdb"), u"Prodotti", u"Codice");
        point.arm(run);
        run.Press(archives::kAnswerYes);
      } catch (...) {
      }
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << point.when << ": the run was not killed";
    EXPECT_EQ(ReadTable(destination, u"Articoli", kLocale), before) << point.when;
  }

  // Not killed, the same run ends with the import done.
  BoundRun run(destination, Listini("fonte.mdb"), u"Prodotti", u"Codice");
  const import::ImportResult result = run.Press(archives::kAnswerYes);
  run.state.DataDestinazione.Close();
  EXPECT_EQ(static_cast<long>(ReadTable(destination, u"Articoli", kLocale).size()), result.added);
  EXPECT_NE(ReadTable(destination, u"Articoli", kLocale), before);
}

TEST(PurgeChange, PriceListAsItsOwnSourceIsNotPurgedAndKeepsEveryArticle) {
  REQUIRE_FIXTURES();
  TempDir dir;
  const fs::path destination = dir.Copy(Listini("listini-pieno.mdb"));
  const auto before = ReadTable(destination, u"Articoli", kLocale);
  fs::create_directory(dir.path() / "sub");
  fs::create_symlink(destination, dir.path() / "link.mdb");
  for (const fs::path& source : {destination, dir.path() / "sub" / ".." / "listini-pieno.mdb", dir.path() / "link.mdb"}) {
    BoundRun run(destination, source, u"Articoli", u"Codice Articolo");
    const import::ImportResult result = run.Press(archives::kAnswerYes);
    EXPECT_EQ(run.window.MessageTexts(), std::vector<std::u16string>{std::u16string(import::kImportDone)}) << source;
    EXPECT_EQ(result.added, 0) << source;
    EXPECT_EQ(result.failed, 0) << source << ": " << result.first_failure;
    EXPECT_EQ(result.already_present + result.without_code, static_cast<long>(before.size())) << source;
    run.state.DataDestinazione.Close();
    EXPECT_EQ(ReadTable(destination, u"Articoli", kLocale), before) << source;
  }
}

}  // namespace
}  // namespace testsupport
