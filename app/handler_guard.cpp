#include "app/handler_guard.h"

#include <QString>

#include "archives/error_messages.h"
#include "engine/error.h"

namespace app {

std::u16string FailureReport(const std::exception& failure) {
  std::u16string report = u"Errore di run-time: " + archives::ItalianReason(failure) + u".";
  if (const auto* error = dynamic_cast<const engine::Error*>(&failure); error && !error->file().empty()) {
    report += u"\n\n" + QString::fromUtf8(error->file()).toStdU16String();
  }
  return report;
}

HandlerOutcome RunHandler(archives::Dialogs& dialogs, const std::function<void()>& handler) {
  std::u16string report;
  try {
    handler();
    return HandlerOutcome::Returned;
  } catch (const archives::ProgramEnded&) {
    return HandlerOutcome::ProgramEnded;
  } catch (const std::exception& failure) {
    report = FailureReport(failure);
  } catch (...) {
    report = u"Errore di run-time: errore imprevisto.";
  }
  // Reported outside the catch blocks, so that a Dialogs that ends by throwing ProgramEnded
  // is not throwing from inside a handler of another exception.
  try {
    dialogs.MessageBox(report, archives::MessageStyle::OkOnly);
    dialogs.EndProgram();
  } catch (const archives::ProgramEnded&) {
  }
  return HandlerOutcome::ProgramEnded;
}

}  // namespace app
