// The data folder is shared by the clerks' group, so one clerk can put names there before
// another's run: links to someone else's files, or a pipe. Whatever is planted, the file it
// leads to stays as it was (content, mode, group), and the run says what it did instead.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "archives/error_messages.h"
#include "archives/handlers.h"
#include "archives/italian_texts.h"
#include "engine/base/error.h"
#include "import/report_file.h"
#include "tests/import/real_files.h"
#include "tests/support/files.h"
#include "tests/support/fixtures.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;
using import::ReportPlace;

std::u16string U16(const fs::path& path) { return engine::FromUtf8(path.string()); }

// As the package installs it: the program's listini.mdb a link into the data folder, which is
// the group's, setgid and without the sticky bit; beside it, another user's home.
struct Layout {
  explicit Layout(const TempDir& dir)
      : program(dir.path() / "programma"), data(dir.path() / "dati"), home(dir.path() / "casa"),
        bashrc(home / ".bashrc"), pipe(home / "tubo") {
    fs::create_directories(program);
    fs::create_directories(data);
    fs::create_directories(home);
    engine::jet::CreateListiniDatabase(data / "listini.mdb");
    fs::create_symlink(data / "listini.mdb", program / "listini.mdb");
    if (const group* users = ::getgrnam("users")) {
      EXPECT_EQ(::chown(data.c_str(), static_cast<uid_t>(-1), users->gr_gid), 0);
    }
    EXPECT_EQ(::chmod(data.c_str(), 02775), 0);
    WriteBytes(bashrc, {'l', 's', '\n'});
    EXPECT_EQ(::chmod(bashrc.c_str(), 0640), 0);
    EXPECT_EQ(::chmod(home.c_str(), 0750), 0);
    EXPECT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  }
  fs::path program, data, home, bashrc, pipe;
  fs::path journal() const { return data / "listini.mdb-journal"; }
  fs::path report_folder() const { return data / "Importazioni"; }
};

// What a file is: its type, mode and group, and its content when it is a regular file (a
// pipe is not read: that would wait for a writer).
struct FileState {
  mode_t mode = 0;
  gid_t group = 0;
  std::optional<std::vector<uint8_t>> content;
  std::vector<std::string> entries;  // a folder's
  bool operator==(const FileState&) const = default;
};

FileState StateOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  FileState state{info.st_mode, info.st_gid, std::nullopt, {}};
  if (S_ISREG(info.st_mode)) state.content = ReadBytes(path);
  if (S_ISDIR(info.st_mode)) {
    for (const auto& entry : fs::directory_iterator(path)) state.entries.push_back(entry.path().filename().string());
    std::sort(state.entries.begin(), state.entries.end());
  }
  return state;
}

// Every report name a run starting in the next minute could take, each a link to `target`.
void PlantReportNames(const fs::path& folder, const fs::path& target) {
  fs::create_directory(folder);
  const std::time_t now = std::time(nullptr);
  for (std::time_t second = now - 1; second < now + 60; ++second) {
    std::tm local{};
    localtime_r(&second, &local);
    fs::create_symlink(target, folder / (import::ReportFileName(local) + ".csv"));
  }
}

