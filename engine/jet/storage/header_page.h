// Page 0 of a Jet file: the engine name at 0x04, the version byte at 0x14, and a region from
// 0x18 (126 bytes in Jet 3, 128 in Jet 4) XORed with a fixed RC4 keystream that holds the
// code page (0x3C), the page encryption key (0x3E), the database password (0x42) and, in
// Jet 4, the default sort order (0x6E) and the creation date (0x72).
//
// Two fields are the engine's own, in bytes every Jet 3 and Jet 4 file leaves zero (past the
// masked region and the version string, well inside a Jet 3 page's 2 KB):
//   0x400  u64 the mark of an open change: the random number its journal also carries
//          (journal_format.h); written before the journal exists, zeroed once it is gone
//   0x408  u64 the change counter (0 in a file we never wrote), moved on by every write of
//          ours to the file: with the mark when it is written and when it is zeroed, so at
//          the start and at the end of each commit, of each long change that spilled, of
//          each rollback that took its mark back and of each recovery. Together with the
//          file's size and modification time it tells a reader coming back whether the file
//          changed through us (start afresh) or behind our back (refuse)
// Nothing else of page 0 is ever written to an existing file.
// Layout: FORMAT.md, "Header page".
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
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
// Writes the header page of a new Jet 3 (Access 97) database (a whole page): code page 1252,
// General sort order, no encryption key, an empty password. Jet 3 keeps no creation date here.
void EncodeJet3HeaderPage(uint8_t* page);

// The page size the version byte at 0x14 names: 2048 for Jet 3, 4096 otherwise (without the
// checks of DecodeHeaderPage).
size_t PageSizeNamedBy(const uint8_t* page);

inline constexpr size_t kJournalMarkOffset = 0x400;
inline constexpr size_t kJournalMarkSize = 8;
// 0x400 + 8: the change counter follows the mark.
inline constexpr size_t kChangeCounterOffset = kJournalMarkOffset + kJournalMarkSize;

// The mark in a header page read whole (at least kHeaderBytesNeeded bytes).
uint64_t JournalMarkIn(const uint8_t* page);
// Writes the mark into the header page of `database` (open read-write as `fd`) with the
// change counter moved on, and syncs both. Throws engine::Error naming `database` when it
// cannot be written. A journal's checksum of the header page is taken after this write, and
// the counter does not move again until the journal is gone (ClearJournalMark): recovery
// finds the page as the journal saw it.
void WriteJournalMark(int fd, uint64_t mark, const std::filesystem::path& database);
// Zeroes the mark and moves the change counter on, synced, once the journal is gone. Never
// throws: the change it ends is already whole, and a mark left behind is harmless, as no
// journal carries it any more (readers then go by the file's size and modification time).
void ClearJournalMark(int fd);

// The database's change counter (0 when it cannot be read).
uint64_t ChangeCounterIn(int fd);

// RC4 keystream XORed into `data` (used for the header mask and for encrypted pages).
void Rc4Apply(const uint8_t* key, size_t key_length, uint8_t* data, size_t length);

}  // namespace engine::jet
