// Helpers of the writer's file-level tests: open a copy for writing, run the integrity check,
// and make awkward key texts.
#pragma once

#include <sys/stat.h>

#include <string>

#include "engine/jet/check/checker.h"
#include "engine/jet/database/jet_database.h"
#include "engine/jet/storage/pager.h"
#include "engine/value.h"
#include "tests/support/fixtures.h"

namespace writer_test {

inline std::unique_ptr<engine::Database> OpenForWriting(const std::filesystem::path& file) {
  return engine::jet::OpenJetDatabase(file, engine::OpenMode::ReadWrite, engine::TextLocale::Italian());
}
inline std::unique_ptr<engine::Database> OpenForReading(const std::filesystem::path& file) {
  return engine::jet::OpenJetDatabase(file, engine::OpenMode::ReadOnly, engine::TextLocale::Italian());
}

// The checker's problems, one a line; empty when the file is sound.
inline std::string CheckProblems(const std::filesystem::path& file) {
  struct stat info {};
  if (stat(file.c_str(), &info) != 0) return "missing file";
  auto pager = engine::jet::Pager::Open(file, engine::OpenMode::ReadOnly);
  const engine::jet::CheckReport report = engine::jet::CheckDatabase(*pager, static_cast<uint64_t>(info.st_size));
  std::string lines;
  for (const std::string& problem : report.problems) lines += problem + "\n";
  return lines;
}

inline long CountRows(engine::Database& database, const std::u16string& source) {
  auto records = database.OpenRecordset(source);
  if (records->RecordCount() == 0) return 0;
  records->MoveLast();
  return records->RecordCount();
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
  if (i % 7 == 0) text += std::u16string(40, u'a' + i % 26);
  if (text.size() > max_chars) text.resize(max_chars);
  return text;
}

}  // namespace writer_test
