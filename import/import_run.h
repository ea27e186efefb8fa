// The import run: what a Toolbar4 button does. "Chiudi" ends the program; any other button
// checks the choices, offers to empty "Articoli", and copies every new article.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "archives/data_binding.h"
#include "archives/window_interface.h"
#include "import/report_file.h"

namespace import {

// What one run did, for the window and for the command-line tool. `added`, `failed` and
// `values_not_written` are what the destination holds after the run's last commit.
struct ImportResult {
  bool walked = false;           // the checks passed and the walk over the source began
  long added = 0;                // new articles stored
  long already_present = 0;      // records whose code the destination already held
  long without_code = 0;         // records whose code is Null, passed over
  long failed = 0;               // records not imported because a step failed
  long values_not_written = 0;   // values the added articles were stored without
  long values_changed = 0;       // texts the added articles keep otherwise (Access 97 code pages)
  std::string first_failure;     // the reason of the first loss counted in the two above
  std::u16string first_failure_in_italian;  // the same, as the window tells it
  long first_failure_row = 0;    // where the source holds the record of that loss (0: none)
  std::u16string first_failure_code;        // and its article code
  std::filesystem::path report;  // the report written, when one was
  std::u16string report_failure;  // why the report could not be written, as the window tells it
};

// The Toolbar4 click handler, given the pressed button's key. A press that arrives while a
// run is under way (queued and handled when the run processes pending events) is ignored.
// A run that walks the source writes its report where `report` says.
ImportResult RunImport(std::u16string_view button_key, archives::WindowState& state, archives::FormControls& form,
                       archives::Dialogs& dialogs, const ReportPlace& report = {});

}  // namespace import
