// Helpers of the Jet engine's tests: opening fixture databases and copies, counting rows,
// showing bytes, and making awkward key texts.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/jet/database/jet_database.h"
#include "engine/jet/storage/header_page.h"
#include "engine/value/value.h"
#include "tests/support/fixtures.h"

namespace testsupport {

inline std::unique_ptr<engine::Database> OpenFixture(const std::string& relative) {
  return engine::jet::OpenJetDatabase(Fixture(relative), engine::OpenMode::ReadOnly, engine::TextLocale::English());
}

inline std::unique_ptr<engine::Database> OpenForWriting(const std::filesystem::path& file) {
  return engine::jet::OpenJetDatabase(file, engine::OpenMode::ReadWrite, engine::TextLocale::Italian());
}
inline std::unique_ptr<engine::Database> OpenForReading(const std::filesystem::path& file) {
  return engine::jet::OpenJetDatabase(file, engine::OpenMode::ReadOnly, engine::TextLocale::Italian());
}

inline long CountRows(engine::Database& database, const std::u16string& source) {
  auto records = database.OpenRecordset(source);
  if (records->RecordCount() == 0) return 0;
  records->MoveLast();
  return records->RecordCount();
}

// A file's bytes with the header page's change counter zeroed: a change of ours that was
// undone leaves the file so, as every write of ours moves the counter on.
inline std::vector<uint8_t> WithoutChangeCounter(std::vector<uint8_t> bytes) {
  std::fill_n(bytes.begin() + engine::jet::kChangeCounterOffset, 8, uint8_t{0});
  return bytes;
}

// Bytes as lower-case hexadecimal digits, two a byte.
inline std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

// Codes that stress the General sort order: accents, case twins, trailing spaces,
// apostrophes, Greek, punctuation, and long texts sharing prefixes (so leaves split often).
inline std::u16string AwkwardText(int i, size_t max_chars) {
  static const char16_t* kStems[] = {u"ART-", u"art-", u"L'ORO-", u"CAFFÈ ", u"ZUPPA-ß", u"ΑΒΓ-", u"€-PROMO-",
                                     u"Çà-ü ", u"o''neil-", u"  lead", u"ÉCLAIR", u"x"};
  std::u16string text = kStems[i % 12];
  std::string digits = std::to_string(i * 7919 % 100003);
  text += std::u16string(digits.begin(), digits.end());
  if (i % 5 == 0) text += u"   ";  // trailing spaces: same key as without
  if (i % 7 == 0) text += std::u16string(40, static_cast<char16_t>(u'a' + i % 26));
  if (text.size() > max_chars) text.resize(max_chars);
  return text;
}

}  // namespace testsupport
