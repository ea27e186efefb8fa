#include "import/import_run.h"

#include <filesystem>
#include <string>

#include "engine/value.h"
#include "import/messages.h"
#include "import/record_transfer.h"
#include "import/resume_next.h"
#include "import/text_rules.h"

namespace import {
namespace {

// True while a run is under way. The window has one user-interface thread, and a run yields
// to it only while it processes pending events; a press handled then must not start a
// second run inside the first.
bool run_under_way = false;

class RunUnderWay {
 public:
  RunUnderWay() { run_under_way = true; }
  ~RunUnderWay() { run_under_way = false; }
  RunUnderWay(const RunUnderWay&) = delete;
  RunUnderWay& operator=(const RunUnderWay&) = delete;
};

// The progress bar takes the percentage reached, written only when its whole part changes:
// the window repaints at every write, and a walk can be long.
class ProgressReport {
 public:
  ProgressReport(archives::FormControls& form, ResumeNext& steps) : form_(form), steps_(steps) {}

  void Reached(long index, long count) {
    const auto value = static_cast<float>(static_cast<double>(index) * 100.0 / static_cast<double>(count));
    const long whole = static_cast<long>(value);
    if (whole == shown_whole_) return;
    shown_whole_ = whole;
    steps_.Run([&] { form_.SetProgress(value); });
  }

 private:
  archives::FormControls& form_;
  ResumeNext& steps_;
  long shown_whole_ = 0;  // the run starts the bar at 0
};

class ImportRun {
 public:
  ImportRun(archives::WindowState& state, archives::FormControls& form, archives::Dialogs& dialogs)
      : source_(state.DataSorgente), destination_(state.DataDestinazione), form_(form), dialogs_(dialogs) {}

  ImportResult Run(std::u16string_view button_key) {
    steps_.Run([&] { form_.SetProgress(0); });
    steps_.Run([&] { dialogs_.ProcessEvents(); });
    if (button_key == kCloseKey) dialogs_.EndProgram();

    long fresh_count = 0;
    if (!ChoicesAreComplete(&fresh_count)) return result_;
    if (!OfferPurge()) return result_;
    result_.walked = true;
    Walk(fresh_count);
    CommitDestination();
    ShowClosingMessage();
    return result_;
  }

 private:
  void Show(std::u16string_view text, archives::MessageStyle style) {
    steps_.Run([&] { dialogs_.MessageBox(text, style); });
  }

  // Counts a record that was not imported because of a failure just swallowed.
  void CountFailure(long records = 1) {
    if (result_.failed == 0 && result_.first_failure.empty()) {
      result_.first_failure = steps_.last_failure();
      result_.first_failure_in_italian = steps_.last_failure_in_italian();
    }
    result_.failed += records;
  }

  // The four checks, each with its message; false ends the run. A check that cannot be
  // made counts as held, as every test of the run does.
  bool ChoicesAreComplete(long* fresh_count) {
    using archives::MessageStyle;
    if (steps_.Holds([&] { return form_.Text1().empty(); })) {
      Show(kNoArchiveChosen, MessageStyle::OkOnly);
      return false;
    }
    if (!steps_.Holds([&] { return !form_.Combo2Text().empty(); })) {
      Show(kNoTableChosen, MessageStyle::OkOnly);
      return false;
    }
    if (steps_.Holds([&] { return form_.PickerText(kCodePicker).empty(); })) {
      Show(kNoCodeColumnChosen, MessageStyle::OkOnly);
      return false;
    }
    if (steps_.Holds([&] { return (*fresh_count = source_.Recordset().RecordCount()) == 0; })) {
      Show(kSourceIsEmpty, MessageStyle::OkOnly);
      return false;
    }
    return true;
  }

  // Offers to empty "Articoli" when it holds articles; false when the emptying failed.
  bool OfferPurge() {
    steps_.Run([&] {
      destination_.RecordSource = kPurgeProbe;
      destination_.Refresh();
    });
    // Emptying the price list that is also the source would leave nothing to import.
    if (SourceIsDestination()) return true;
    int answer = 0;
    if (steps_.Holds([&] { return destination_.Recordset().RecordCount() > 0; })) {
      steps_.Run([&] { answer = dialogs_.MessageBox(kPurgeQuestion, archives::MessageStyle::YesNo); });
    }
    if (answer != archives::kAnswerYes) return true;
    // The purge and the import after it are one change, committed at the end of the run: a
    // crash in between leaves the price list as it was before the click.
    if (!steps_.Run([&] {
          destination_.Database().BeginTransaction();
          destination_.Database().Execute(kPurgeStatement);
        })) {
      const std::u16string message = std::u16string(kPurgeFailed) + steps_.last_failure_in_italian();
      steps_.Run([&] { destination_.Database().Commit(); });  // ends the change the failure undid
      Show(message, archives::MessageStyle::OkOnly);
      return false;
    }
    Show(kPurgeDone, archives::MessageStyle::Information);
    return true;
  }

