// Jet's decimal (numeric) type and the exact digit arithmetic that reads and rescales it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace engine {

// A 96-bit magnitude, a sign and a scale (digits after the point).
struct Decimal {
  bool negative = false;
  uint8_t scale = 0;
  unsigned __int128 magnitude = 0;  // below 2^96
  bool operator==(const Decimal&) const = default;
};

// Jet's decimals hold magnitudes below 2^96.
inline constexpr unsigned __int128 kDecimalLimit = static_cast<unsigned __int128>(1) << 96;

// The decimal digits of a 128-bit magnitude, "0" for zero (to_chars has no 128-bit form).
std::string DecimalDigits(unsigned __int128 magnitude);

// digits × 10^exponent (digits: ASCII '0'..'9') with `scale` digits after the point, rounded
// half to even on the digits that go; nothing when the magnitude reaches 2^96.
std::optional<Decimal> DecimalFromDigits(bool negative, std::string_view digits, int64_t exponent, uint8_t scale);

// The same number with `scale` digits after the point, rounded half to even when digits go;
// nothing when the magnitude at that scale reaches 2^96 (Jet's 96-bit limit).
std::optional<Decimal> RescaleDecimal(const Decimal& value, uint8_t scale);

}  // namespace engine
