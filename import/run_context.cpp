#include "import/run_context.h"

#include <string>

#include "archives/handlers.h"
#include "engine/base/error.h"
#include "engine/text/utf.h"
#include "import/italian_texts.h"

namespace import {

void RunContext::Show(std::u16string_view text, archives::MessageStyle style) {
  steps.Run([&] { dialogs.MessageBox(text, style); });
}

std::optional<engine::Database::StoredRecords> RunContext::DestinationCounts() {
  return steps.Get([&] { return destination.Database().stored_records(); });
}

bool RunContext::DestinationDamaged() {
  if (steps.last_kind() != engine::ErrorKind::Damaged) return false;
  const std::string file = steps.last_file();
  return steps.Get([&] { return destination.Database().path().string() == file; }).value_or(false);
}

std::u16string RunContext::DamagedDestinationText(long saved) {
  const std::u16string path =
      steps.Get([&] { return engine::FromUtf8(destination.Database().path().string()); }).value_or(u"");
  return DamagedPriceListText(path, archives::kDestinationTable, saved);
}

}  // namespace import
