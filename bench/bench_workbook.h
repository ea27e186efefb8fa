// The workbook the reading benchmarks share: a 60,000-row sheet "Listino" of five columns
// (code and description texts, a price, a date, a quantity), as a price list exported from a
// shop program would be. Written with the tests' BIFF8 writer, in a compound file of 512-byte
// sectors (as Excel writes them, and the only size xlrd reads) or 4096-byte ones.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "tests/support/xls_writer.h"

namespace bench {

constexpr int kWorkbookRows = 60000;
constexpr int kWorkbookColumns = 5;

inline void WriteBenchWorkbook(const std::filesystem::path& file, int sector_shift) {
  testsupport::WorkbookWriter w;
  size_t s = w.AddSheet(u"Listino");
  const char16_t* headers[] = {u"Codice", u"Descrizione", u"Prezzo", u"Data", u"Quantita"};
  for (int c = 0; c < kWorkbookColumns; ++c) w.Text(s, 0, c, headers[c]);
  for (int r = 1; r <= kWorkbookRows; ++r) {
    std::string code = "ART-" + std::to_string(100000 + r);
    std::string description = "Articolo numero " + std::to_string(r) + " del listino";
    w.Text(s, r, 0, std::u16string(code.begin(), code.end()));
    w.Text(s, r, 1, std::u16string(description.begin(), description.end()));
    w.Number(s, r, 2, r * 0.37);
    w.Date(s, r, 3, 40000 + r % 5000);
    w.Rk(s, r, 4, (static_cast<uint32_t>(r % 1000) << 2) | 0x2);
  }
  w.Save(file, sector_shift);
}

}  // namespace bench
