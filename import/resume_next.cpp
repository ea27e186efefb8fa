#include "import/resume_next.h"

#include "archives/error_messages.h"
#include "engine/base/error.h"
#include "engine/value/value.h"

namespace import {
namespace {

bool Recurs(engine::ErrorKind kind) {
  switch (kind) {
    case engine::ErrorKind::Locked:
    case engine::ErrorKind::OpenInAccess:
    case engine::ErrorKind::AccessDenied:
    case engine::ErrorKind::ReadOnly:
    case engine::ErrorKind::ReadOnlyFileSystem:
    case engine::ErrorKind::DiskFull:
    case engine::ErrorKind::TooLarge:
    case engine::ErrorKind::Io:
      return true;
    default:
      return false;
  }
}

}  // namespace

void ResumeNext::Swallow(const std::exception& failure) {
  ++failures_;
  last_reason_ = {};
  last_kind_ = engine::ErrorKind::Other;
  last_file_.clear();
  last_failure_recurs_ = false;
  last_failure_in_use_ = false;
  if (const auto* engine_failure = dynamic_cast<const engine::Error*>(&failure)) {
    last_reason_.text = engine_failure->reason();
    last_kind_ = engine_failure->kind();
    last_file_ = engine_failure->file();
    last_reason_.field = engine::FromUtf8(engine_failure->column());
    last_reason_.value = engine::FromUtf8(engine_failure->value());
    // A table's own validation text names neither; the engine's sentences name both.
    last_reason_.names_place =
        !last_reason_.field.empty() && engine_failure->refusal() != engine::Refusal::ValidationText;
    if (engine_failure->kind() == engine::ErrorKind::FileChanged) file_changed_ = true;
    last_failure_recurs_ = Recurs(engine_failure->kind());
    last_failure_in_use_ =
        engine_failure->kind() == engine::ErrorKind::Locked || engine_failure->kind() == engine::ErrorKind::OpenInAccess;
  } else {
    last_reason_.text = failure.what();
  }
  last_reason_.in_italian = archives::ItalianSentence(failure);
}

}  // namespace import
