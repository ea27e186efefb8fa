// The window's handlers that bind the archives: the destination at start-up, the source
// archive chosen with "Sfoglia", and the columns of the table chosen in Combo2.
#pragma once

#include <exception>
#include <string>
#include <string_view>

#include "archives/data_binding.h"
#include "archives/window_interface.h"

namespace archives {

// The price list beside the program and its table of articles.
inline constexpr std::u16string_view kDestinationFile = u"listini.mdb";
inline constexpr std::u16string_view kDestinationTable = u"Articoli";

// Window load: binds DataDestinazione to listini.mdb in the program's folder, table "Articoli".
void StartupBinding(WindowState& state, Dialogs& dialogs, const std::u16string& program_folder);

// What start-up says when the price list at `path` cannot be opened. When this user may
// not write it (or the disk is read-only), the message says so and what to do about it.
std::u16string StartupFailureMessage(std::u16string_view path, const std::exception& error);

// The end of the program ("Chiudi", or the window closed): closes the destination, which
// saves what was stored in it. Returns the exit status: 0, or 1 once the user has been told
// that the last changes to the price list could not be saved.
int CloseAtEnd(WindowState& state, Dialogs& dialogs);

// A Toolbar1 button: choose the source archive and list its tables in Combo2.
void Browse(WindowState& state, FormControls& form, Dialogs& dialogs);

// An entry of Combo2 clicked: bind that table and fill the seven column pickers.
void DiscoverColumns(WindowState& state, FormControls& form, Dialogs& dialogs);

}  // namespace archives
