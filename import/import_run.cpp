#include "import/import_run.h"

#include <filesystem>
#include <optional>
#include <string>

#include "archives/handlers.h"
#include "engine/value.h"
#include "import/destination_queries.h"
#include "import/italian_texts.h"
#include "import/record_transfer.h"
#include "import/resume_next.h"
#include "import/run_tally.h"
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
    tally_.emplace(DestinationCounts());
    Walk(fresh_count);
    CommitDestination();
    result_.added = tally_->added();
    result_.failed = tally_->not_imported();
    result_.values_not_written = tally_->values_not_written();
    result_.first_failure = tally_->first_reason().text;
    result_.first_failure_in_italian = tally_->first_reason().in_italian;
    ShowClosingMessage();
    return result_;
  }

 private:
  void Show(std::u16string_view text, archives::MessageStyle style) {
    steps_.Run([&] { dialogs_.MessageBox(text, style); });
  }

  // Counts records that were not imported because of the failure just swallowed.
  void CountFailure(long records = 1) { tally_->NotImported(records, steps_.last_reason()); }

  std::optional<engine::Database::StoredRecords> DestinationCounts() {
    return steps_.Get([&] { return destination_.Database().stored_records(); });
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
      if (steps_.file_changed()) {
        // Not an empty source: one that another program is changing.
        result_.first_failure = steps_.last_failure();
        result_.first_failure_in_italian = steps_.last_failure_in_italian();
        Show(std::u16string(kImportNotDoneBecause) + result_.first_failure_in_italian, MessageStyle::OkOnly);
      } else {
        Show(kSourceIsEmpty, MessageStyle::OkOnly);
      }
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
      if (steps_.file_changed()) {
        // Another program changed a file under the run: nothing more can be read from it.
        CountFailure(*count - index);
        return;
      }
      if (steps_.Run([&] { source_.Recordset().MoveNext(); })) continue;
      if (index < *count) {
        // Going on would take the same record again for every remaining pass.
        CountFailure(*count - index);
        return;
      }
      // Past the last record: the table's pages held fewer (or more) records than it counts.
      CountFailure(steps_.Get([&] { return source_.Recordset().UnreadRecords(); }).value_or(0));
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
      destination_.RecordSource = archives::kDestinationTable;
      destination_.Refresh();
      destination_.Recordset().AddNew();
    });
    if (!started) return CountFailure();
    TransferLosses losses = TransferRecord(form_, source_, destination_, steps_);
    if (steps_.file_changed()) return CountFailure();  // its values may mix the file's old and new content
    if (steps_.Run([&] { destination_.Recordset().Update(); })) {
      tally_->Stored(std::move(losses));
    } else {
      CountFailure();
    }
    // A store, and the commit the engine may make after it, can also take back the articles
    // stored since the last commit.
    tally_->Settle(DestinationCounts(), steps_.last_reason());
  }

  // What the closing message reports must be on disk.
  void CommitDestination() {
    const bool committed = steps_.Run([&] { destination_.Database().Commit(); });
    tally_->Settle(DestinationCounts(), steps_.last_reason());
    tally_->SettleAll(committed, steps_.last_reason());
  }

  void ShowClosingMessage() {
    if (steps_.Holds([&] { return form_.Combo2Text().empty(); })) {
      Show(kImportNotDone, archives::MessageStyle::OkOnly);
    } else if (result_.failed == 0 && result_.values_not_written == 0 && result_.first_failure.empty()) {
      Show(kImportDone, archives::MessageStyle::OkOnly);
    } else {
      Show(ClosingReport(), archives::MessageStyle::OkOnly);
    }
  }

  // Records lost make it an error, values lost alone a warning; the first reason follows.
  std::u16string ClosingReport() const {
    const auto number = [](long n) { return engine::FromUtf8(std::to_string(n)); };
    std::u16string message;
    if (result_.failed == 0 && result_.values_not_written > 0) {
      message = std::u16string(kImportDoneWithWarningsStart) + number(result_.values_not_written) +
                std::u16string(kValuesNotWrittenEnd);
    } else if (result_.values_not_written == 0) {
      message = std::u16string(kImportDoneWithErrorsStart) + number(result_.failed) +
                std::u16string(kImportDoneWithErrorsEnd);
    } else {
      message = std::u16string(kImportDoneWithErrorsStart) + number(result_.failed) +
                std::u16string(kRecordsNotImportedAnd) + number(result_.values_not_written) +
                std::u16string(kValuesNotWrittenEnd);
    }
    if (!result_.first_failure_in_italian.empty()) message += u" " + result_.first_failure_in_italian;
    return message;
  }

  archives::DataBinding& source_;
  archives::DataBinding& destination_;
  archives::FormControls& form_;
  archives::Dialogs& dialogs_;
  ResumeNext steps_;
  ImportResult result_;
  std::optional<RunTally> tally_;  // from the start of the walk
};

}  // namespace

ImportResult RunImport(std::u16string_view button_key, archives::WindowState& state, archives::FormControls& form,
                       archives::Dialogs& dialogs) {
  if (run_under_way) return {};
  RunUnderWay guard;
  return ImportRun(state, form, dialogs).Run(button_key);
}

}  // namespace import
