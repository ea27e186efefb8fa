// The record sources and the statement the import run gives the destination binding.
#pragma once

#include <string_view>

namespace import {

inline constexpr std::u16string_view kPurgeProbe = u"Select * From Articoli;";
inline constexpr std::u16string_view kPurgeStatement = u"DELETE * From Articoli;";
// An article looked up by its code: kLookupStart + the code as an SQL literal + kLookupEnd.
inline constexpr std::u16string_view kLookupStart = u"Select * From Articoli where [Codice Articolo]='";
inline constexpr std::u16string_view kLookupEnd = u"';";

}  // namespace import
