// The window's handlers that bind the archives: the destination at start-up, the source
// archive chosen with "Sfoglia", and the columns of the table chosen in Combo2.
#pragma once

#include <string>

#include "archives/data_binding.h"
#include "archives/window_interface.h"

namespace archives {

// Window load: binds DataDestinazione to listini.mdb in the program's folder, table "Articoli".
void StartupBinding(WindowState& state, Dialogs& dialogs, const std::u16string& program_folder);

// A Toolbar1 button: choose the source archive and list its tables in Combo2.
void Browse(WindowState& state, FormControls& form, Dialogs& dialogs);

// An entry of Combo2 clicked: bind that table and fill the seven column pickers.
void DiscoverColumns(WindowState& state, FormControls& form, Dialogs& dialogs);

}  // namespace archives
