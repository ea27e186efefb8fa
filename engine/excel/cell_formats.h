// Which cells hold dates: Excel stores a date as a plain number (days since its day zero)
// and only the number format of the cell's XF (extended format) record says it is a date.
// Layout: FORMAT.md, layer "cell types".
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/value/value.h"

namespace engine::excel {

// True for the built-in format numbers that show dates or times (used when the workbook
// does not define the format itself).
bool IsBuiltInDateFormat(uint16_t format_index);

// True when a format text shows a date or time: it has day, month, year, hour or second
// codes outside quoted text, escapes and [brackets], and no digit placeholders (# ?) that
// would make it a number format. Elapsed-time codes such as [h] count as time.
bool IsDateFormatText(std::u16string_view format);

// An Excel date serial number as a Jet date. In the 1900 system Excel counts 1900-02-29,
// a day that never was, so serials before 61 are one day late; serials below 1 are times
// of day and stay on Jet's day zero. The 1904 system starts 1,462 days later.
Date SerialToDate(double serial, bool date1904);

}  // namespace engine::excel
