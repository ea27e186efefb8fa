// Jet's 96-bit decimals: see decimal.h.
#include "engine/value/decimal.h"

#include <algorithm>
#include <charconv>

namespace engine {

std::string DecimalDigits(unsigned __int128 m) {
  constexpr uint64_t kChunk = 10'000'000'000'000'000'000ull;  // 19 digits at a time
  std::string digits;
  do {
    char part[24];
    const uint64_t low = static_cast<uint64_t>(m % kChunk);
    m /= kChunk;
    std::string text(part, std::to_chars(part, part + sizeof part, low).ptr);
    if (m != 0) text.insert(0, 19 - text.size(), '0');
    digits.insert(0, text);
  } while (m != 0);
  return digits;
}

std::optional<Decimal> DecimalFromDigits(bool negative, std::string_view digits, int64_t exponent, uint8_t scale) {
  const int64_t shift = exponent + scale;  // the scaled magnitude is digits × 10^shift
  const int64_t size = static_cast<int64_t>(digits.size());
  // Every digit below a tenth of the last unit kept: under a half, so a zero.
  if (size + shift < 0) return Decimal{false, scale, 0};
  const size_t keep = static_cast<size_t>(std::min<int64_t>(size + std::min<int64_t>(shift, 0), size));
  unsigned __int128 v = 0;
  for (size_t i = 0; i < keep; ++i) {
    v = v * 10 + static_cast<unsigned>(digits[i] - '0');
    if (v >= kDecimalLimit) return std::nullopt;
  }
  for (int64_t i = 0; i < shift && v != 0; ++i) {
    v *= 10;
    if (v >= kDecimalLimit) return std::nullopt;
  }
  if (keep < digits.size()) {
    const char first = digits[keep];
    const bool rest_nonzero = digits.substr(keep + 1).find_first_not_of('0') != std::string_view::npos;
    if (first > '5' || (first == '5' && (rest_nonzero || v % 2 == 1))) ++v;
    if (v >= kDecimalLimit) return std::nullopt;
  }
  return Decimal{negative && v != 0, scale, v};
}

std::optional<Decimal> RescaleDecimal(const Decimal& value, uint8_t scale) {
  if (value.scale == scale) return value.magnitude < kDecimalLimit ? std::optional<Decimal>(value) : std::nullopt;
  return DecimalFromDigits(value.negative, DecimalDigits(value.magnitude), -static_cast<int64_t>(value.scale), scale);
}

}  // namespace engine
