#include "import/resume_next.h"

#include "archives/error_messages.h"
#include "engine/error.h"

namespace import {

void ResumeNext::Swallow(const std::exception& failure) {
  ++failures_;
  if (const auto* engine_failure = dynamic_cast<const engine::Error*>(&failure)) {
    last_failure_ = engine_failure->reason();
    if (engine_failure->kind() == engine::ErrorKind::FileChanged) file_changed_ = true;
  } else {
    last_failure_ = failure.what();
  }
  last_failure_in_italian_ = archives::ItalianSentence(failure);
}

}  // namespace import
