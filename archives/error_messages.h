// Engine failures explained to the user in Italian.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace archives {

// A short Italian reason for a failure: what kind of problem it is, with the engine's own
// words in parentheses when they add detail.
std::u16string ItalianReason(const std::exception& error);

// "Impossibile aprire l'archivio <path>: <reason>." and its destination variant.
std::u16string CannotOpenArchiveMessage(std::u16string_view path, const std::exception& error);
std::u16string CannotOpenDestinationMessage(std::u16string_view path, const std::exception& error);

// A journal found beside an archive that was not its own: it was renamed, never applied.
std::u16string JournalSetAsideMessage(std::u16string_view archive, std::u16string_view set_aside_as);

}  // namespace archives
