#include "archives/error_messages.h"

#include <filesystem>
#include <new>

#include "archives/italian_texts.h"
#include "engine/base/error.h"
#include "engine/value/value.h"

namespace archives {
namespace {

bool EndsSentence(std::u16string_view text) {
  return !text.empty() && (text.back() == u'.' || text.back() == u'!' || text.back() == u'?');
}

std::u16string WithFullStop(std::u16string text) {
  if (!EndsSentence(text)) text += u'.';
  return text;
}

// A value quoted in a sentence: a long one (an image path, a description) is cut, since the
// sentence is about the column and the kind of value; the reports carry it whole.
constexpr size_t kQuotedValueLimit = 60;

std::u16string ShortValue(const std::string& value) {
  std::u16string text = engine::FromUtf8(value);
  if (text.size() > kQuotedValueLimit) text = text.substr(0, kQuotedValueLimit - 1) + u"…";
  return text;
}

std::u16string FileNameOf(const std::string& path) {
  return engine::FromUtf8(std::filesystem::path(path).filename().string());
}

}  // namespace

std::u16string ItalianReason(const std::exception& error) {
  const auto* engine_error = dynamic_cast<const engine::Error*>(&error);
  if (!engine_error) {
    return std::u16string(dynamic_cast<const std::bad_alloc*>(&error) ? kOutOfMemory : kUnexpectedError);
  }
  std::u16string text(ReasonText(engine_error->kind()));
  switch (engine_error->kind()) {
    case engine::ErrorKind::InvalidValue:
      if (!engine_error->column().empty()) {
        text = RefusedValueText(engine_error->refusal(), ShortValue(engine_error->value()),
                                engine::FromUtf8(engine_error->column()));
      }
      break;
    case engine::ErrorKind::RuleViolation:
      if (!engine_error->reason().empty()) text = engine::FromUtf8(engine_error->reason());
      break;
    case engine::ErrorKind::OpenInAccess: {
      // A lock file left by Access after a crash keeps the archive closed until removed.
      text += kCloseAccessAdvice;
      const std::filesystem::path lock(engine_error->other_file());
      if (!lock.empty()) {
        text += RemoveLockFileAdvice(engine::FromUtf8(lock.filename().string()));
      }
      break;
    }
    case engine::ErrorKind::JournalUnreadable:
      text = JournalUnreadableReason(FileNameOf(engine_error->other_file()));
      break;
    case engine::ErrorKind::ForeignJournal:
      text = ForeignJournalReason(FileNameOf(engine_error->other_file()));
      break;
    case engine::ErrorKind::NotAJournal:
      text = NotAJournalReason(FileNameOf(engine_error->other_file()));
      break;
    default:
      break;
  }
  return text;
}

std::u16string ItalianSentence(const std::exception& error) {
  std::u16string text = ItalianReason(error);
  if (!text.empty() && text[0] >= u'a' && text[0] <= u'z') text[0] = static_cast<char16_t>(text[0] - u'a' + u'A');
  return WithFullStop(std::move(text));
}

std::u16string CannotOpenArchiveMessage(std::u16string_view path, const std::exception& error) {
  return WithFullStop(CannotOpenArchiveText(path, ItalianReason(error)));
}

std::u16string CannotOpenDestinationMessage(std::u16string_view path, const std::exception& error) {
  return WithFullStop(CannotOpenDestinationText(path, ItalianReason(error)));
}

}  // namespace archives
