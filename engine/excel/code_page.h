// 8-bit text in BIFF5 workbooks (sheet names, cell texts) is in the Windows code page named
// by the CODEPAGE record; BIFF8 stores text as UTF-16 or Latin-1 and needs none of this.
// Layout: FORMAT.md, layer "code pages".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace engine::excel {

// Decodes bytes of the given Windows code page (1252 when unknown). Bytes that have no
// character in it become U+FFFD.
std::u16string DecodeCodePage(std::string_view bytes, uint16_t code_page);

}  // namespace engine::excel
