// archivi import: the window's import run without the window. The archives are bound as the
// window binds them, the messages the window would show are printed one per line, and the
// purge question is answered as the command line says.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "archives/data_binding.h"
#include "archives/handlers.h"
#include "archives/window_interface.h"
#include "engine/value/value.h"
#include "import/import_run.h"
#include "import/italian_texts.h"
#include "import/record_transfer.h"
#include "tools/archivi/commands.h"

namespace archivi {
namespace {

constexpr const char* kUsage =
    "usage: archivi import DEST SOURCE TABLE --slot K=COLUMN ... [--purge yes|no] [--report FILE]\n"
    "  K: 0 category, 1 article code (required), 2 description, 3 catalogue description,\n"
    "     4 price, 5 second price, 6 image path\n"
    "  --report FILE: the window's report of the run (CSV for a spreadsheet), written to FILE\n";

struct ImportOptions {
  std::string destination, source, table;
  std::array<std::u16string, archives::kPickerCount> pickers;
  bool purge = false;
  std::string report;
};

bool ParseOptions(const Arguments& args, ImportOptions* options) {
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--slot" && i + 1 < args.size()) {
      const std::string& slot = args[++i];
      const size_t equals = slot.find('=');
      if (equals != 1 || slot[0] < '0' || slot[0] >= '0' + archives::kPickerCount) return false;
      options->pickers[slot[0] - '0'] = engine::FromUtf8(slot.substr(2));
    } else if (args[i] == "--purge" && i + 1 < args.size()) {
      const std::string& answer = args[++i];
      if (answer != "yes" && answer != "no") return false;
      options->purge = answer == "yes";
    } else if (args[i] == "--report" && i + 1 < args.size()) {
      options->report = args[++i];
    } else if (args[i].starts_with("--")) {
      return false;
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 3) return false;
  options->destination = positional[0];
  options->source = positional[1];
  options->table = positional[2];
  return true;
}

// The window's controls as the command line set them.
class CommandLineForm : public archives::FormControls {
 public:
  explicit CommandLineForm(const ImportOptions& options)
      : text1_(engine::FromUtf8(options.source)), combo2_(engine::FromUtf8(options.table)), pickers_(options.pickers) {}

  std::u16string Text1() const override { return text1_; }
  void SetText1(std::u16string_view text) override { text1_ = text; }
  std::u16string Combo2Text() const override { return combo2_; }
  void ClearCombo2() override { combo2_.clear(); }
  void AppendCombo2(std::u16string_view) override {}
  std::u16string PickerText(int picker) const override { return pickers_.at(picker); }
  void ClearPicker(int picker) override { pickers_.at(picker).clear(); }
  void AppendPicker(int, std::u16string_view) override {}
  void EnablePicker(int) override {}
  void SetProgress(float) override {}

 private:
  std::u16string text1_, combo2_;
  std::array<std::u16string, archives::kPickerCount> pickers_;
};

// Message boxes become lines on stdout; the purge question gets the command line's answer.
class PrintedDialogs : public archives::Dialogs {
 public:
  explicit PrintedDialogs(bool purge) : purge_(purge) {}

  int MessageBox(std::u16string_view text, archives::MessageStyle style) override {
    std::printf("%s\n", engine::ToUtf8(text).c_str());
    if (style != archives::MessageStyle::YesNo) return archives::kAnswerOk;
    return purge_ ? archives::kAnswerYes : archives::kAnswerNo;
  }
  std::u16string OpenFile(std::u16string_view) override { return {}; }
  void ProcessEvents() override {}
  [[noreturn]] void EndProgram() override { std::exit(0); }

 private:
  bool purge_;
};

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    char c = text[text.size() - suffix.size() + i];
    if (c >= 'a' && c <= 'z') c -= 32;
    if (c != suffix[i]) return false;
  }
  return true;
}

}  // namespace

int ImportCommand(const Arguments& args) {
  ImportOptions options;
  if (!ParseOptions(args, &options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  archives::WindowState state(engine::TextLocale::FromEnvironment());

  // As start-up binds the destination, and as choosing the archive and its table bind the source.
  state.DataDestinazione.DatabaseName = engine::FromUtf8(options.destination);
  state.DataDestinazione.RecordSource = archives::kDestinationTable;
  state.DataDestinazione.Refresh();
  state.DataSorgente.DatabaseName = engine::FromUtf8(options.source);
  state.DataSorgente.Connect =
      EndsWithIgnoringCase(options.source, ".XLS") ? archives::kExcelConnect : archives::kAccessConnect;
  state.DataSorgente.RecordSource = engine::FromUtf8(options.table);
  state.DataSorgente.Refresh();
  ReportSetAsideJournal(options.destination, state.DataDestinazione.Database().SetAsideJournal());
  ReportSetAsideJournal(options.source, state.DataSorgente.Database().SetAsideJournal());

  CommandLineForm form(options);
  PrintedDialogs dialogs(options.purge);
  const import::ReportPlace report =
      options.report.empty() ? import::ReportPlace{} : import::ReportPlace::File(options.report);
  const import::ImportResult result = import::RunImport(import::kImportKey, state, form, dialogs, report);
  state.DataDestinazione.Close();

  std::printf(
      "added: %ld\nalready present: %ld\nwithout code: %ld\nfailed: %ld\nvalues not written: %ld\nvalues changed: %ld\n",
      result.added, result.already_present, result.without_code, result.failed, result.values_not_written,
      result.values_changed);
  // The messages above are the window's, in Italian; the engine's own words go to stderr.
  if (!result.first_failure.empty()) {
    std::string record;
    if (result.first_failure_row > 0) record = "row " + std::to_string(result.first_failure_row) + ", ";
    if (!result.first_failure_code.empty()) record += "code \"" + engine::ToUtf8(result.first_failure_code) + "\", ";
    std::fprintf(stderr, "first failure: %s%s\n", record.c_str(), result.first_failure.c_str());
  }
  // A report asked for and not written (the closing message above says why) fails too.
  const bool report_missing = !options.report.empty() && result.report.empty();
  return result.walked && result.failed == 0 && result.values_not_written == 0 && !report_missing ? 0 : 1;
}

}  // namespace archivi
