#include "import/import_run.h"

#include <filesystem>
#include <optional>
#include <string>

#include "archives/error_messages.h"
#include "archives/handlers.h"
#include "engine/value.h"
#include "import/destination_queries.h"
#include "import/import_report.h"
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
  ImportRun(archives::WindowState& state, archives::FormControls& form, archives::Dialogs& dialogs,
            const ReportPlace& report_place)
      : source_(state.DataSorgente),
        destination_(state.DataDestinazione),
        form_(form),
        dialogs_(dialogs),
        report_place_(report_place) {}

  ImportResult Run(std::u16string_view button_key) {
    report_.start = LocalTimeNow();
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
    result_.first_failure = TextWithPlace(tally_->first_reason());
    result_.first_failure_in_italian = ItalianWithPlace(tally_->first_reason());
    result_.first_failure_row = tally_->first_reason_record().row;
    result_.first_failure_code = tally_->first_reason_record().code;
    WriteReport();
    if (destination_damaged_) return RefuseDamagedDestination();
    ShowClosingMessage();
    return result_;
  }

 private:
  void Show(std::u16string_view text, archives::MessageStyle style) {
    steps_.Run([&] { dialogs_.MessageBox(text, style); });
  }

  // Counts records that were not imported because of the failure just swallowed: the current
  // one, or those of the walk from `index` on.
  void CountFailure() { tally_->NotImported(current_, 1, steps_.last_reason()); }
  void CountFailure(long index, long records) {
    tally_->NotImported({first_row_ + index - 1, {}}, records, steps_.last_reason());
  }

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
      const long unread = steps_.Get([&] { return source_.Recordset().UnreadRecords(); }).value_or(0);
      if (steps_.file_changed() || unread > 0) {
        // Not an empty source: one that another program is changing, or whose pages hold
        // none of the records its table counts.
        result_.failed = unread;
        result_.first_failure = steps_.last_failure();
        result_.first_failure_in_italian = steps_.last_failure_in_italian();
        Show(std::u16string(kImportNotDoneBecause) + (unread > 0 ? RecordsNotReadText(unread) : u"") +
                 result_.first_failure_in_italian,
             MessageStyle::OkOnly);
      } else {
        Show(kSourceIsEmpty, MessageStyle::OkOnly);
      }
      return false;
    }
    // Counting read the source: let go of it while the user answers the purge question.
    steps_.Run([&] { source_.Recordset().EndWalk(); });
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
    // crash in between leaves the price list as it was before the click. Beginning it waits
    // for other programs' reads of the price list to end, so that the user is not told of a
    // deletion that the final commit could not bring to the file.
    if (!steps_.Run([&] { destination_.Database().BeginTransaction(); })) {
      Show(steps_.last_failure_in_use() ? std::u16string(kPriceListInUseNothingDeleted)
                                        : std::u16string(kPurgeFailed) + steps_.last_failure_in_italian(),
           archives::MessageStyle::OkOnly);
      return false;
    }
    if (!steps_.Run([&] { destination_.Database().Execute(kPurgeStatement); })) {
      const bool damaged = DestinationDamaged();
      const std::u16string message = std::u16string(kPurgeFailed) + steps_.last_failure_in_italian();
      steps_.Run([&] { destination_.Database().Commit(); });  // ends the change the failure undid
      if (damaged) {
        Show(DamagedDestinationText(0), archives::MessageStyle::OkOnly);
      } else {
        Show(message, archives::MessageStyle::OkOnly);
      }
      return false;
    }
    report_.purged = true;
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
    steps_.Run([&] { first_row_ = source_.Recordset().FirstRecordRow(); });
    if (!count) {
      // Without the count there is no walk; the records the source said it had stay out.
      CountFailure(1, fresh_count > 0 ? fresh_count : 1);
      return;
    }
    ProgressReport progress(form_, steps_);
    for (long index = 1; index <= *count; ++index) {
      progress.Reached(index, *count);
      current_ = {first_row_ + index - 1, {}};
      ImportCurrentRecord();
      if (destination_damaged_ || stopped_) {
        // The engine undid what had not been saved, or every later article would meet the
        // same failure: going on would only meet it again.
        CountFailure(index + 1, *count - index);
        return;
      }
      if (steps_.file_changed()) {
        // Another program changed a file under the run: nothing more can be read from it.
        CountFailure(index + 1, *count - index);
        return;
      }
      if (steps_.Run([&] { source_.Recordset().MoveNext(); })) continue;
      if (index < *count) {
        // Going on would take the same record again for every remaining pass.
        CountFailure(index + 1, *count - index);
        return;
      }
      // Past the last record: the table's pages held fewer (or more) records than it counts.
      CountFailure(index + 1, steps_.Get([&] { return source_.Recordset().UnreadRecords(); }).value_or(0));
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
    current_.code = code->ToText(source_.locale());
    // Looked up as it will be stored, cut to the column's limit, so that a long code is
    // found again on the next run instead of being added once more.
    std::u16string literal(CutToLimit(current_.code));
    ToSql(literal);
    const std::optional<long> found = steps_.Get([&] {
      std::u16string& query = destination_.RecordSource;
      query.assign(kLookupStart).append(literal).append(kLookupEnd);
      destination_.Refresh();
      return destination_.Recordset().RecordCount();
    });
    if (!found) return CountFailureOnDestination();
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
      tally_->Stored(current_, std::move(losses));
    } else {
      if (DestinationDamaged()) destination_damaged_ = true;
      CountRefusal();
      // A price list that cannot be written now (in use, read-only, the disk full) stops the
      // run: trying each remaining article would only wait and fail again.
      if (steps_.last_failure_recurs()) {
        stopped_ = true;
        stop_reason_ = steps_.last_failure_in_italian();
      }
    }
    // A store, and the commit the engine may make after it, can also take back the articles
    // stored since the last commit.
    tally_->Settle(DestinationCounts(), steps_.last_reason());
  }

  // A lookup that failed; a damaged price list ends the walk.
  void CountFailureOnDestination() {
    if (DestinationDamaged()) destination_damaged_ = true;
    CountFailure();
  }

  // The last failure was the engine finding the price list damaged. The engine has then
  // undone everything not yet saved.
  bool DestinationDamaged() {
    if (steps_.last_kind() != engine::ErrorKind::Damaged) return false;
    const std::string file = steps_.last_file();
    return steps_.Get([&] { return destination_.Database().path().string() == file; }).value_or(false);
  }

  std::u16string DamagedDestinationText(long saved) {
    const std::u16string path = steps_.Get([&] { return engine::FromUtf8(destination_.Database().path().string()); })
                                    .value_or(u"");
    return DamagedPriceListText(path, archives::kDestinationTable, saved);
  }

  ImportResult RefuseDamagedDestination() {
    Show(DamagedDestinationText(result_.added), archives::MessageStyle::OkOnly);
    return result_;
  }

  // A record the destination refused: a field's rule names the field, and the report shows
  // the value the source gave it.
  void CountRefusal() {
    FailureReason reason = steps_.last_reason();
    if (!reason.field.empty()) {
      const std::u16string source_text = SourceTextFor(reason.field, form_, source_, destination_);
      if (!source_text.empty()) reason.value = source_text;
    }
    tally_->NotImported(current_, 1, reason);
  }

  // What the closing message reports must be on disk.
  void CommitDestination() {
    const bool committed = steps_.Run([&] { destination_.Database().Commit(); });
    if (!committed && report_.purged) {
      purge_undone_ = true;
      undo_reason_ = steps_.last_failure_in_italian();
    }
    tally_->Settle(DestinationCounts(), steps_.last_reason());
    tally_->SettleAll(committed, steps_.last_reason());
  }

  void ShowClosingMessage() {
    std::u16string message;
    const auto number = [](long n) { return engine::FromUtf8(std::to_string(n)); };
    if (steps_.Holds([&] { return form_.Combo2Text().empty(); })) {
      message = kImportNotDone;
    } else if (purge_undone_) {
      message = std::u16string(kPurgeUndone) + undo_reason_;
    } else if (stopped_) {
      message = std::u16string(kImportStoppedStart) + number(result_.added) + std::u16string(kImportStoppedEnd) +
                stop_reason_;
      if (!result_.report.empty()) message += u" " + ReportDetailText(engine::FromUtf8(result_.report.string()));
    } else if (result_.failed == 0 && result_.values_not_written == 0 && result_.first_failure.empty()) {
      message = kImportDone;
    } else {
      message = ClosingReport();
      if (!result_.report.empty()) message += u" " + ReportDetailText(engine::FromUtf8(result_.report.string()));
    }
    if (!result_.report_failure.empty()) message += u" " + result_.report_failure;
    Show(message, archives::MessageStyle::OkOnly);
  }

  // The report never changes the run: one that cannot be written is only told.
  void WriteReport() {
    if (report_place_.kind == ReportPlace::Kind::None) return;
    const std::filesystem::path price_list =
        steps_.Get([&] { return destination_.Database().path(); }).value_or(std::filesystem::path());
    try {
      result_.report = WriteReportAt(report_place_, price_list, report_.start, ReportCsv(Report(price_list)));
    } catch (const std::exception& failure) {
      const std::filesystem::path place = IntendedReportPlace(report_place_, price_list);
      result_.report_failure = ReportNotWrittenText(engine::FromUtf8(place.string()), archives::ItalianReason(failure));
    }
  }

  ImportReport Report(const std::filesystem::path& price_list) {
    report_.end = LocalTimeNow();
    report_.source_archive = steps_.Get([&] { return form_.Text1(); }).value_or(u"");
    report_.table = steps_.Get([&] { return form_.Combo2Text(); }).value_or(u"");
    report_.price_list = engine::FromUtf8(price_list.string());
    for (int picker = 0; picker < archives::kPickerCount; ++picker) {
      const std::u16string column = steps_.Get([&] { return form_.PickerText(picker); }).value_or(u"");
      if (!column.empty()) report_.mapping.emplace_back(kPickerCaptions[static_cast<size_t>(picker)], column);
    }
    report_.added = result_.added;
    report_.already_present = result_.already_present;
    report_.without_code = result_.without_code;
    report_.not_imported = result_.failed;
    report_.values_not_written = result_.values_not_written;
    report_.lines = tally_->lines();
    return report_;
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
  ReportPlace report_place_;
  ImportReport report_;   // filled as the run learns what it holds
  long first_row_ = 1;    // the number the source's first record goes by
  SourceRecord current_;  // the record the walk stands on
  bool destination_damaged_ = false;
  bool purge_undone_ = false;  // and its final commit failed, so the purge was undone too
  std::u16string undo_reason_;
  bool stopped_ = false;       // the price list refused a write that every later one would meet
  std::u16string stop_reason_;
};

}  // namespace

ImportResult RunImport(std::u16string_view button_key, archives::WindowState& state, archives::FormControls& form,
                       archives::Dialogs& dialogs, const ReportPlace& report) {
  if (run_under_way) return {};
  RunUnderWay guard;
  ImportResult result = ImportRun(state, form, dialogs, report).Run(button_key);
  // A run that ended before the source's last record lets go of the source, which other
  // programs may then write, until the next run reads it again.
  ResumeNext().Run([&] { state.DataSorgente.Recordset().EndWalk(); });
  return result;
}

}  // namespace import
