// Engine failures explained to the user in Italian (the texts are in italian_texts.h).
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace archives {

// A short Italian reason for a failure, from its kind alone, with what to do where the kind
// calls for it: "il disco è pieno". The engine's English detail is never shown here (it is
// `archivi`'s output); a record refused by a rule gives its own text, already the user's.
std::u16string ItalianReason(const std::exception& error);

// The reason as a sentence of its own, for the end of a message: "Il disco è pieno."
std::u16string ItalianSentence(const std::exception& error);

// "Impossibile aprire l'archivio <path>: <reason>." and its destination variant.
std::u16string CannotOpenArchiveMessage(std::u16string_view path, const std::exception& error);
std::u16string CannotOpenDestinationMessage(std::u16string_view path, const std::exception& error);

}  // namespace archives
