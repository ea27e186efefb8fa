// Format texts come from FORMAT records (a 2-byte format number and the text); XF records
// name a format number at offset 2. Date serials are IEEE doubles from NUMBER, RK and
// FORMULA records.
#include "engine/excel/cell_formats.h"

namespace engine::excel {

bool IsBuiltInDateFormat(uint16_t index) {
  // 14-22: Western dates and times; 45-47: minutes and seconds; 27-36 and 50-58: the
  // East Asian date formats; 71-81: the Thai ones.
  return (index >= 14 && index <= 22) || (index >= 27 && index <= 36) || (index >= 45 && index <= 47) ||
         (index >= 50 && index <= 58) || (index >= 71 && index <= 81);
}

bool IsDateFormatText(std::u16string_view format) {
  bool date_code = false;
  bool digit_code = false;
  for (size_t i = 0; i < format.size(); ++i) {
    char16_t c = format[i];
    if (c == u';') break;  // the first section decides (the others are for negatives, zero, text)
    switch (c) {
      case u'"': {
        size_t close = format.find(u'"', i + 1);
        i = close == std::u16string_view::npos ? format.size() : close;
        break;
      }
      case u'\\':
      case u'_':
      case u'*':
        ++i;  // the next character is shown or used as padding, not a code
        break;
      case u'[': {
        size_t close = format.find(u']', i + 1);
        std::u16string_view inside =
            format.substr(i + 1, close == std::u16string_view::npos ? std::u16string_view::npos : close - i - 1);
        // [h], [mm], [ss]: elapsed time. Anything else is a colour, condition or locale.
        if (!inside.empty() && inside.find_first_not_of(u"hHmMsS") == std::u16string_view::npos) date_code = true;
        i = close == std::u16string_view::npos ? format.size() : close;
        break;
      }
      case u'#':
      case u'?':
        digit_code = true;
        break;
      case u'd': case u'D': case u'm': case u'M': case u'y': case u'Y':
      case u'h': case u'H': case u's': case u'S':
        date_code = true;
        break;
      default:
        break;
    }
  }
  return date_code && !digit_code;
}

Date SerialToDate(double serial, bool date1904) {
  constexpr double kDays1904 = 1462;  // 1904-01-01 counted from 1899-12-30
  if (serial >= 0 && serial < 1) return Date{serial};
  if (date1904) return Date{serial + kDays1904};
  // Excel's serial 1 is 1900-01-01, which is Jet's day 2; from serial 61 (1900-03-01) on
  // the two agree because Excel's phantom 29 February makes up the difference.
  if (serial < 61) return Date{serial + 1};
  return Date{serial};
}

}  // namespace engine::excel
