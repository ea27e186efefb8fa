// A data binding: database file, connect string and record source, and the database and
// record set opened from them by Refresh. The window owns two: the source binding
// DataSorgente and the destination binding DataDestinazione.
#pragma once

#include <memory>
#include <string>

#include "engine/database/database.h"

namespace archives {

inline constexpr std::u16string_view kAccessConnect = u"Access 2000;";
inline constexpr std::u16string_view kExcelConnect = u"Excel 8.0;";

class DataBinding {
 public:
  DataBinding(engine::OpenMode mode, engine::TextLocale locale);

  // Settings, effective at the next Refresh.
  std::u16string DatabaseName;
  std::u16string Connect{kAccessConnect};
  std::u16string RecordSource;

  // Reopens the database (only when the file or connect string changed: an open database is
  // kept with what it already read) and the record set on the first record; with an empty
  // record source, the database alone. On failure the binding has no record set.
  void Refresh();

  // The number of records the record source `before` + literal + `after` gives, as setting it,
  // Refresh and RecordCount would, the database reopened likewise when the file or connect
  // string changed; otherwise the record set the binding has stays. The statement is
  // prepared once (engine::Database::PrepareLookup) for every literal asked while its two
  // parts stay the same.
  long CountRecords(std::u16string_view before, std::u16string_view literal, std::u16string_view after);

  // The current record set and database; each throws engine::Error when there is none.
  engine::Recordset& Recordset();
  engine::Database& Database();

  // Commits what was stored (destination; see engine::Database::Close) and closes
  // everything. Throws when that commit fails, with the binding closed all the same.
  void Close();

  // Takes an archive that is already open as the one for the current DatabaseName and
  // Connect, so the next Refresh keeps it (tests bind in-memory archives this way).
  void Attach(std::unique_ptr<engine::Database> database);

  const engine::TextLocale& locale() const { return locale_; }

 private:
  // Opens the database when none is open or the file or connect string changed (dropping the
  // record set and the lookup of the one before).
  void BindDatabase();
  void ForgetLookup();

  engine::OpenMode mode_;
  engine::TextLocale locale_;
  std::unique_ptr<engine::Database> database_;
  std::u16string open_name_, open_connect_;
  std::unique_ptr<engine::Recordset> recordset_;
  // Goes before the database it was prepared on.
  std::unique_ptr<engine::PreparedLookup> lookup_;
  std::u16string lookup_before_, lookup_after_;
};

// What the window owns besides its controls.
struct WindowState {
  explicit WindowState(const engine::TextLocale& locale)
      : DataSorgente(engine::OpenMode::ReadOnly, locale),
        DataDestinazione(engine::OpenMode::ReadWrite, locale) {}
  DataBinding DataSorgente;
  DataBinding DataDestinazione;
  std::u16string source_archive_path;
};

}  // namespace archives