TEST(SharedFolder, NamesPlantedByAnotherClerkLeadNowhere) {
  REQUIRE_FIXTURES();
  struct Case {
    const char* name;
    std::function<void(const Layout&)> plant;
    std::function<fs::path(const Layout&)> other_file;  // what the planted name leads to
    bool report_to_file;                                // archivi import --report dati/resoconto.csv
    bool ends_at_start;
    // How a message the run shows ends.
    std::function<std::u16string(const Layout&, const import::ImportResult&)> says;
  };
  const Case cases[] = {
      {"a link to another folder in place of the report folder",
       [](const Layout& l) { fs::create_directory_symlink(l.home, l.report_folder()); },
       [](const Layout& l) { return l.home; }, false, false,
       [](const Layout& l, const auto&) { return import::ReportNotWrittenText(U16(l.report_folder()), u"il file esiste già"); }},
      {"a link to another file in place of the report folder",
       [](const Layout& l) { fs::create_symlink(l.bashrc, l.report_folder()); },
       [](const Layout& l) { return l.bashrc; }, false, false,
       [](const Layout& l, const auto&) { return import::ReportNotWrittenText(U16(l.report_folder()), u"il file esiste già"); }},
      {"a link at the name of the report asked for",
       [](const Layout& l) { fs::create_symlink(l.bashrc, l.data / "resoconto.csv"); },
       [](const Layout& l) { return l.bashrc; }, true, false,
       [](const Layout& l, const auto&) { return import::ReportDetailText(U16(l.data / "resoconto.csv")); }},
      {"links at every name the window's report could take",
       [](const Layout& l) { PlantReportNames(l.report_folder(), l.bashrc); },
       [](const Layout& l) { return l.bashrc; }, false, false,
       [](const Layout&, const import::ImportResult& run) { return import::ReportDetailText(U16(run.report)); }},
      {"a pipe at the journal's name",
       [](const Layout& l) { ASSERT_EQ(::mkfifo(l.journal().c_str(), 0660), 0); },
       [](const Layout& l) { return l.journal(); }, false, true,
       [](const Layout& l, const auto&) {
         return archives::CannotOpenDestinationText(U16(l.program / "listini.mdb"),
                                                    archives::NotAJournalReason(u"listini.mdb-journal")) +
                u".";
       }},
      {"a link to a pipe at the journal's name", [](const Layout& l) { fs::create_symlink(l.pipe, l.journal()); },
       [](const Layout& l) { return l.pipe; }, false, false,
       [](const Layout& l, const auto&) {
         return archives::JournalSetAsideText(U16(l.program / "listini.mdb"), U16(l.journal()) + u".not-applied");
       }},
      {"a link to another file at the journal's name",
       [](const Layout& l) { fs::create_symlink(l.bashrc, l.journal()); }, [](const Layout& l) { return l.bashrc; },
       false, false,
       [](const Layout& l, const auto&) {
         return archives::JournalSetAsideText(U16(l.program / "listini.mdb"), U16(l.journal()) + u".not-applied");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const Layout layout(dir);
    const fs::path source = dir.path() / "fonte.mdb";
    WriteAwkwardSource(source);
    c.plant(layout);
    const fs::path other = c.other_file(layout);
    const FileState before = StateOf(other);

    archives::WindowState state(engine::TextLocale::Italian());
    ScriptedWindow window;
    bool ended = false;
    import::ImportResult result;
    try {
      archives::StartupBinding(state, window, U16(layout.program));
    } catch (const archives::ProgramEnded&) {
      ended = true;
    }
    EXPECT_EQ(ended, c.ends_at_start);
    if (!ended) {
      state.DataSorgente.DatabaseName = U16(source);
      state.DataSorgente.RecordSource = u"Prodotti";
      state.DataSorgente.Refresh();
      window.text1 = state.DataSorgente.DatabaseName;
      window.combo2 = u"Prodotti";
      window.pickers = {u"", u"Codice", u"", u"", u"Prezzo", u"", u""};
      window.answers = {archives::kAnswerNo};
      result = import::RunImport(
          import::kImportKey, state, window, window,
          c.report_to_file ? ReportPlace::File(layout.data / "resoconto.csv") : ReportPlace::BesidePriceList());
      state.DataDestinazione.Close();
      EXPECT_EQ(result.added, 4);
      if (!result.report.empty()) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(result.report))) << result.report;
        EXPECT_EQ(ReadText(result.report).substr(0, 3), "\xEF\xBB\xBF") << result.report;
      }
    }
    EXPECT_EQ(StateOf(other), before) << other;
    const std::vector<std::u16string> shown = window.MessageTexts();
    const std::u16string says = c.says(layout, result);
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [&](const std::u16string& text) { return text.ends_with(says); }))
        << engine::ToUtf8(shown.empty() ? u"(nothing shown)" : shown.back());
  }
}

}  // namespace
}  // namespace testsupport