  // The same file however its path is written (links, "..", another spelling), by device
  // and inode; letter case counts as the file system says.
  bool SourceIsDestination() {
    return steps_
        .Get([&] {
          std::error_code error;
          return std::filesystem::equivalent(source_.Database().path(), destination_.Database().path(), error);
        })
        .value_or(false);
  }

  void Walk(long fresh_count) {
    std::optional<long> count;
    steps_.Run([&] { source_.Recordset().MoveLast(); });
    steps_.Run([&] { count = source_.Recordset().RecordCount(); });
    steps_.Run([&] { source_.Recordset().MoveFirst(); });
    if (!count) {
      // Without the count there is no walk; the records the source said it had stay out.
      CountFailure(fresh_count > 0 ? fresh_count : 1);
      return;
    }
    ProgressReport progress(form_, steps_);
    for (long index = 1; index <= *count; ++index) {
      progress.Reached(index, *count);
      ImportCurrentRecord();
      if (!steps_.Run([&] { source_.Recordset().MoveNext(); }) && index < *count) {
        // Going on would take the same record again for every remaining pass.
        CountFailure(*count - index);
        return;
      }
    }
  }

  void ImportCurrentRecord() {
    const std::optional<std::u16string> code_column = steps_.Get([&] { return form_.PickerText(kCodePicker); });
    if (!code_column) return CountFailure();
    const std::optional<engine::Value> code = steps_.Get([&] { return source_.Recordset().GetValue(*code_column); });
    if (!code) return CountFailure();  // the code cannot be read: such a record is never added
    if (code->is_null()) {
      ++result_.without_code;
      return;
    }
    // Looked up as it will be stored, cut to the column's limit, so that a long code is
    // found again on the next run instead of being added once more.
    std::u16string literal(CutToLimit(code->ToText(source_.locale())));
    ToSql(literal);
    const std::optional<long> found = steps_.Get([&] {
      destination_.RecordSource = std::u16string(kLookupStart) + literal + std::u16string(kLookupEnd);
      destination_.Refresh();
      return destination_.Recordset().RecordCount();
    });
    if (!found) return CountFailure();
    if (*found > 0) {
      ++result_.already_present;
      return;
    }
    AddArticle();
  }

  void AddArticle() {
    const bool started = steps_.Run([&] {
      destination_.RecordSource = kArticlesTable;
      destination_.Refresh();
      destination_.Recordset().AddNew();
    });
    if (!started) return CountFailure();
    TransferRecord(form_, source_, destination_, steps_);
    if (!steps_.Run([&] { destination_.Recordset().Update(); })) return CountFailure();
    ++result_.added;
  }

  // What the closing message reports must be on disk.
  void CommitDestination() {
    if (steps_.Run([&] { destination_.Database().Commit(); })) return;
    // The articles stored by this run may not have reached the disk.
    CountFailure(result_.added);
    result_.added = 0;
  }

  void ShowClosingMessage() {
    if (steps_.Holds([&] { return form_.Combo2Text().empty(); })) {
      Show(kImportNotDone, archives::MessageStyle::OkOnly);
    } else if (result_.failed == 0 && result_.first_failure.empty()) {
      Show(kImportDone, archives::MessageStyle::OkOnly);
    } else {
      std::u16string message = std::u16string(kImportDoneWithErrorsStart) +
                               engine::FromUtf8(std::to_string(result_.failed)) +
                               std::u16string(kImportDoneWithErrorsEnd);
      if (!result_.first_failure_in_italian.empty()) message += u" " + result_.first_failure_in_italian;
      Show(message, archives::MessageStyle::OkOnly);
    }
  }

  archives::DataBinding& source_;
  archives::DataBinding& destination_;
  archives::FormControls& form_;
  archives::Dialogs& dialogs_;
  ResumeNext steps_;
  ImportResult result_;
};

}  // namespace

ImportResult RunImport(std::u16string_view button_key, archives::WindowState& state, archives::FormControls& form,
                       archives::Dialogs& dialogs) {
  if (run_under_way) return {};
  RunUnderWay guard;
  return ImportRun(state, form, dialogs).Run(button_key);
}

}  // namespace import
