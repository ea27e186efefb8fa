#include "engine/text/text_locale.h"

#include <cstdlib>
#include <string_view>

namespace engine {

TextLocale TextLocale::Italian() {
  TextLocale locale;
  locale.decimal_separator = u',';
  locale.thousands_separator = u'.';
  locale.date_order = DateOrder::DayMonthYear;
  locale.true_text = u"Vero";
  locale.false_text = u"Falso";
  return locale;
}

TextLocale TextLocale::English() { return TextLocale(); }

TextLocale TextLocale::FromEnvironment() {
  for (const char* name : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) {
      return std::string_view(value).starts_with("it") ? Italian() : English();
    }
  }
  return English();
}

}  // namespace engine
