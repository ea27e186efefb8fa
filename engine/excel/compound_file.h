// The OLE2 compound file ("structured storage") that holds an .xls workbook: a 512-byte
// header, then sectors of 512 or 4096 bytes chained through the FAT (sector allocation
// table), a directory of 128-byte entries, and a mini stream of 64-byte sectors for
// streams under 4096 bytes. Only reading one top-level stream is needed here.
// Layout: FORMAT.md, layer "container".
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace engine::excel {

// True when the bytes start with the compound-file signature D0 CF 11 E0 A1 B1 1A E1.
bool HasCompoundFileSignature(std::span<const uint8_t> file);

// The content of the top-level stream with one of the given names (compared without regard
// to ASCII letter case), or nothing when the file has no such stream. Throws engine::Error
// (without a file name) when the container is damaged: sector numbers outside the file,
// chains that loop or end early, a directory that does not hold together.
std::optional<std::vector<uint8_t>> ReadTopLevelStream(std::span<const uint8_t> file,
                                                       std::initializer_list<std::u16string_view> names);

}  // namespace engine::excel
