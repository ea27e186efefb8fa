// A page's number in the file: page n is the bytes at n * page_size. Stored as a u32 (a TDEF's
// next page, a usage map's bitmap pages, an index page's child, sibling and tail pointers) or
// in three bytes (row pointers, row ids); page 0 is the header page, so a stored 0 means
// "no page". Layout: FORMAT.md, "The file and its pages".
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <type_traits>

#include "engine/base/bytes.h"

namespace engine::jet {

// A type of its own so that a page cannot be passed where a row number, a count or a byte
// offset is expected, nor the other way round. It compiles to a plain u32.
class PageNumber {
 public:
  constexpr PageNumber() = default;
  constexpr explicit PageNumber(uint32_t value) : value_(value) {}

  constexpr uint32_t value() const { return value_; }
  // A stored pointer of 0: no page (page 0 is the header, never pointed at).
  constexpr bool is_none() const { return value_ == 0; }

  friend constexpr bool operator==(PageNumber, PageNumber) = default;
  friend constexpr auto operator<=>(PageNumber, PageNumber) = default;

 private:
  uint32_t value_ = 0;
};

// Free on the read path: passed and stored exactly as the u32 it wraps.
static_assert(sizeof(PageNumber) == sizeof(uint32_t) && std::is_trivially_copyable_v<PageNumber>);

inline constexpr PageNumber kNoPage{};

// The number in decimal, for messages (and for tests' output).
inline std::string to_string(PageNumber page) { return std::to_string(page.value()); }
std::ostream& operator<<(std::ostream& out, PageNumber page);

// Where the page starts in the file.
inline constexpr uint64_t FileOffset(PageNumber page, size_t page_size) { return uint64_t{page.value()} * page_size; }

// A page number stored as a little-endian u32.
inline PageNumber GetPageNumber(const uint8_t* p) { return PageNumber(GetU32(p)); }
inline void PutPageNumber(uint8_t* p, PageNumber page) { PutU32(p, page.value()); }

}  // namespace engine::jet

template <>
struct std::hash<engine::jet::PageNumber> {
  size_t operator()(engine::jet::PageNumber page) const noexcept { return std::hash<uint32_t>()(page.value()); }
};
