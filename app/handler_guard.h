// Runs one event handler for the window. The binding handlers do not handle their own
// failures: a failure that escapes a handler is reported in a message box and ends the
// program, as the platform's own error report would. No exception ever crosses Qt's event
// dispatch.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "archives/window_interface.h"

namespace app {

// The Italian text of the report for a failure that escaped a handler.
std::u16string FailureReport(const std::exception& failure);

enum class HandlerOutcome { Returned, ProgramEnded };

// Runs `handler`. A failure is reported through `dialogs` (OK only) and ends the program
// through `dialogs`. ProgramEnded, thrown by a Dialogs that cannot exit the process, is
// caught and returned as ProgramEnded so the window can close itself.
HandlerOutcome RunHandler(archives::Dialogs& dialogs, const std::function<void()>& handler);

}  // namespace app
