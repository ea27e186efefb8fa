#include "app/handler_guard.h"

#include <QString>

#include "app/italian_texts.h"
#include "archives/error_messages.h"
#include "archives/italian_texts.h"
#include "engine/base/error.h"

namespace app {

std::u16string FailureReport(const std::exception& failure) {
  std::u16string report = RunTimeErrorText(archives::ItalianReason(failure));
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
    report = RunTimeErrorText(archives::kUnexpectedError);
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
