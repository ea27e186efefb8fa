#include "archives/handlers.h"

#include <unistd.h>

#include <exception>
#include <filesystem>

#include "archives/error_messages.h"
#include "archives/italian_texts.h"
#include "engine/base/error.h"
#include "engine/value/value.h"

namespace archives {
namespace {


// The last four characters (the whole text when shorter), ASCII letters upper-cased.
std::u16string UpperTail(std::u16string_view text, size_t count) {
  std::u16string tail(text.size() > count ? text.substr(text.size() - count) : text);
  for (char16_t& c : tail) {
    if (c >= u'a' && c <= u'z') c -= u'a' - u'A';
  }
  return tail;
}

bool IsSystemTable(std::u16string_view name) {
  std::u16string head(name.substr(0, 4));
  return UpperTail(head, 4) == u"MSYS";
}

// Says so when opening the archive set aside a journal that was not its own.
void TellOfSetAsideJournal(DataBinding& binding, Dialogs& dialogs) {
  const std::filesystem::path aside = binding.Database().SetAsideJournal();
  if (aside.empty()) return;
  dialogs.MessageBox(JournalSetAsideText(binding.DatabaseName, engine::FromUtf8(aside.string())),
                     MessageStyle::Information);
}

}  // namespace

std::u16string StartupFailureMessage(std::u16string_view path, const std::exception& error) {
  // An installed program's folder often belongs to the administrator: the user can read the
  // price list but not change it, which only the administrator can put right. The file
  // itself is asked too, so that the advice does not hang on how the engine classed the
  // failure.
  const auto* engine_error = dynamic_cast<const engine::Error*>(&error);
  const engine::ErrorKind kind = engine_error ? engine_error->kind() : engine::ErrorKind::Other;
  const std::string file = engine::ToUtf8(path);
  const bool present_but_not_writable = ::access(file.c_str(), F_OK) == 0 && ::access(file.c_str(), W_OK) != 0;
  std::u16string reason;
  if (kind == engine::ErrorKind::ReadOnlyFileSystem) {
    reason = ItalianReason(error);
  } else if (kind == engine::ErrorKind::AccessDenied || present_but_not_writable) {
    reason = kNotAllowedToChange;
  } else {
    return CannotOpenDestinationMessage(path, error);
  }
  return CannotWritePriceListText(path, reason);
}

void StartupBinding(WindowState& state, Dialogs& dialogs, const std::u16string& program_folder) {
  const std::u16string path = program_folder + u"/" + std::u16string(kDestinationFile);
  DataBinding& destination = state.DataDestinazione;
  destination.DatabaseName = path;
  destination.RecordSource = kDestinationTable;
  try {
    BusyWindow busy(dialogs);  // another program may hold the price list a while
    destination.Refresh();
  } catch (const std::exception& error) {
    dialogs.MessageBox(StartupFailureMessage(path, error), MessageStyle::OkOnly);
    dialogs.EndProgram();
  }
  TellOfSetAsideJournal(destination, dialogs);
}

int CloseAtEnd(WindowState& state, Dialogs& dialogs) {
  try {
    BusyWindow busy(dialogs);  // the last save may wait for another program's hold on the price list
    state.DataDestinazione.Close();
    return 0;
  } catch (const std::exception& error) {
    dialogs.MessageBox(CannotSaveAtEndText(state.DataDestinazione.DatabaseName, ItalianReason(error)),
                       MessageStyle::OkOnly);
    return 1;
  }
}

void Browse(WindowState& state, FormControls& form, Dialogs& dialogs) {
  const std::u16string path = dialogs.OpenFile(kArchiveFileFilter);
  state.source_archive_path = path;
  form.SetText1(path);
  if (path.empty()) return;

  auto refuse = [&](std::u16string_view message) {
    dialogs.MessageBox(message, MessageStyle::OkOnly);
    state.source_archive_path.clear();
    form.SetText1(u"");
  };

  const std::u16string extension = UpperTail(path, 4);
  if (extension != u".XLS" && extension != u".MDB") {
    refuse(kInvalidFormat);
    return;
  }

  // The archive is opened on a fresh binding and replaces the old one only once it opened,
  // so a file that cannot be read leaves the previous archive bound. The record source of
  // the previous archive is not carried over: its table need not exist in the new one.
  DataBinding candidate(engine::OpenMode::ReadOnly, state.DataSorgente.locale());
  candidate.Connect = extension == u".XLS" ? kExcelConnect : kAccessConnect;
  candidate.DatabaseName = path;
  std::vector<engine::TableInfo> tables;
  try {
    BusyWindow busy(dialogs);  // another program may hold the archive a while
    candidate.Refresh();
    tables = candidate.Database().TableDefs();
  } catch (const std::exception& error) {
    refuse(CannotOpenArchiveMessage(path, error));
    return;
  }
  state.DataSorgente = std::move(candidate);
  TellOfSetAsideJournal(state.DataSorgente, dialogs);

  // Entries of the previous archive would not open in this one.
  form.ClearCombo2();
  for (const engine::TableInfo& table : tables) {
    if (!IsSystemTable(table.name)) form.AppendCombo2(table.name);
  }
}

void DiscoverColumns(WindowState& state, FormControls& form, Dialogs& dialogs) {
  DataBinding& source = state.DataSorgente;
  const std::u16string previous_source = source.RecordSource;
  source.RecordSource = form.Combo2Text();
  int field_count = 0;
  std::vector<std::u16string> names;
  try {
    BusyWindow busy(dialogs);  // another program may hold the archive a while
    source.Refresh();
    engine::Recordset& records = source.Recordset();
    field_count = records.FieldCount();
    for (int i = 0; i < field_count; ++i) names.push_back(records.FieldName(i));
  } catch (const std::exception& error) {
    dialogs.MessageBox(CannotOpenArchiveMessage(source.DatabaseName, error), MessageStyle::OkOnly);
    // Back to the table that was bound before, so the pickers still match the record set.
    source.RecordSource = previous_source;
    try {
      BusyWindow busy(dialogs);
      source.Refresh();
    } catch (const std::exception&) {
    }
    return;
  }

  for (int k = 0; k < kPickerCount; ++k) {
    form.ClearPicker(k);
    form.AppendPicker(k, u"");
  }
  for (const std::u16string& name : names) {
    for (int k = 0; k < kPickerCount; ++k) {
      form.AppendPicker(k, name);
      form.EnablePicker(k);
    }
  }
}

}  // namespace archives
