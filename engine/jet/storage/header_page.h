// Page 0 of a Jet file: the engine name at 0x04, the version byte at 0x14, and a region from
// 0x18 (126 bytes in Jet 3, 128 in Jet 4) XORed with a fixed RC4 keystream that holds the
// code page (0x3C), the page encryption key (0x3E), the database password (0x42) and, in
// Jet 4, the default sort order (0x6E) and the creation date (0x72).
// Layout: FORMAT.md, "Header page".
#pragma once

#include <cstdint>
#include <string>

#include "engine/jet/format/format.h"

namespace engine::jet {

struct HeaderPage {
  const JetFormat* format = nullptr;
  uint16_t code_page = 1252;
  uint16_t sort_order = 0x0409;  // LCID
  uint8_t sort_version = 0;
  uint32_t encoding_key = 0;     // non-zero: every page but 0 is RC4-encrypted
  bool has_password = false;
};

// Page size of the smaller format: enough bytes to decode the header of either version.
inline constexpr size_t kHeaderBytesNeeded = 2048;

// Decodes the first page (at least kHeaderBytesNeeded bytes). Throws engine::Error naming
// `file` for anything that is not a Jet 3 or Jet 4 database, including ACE (.accdb) files.
HeaderPage DecodeHeaderPage(const uint8_t* page, size_t size, const std::string& file);

// Writes the header page of a new Jet 4 database (a whole page): code page 1252, no
// encryption key, an empty password, General sort order, the given creation date (Jet days).
void EncodeJet4HeaderPage(uint8_t* page, double creation_days);

// RC4 keystream XORed into `data` (used for the header mask and for encrypted pages).
void Rc4Apply(const uint8_t* key, size_t key_length, uint8_t* data, size_t length);

}  // namespace engine::jet
