#include "import/import_report.h"

#include <algorithm>

#include "engine/value/value.h"
#include "import/italian_texts.h"

namespace import {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr char kSeparator = ';';
constexpr std::string_view kLineEnd = "\r\n";

// Whether a spreadsheet would take the text for a formula: Excel evaluates a field that begins
// with = + - or @ when it opens a CSV file, so a value from a supplier's archive such as
// "=HYPERLINK(...)" would run on the clerk's machine; a tab or a carriage return before such
// a text is skipped on the way. A signed number ("-1,5") is only a number.
bool LooksLikeFormula(std::u16string_view text) {
  if (text.empty()) return false;
  if (text[0] == u'=' || text[0] == u'@' || text[0] == u'\t' || text[0] == u'\r') return true;
  if (text[0] != u'+' && text[0] != u'-') return false;
  const std::u16string_view rest = text.substr(1);
  return rest.empty() || rest.find_first_not_of(u"0123456789,. ") != std::u16string_view::npos;
}

// A field quoted when it holds the separator, a quote or a line end, its quotes doubled; also
// when it holds a comma or a tab, which Calc's import may take as separators too, and which
// an Italian number ("-1,5") holds. A text a spreadsheet would evaluate gets an apostrophe
// before it, as a clerk would type it to keep it a text.
std::string Field(std::u16string_view text) {
  std::string utf8 = engine::ToUtf8(text);
  if (LooksLikeFormula(text)) utf8.insert(0, 1, '\'');
  if (utf8.find_first_of(";,\t\"\r\n") == std::string::npos) return utf8;
  std::string quoted = "\"";
  for (char c : utf8) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

class CsvText {
 public:
  CsvText() : text_(kByteOrderMark) {}
  CsvText& Line(std::initializer_list<std::u16string_view> fields) {
    bool first = true;
    for (std::u16string_view field : fields) {
      if (!first) text_ += kSeparator;
      text_ += Field(field);
      first = false;
    }
    text_ += kLineEnd;
    return *this;
  }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
};

std::u16string Number(long n) { return engine::FromUtf8(std::to_string(n)); }

// As the Italian desktop shows a date and time: 07/12/2026 14:03:05.
std::u16string DateAndTime(const std::tm& time) {
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%d/%m/%Y %H:%M:%S", &time);
  return engine::FromUtf8(buffer);
}

}  // namespace

std::u16string ItalianWithPlace(const FailureReason& reason) {
  if (reason.field.empty() || reason.names_place) return reason.in_italian;
  std::u16string text = reason.in_italian;
  if (!text.empty() && text.back() == u'.') text.pop_back();
  return text + PlaceOfReasonText(reason.field, reason.value) + u".";
}

std::string TextWithPlace(const FailureReason& reason) {
  if (reason.field.empty() || reason.names_place) return reason.text;
  std::string place = "column \"" + engine::ToUtf8(reason.field) + "\"";
  if (!reason.value.empty()) place += ", value \"" + engine::ToUtf8(reason.value) + "\"";
  return place + ": " + reason.text;
}

std::tm LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

std::string ReportCsv(const ImportReport& report) {
  CsvText csv;
  csv.Line({kReportSourceKey, report.source_archive})
      .Line({kReportTableKey, report.table})
      .Line({kReportPriceListKey, ReportPriceListText(report.price_list, report.price_list_opened)})
      .Line({kReportStartKey, DateAndTime(report.start)})
      .Line({kReportEndKey, DateAndTime(report.end)})
      .Line({kReportPurgeKey, !report.purged ? kReportNo : report.purge_undone ? kReportPurgeUndone : kReportYes});
  if (report.purged && report.deleted) csv.Line({kReportDeletedKey, Number(*report.deleted)});
  if (report.purge_kept > 0) {
    csv.Line({kReportPurgeKeptKey, Number(report.purge_kept) + u" (" + report.purge_kept_for + u")"});
  }
  if (!report.purge_cascaded.empty()) csv.Line({kReportPurgeCascadedKey, report.purge_cascaded});
  for (const auto& [caption, column] : report.mapping) csv.Line({caption, column});
  csv.Line({kReportAddedKey, Number(report.added)})
      .Line({kReportAlreadyPresentKey, Number(report.already_present)})
      .Line({kReportWithoutCodeKey, Number(report.without_code)})
      .Line({kReportNotImportedKey, Number(report.not_imported)})
      .Line({kReportValuesNotWrittenKey, Number(report.values_not_written)})
      .Line({kReportValuesChangedKey, Number(report.values_changed)})
      .Line({});
  const auto& h = kReportHeader;
  csv.Line({h[0], h[1], h[2], h[3], h[4], h[5]});
  // Lines come as the run settles them (an article's lost values once it is committed):
  // the clerk reads them in the source's order.
  std::vector<const ReportLine*> lines;
  for (const ReportLine& line : report.lines) lines.push_back(&line);
  std::stable_sort(lines.begin(), lines.end(),
                   [](const ReportLine* a, const ReportLine* b) { return a->record.row < b->record.row; });
  for (const ReportLine* line : lines) {
    const std::u16string outcome = line->unread > 0     ? ReportNotReadText(line->unread)
                                   : line->not_imported ? std::u16string(kReportNotImported)
                                   : line->value_changed ? std::u16string(kReportValueChanged)
                                                         : std::u16string(kReportValueNotWritten);
    csv.Line({Number(line->record.row), line->record.code, outcome, line->reason.field, line->reason.value,
              line->reason.in_italian});
  }
  return csv.Take();
}

}  // namespace import
