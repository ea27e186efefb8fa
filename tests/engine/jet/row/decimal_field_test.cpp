// Decimal fields byte for byte: values as Access stored them in fonte-decimali.mdb decode to
// the values of its reference dump, and encode back to the same bytes.
#include <gtest/gtest.h>

#include "engine/jet/row/decimal_field.h"
#include "tools/archivi/dump/dump_format.h"
#include "tests/engine/jet/jet_test_util.h"

using namespace engine;
using namespace engine::jet;

namespace {

std::vector<uint8_t> FromHex(std::string_view hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return bytes;
}

TEST(DecimalField, StoredBytesAndValuesAgreeBothWays) {
  struct Case {
    std::string_view stored;  // the 17 bytes, in hex
    uint8_t scale;
    std::string_view dumped;
  };
  const Case cases[] = {
      {"00" "00000000" "00000000" "00000000" "20f7c202", 4, "4633.168"},
      {"80" "00000000" "00000000" "69305006" "649f2cf1", 6, "-454916793940.352868"},
      {"00" "00000000" "5ece4f20" "6102253e" "ffffff0f", 6, "9999999999999999999999.999999"},
      {"80" "00000000" "5ece4f20" "6102253e" "ffffff0f", 0, "-9999999999999999999999999999"},
      {"00" "00000000" "00000000" "00000000" "00000000", 2, "0"},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> stored = FromHex(c.stored);
    ASSERT_EQ(stored.size(), kDecimalFieldSize);
    const Decimal value = DecodeDecimalField(stored.data(), c.scale);
    EXPECT_EQ(value.scale, c.scale);
    EXPECT_EQ(DumpValue(Value::Numeric(value)), c.dumped);
    std::vector<uint8_t> encoded(kDecimalFieldSize, 0xAA);
    EncodeDecimalField(value, encoded.data());
    EXPECT_EQ(encoded, stored) << c.dumped;
  }
  // A zero that carries a sign is written, and read, as plain zero.
  std::vector<uint8_t> encoded(kDecimalFieldSize);
  EncodeDecimalField(Decimal{true, 2, 0}, encoded.data());
  EXPECT_EQ(encoded[0], 0);
}

}  // namespace
