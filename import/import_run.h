// The import run: what a Toolbar4 button does. "Chiudi" ends the program; any other button
// checks the choices, offers to empty "Articoli", and copies every new article.
#pragma once

#include <string_view>

#include "archives/data_binding.h"
#include "archives/window_interface.h"

namespace import {

void RunImport(std::u16string_view button_key, archives::WindowState& state, archives::FormControls& form,
               archives::Dialogs& dialogs);

}  // namespace import
