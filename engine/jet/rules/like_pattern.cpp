// The Like operator of Access expressions: see expression.h.
//
// Every element of a pattern but * stands for exactly one character, so one remembered
// position per * is enough to retry (the usual wildcard walk): time linear in the text
// times the pattern, whatever the pattern.
#include <vector>

#include "engine/text/case_fold.h"
#include "engine/jet/rules/expression.h"

namespace engine::jet {
namespace {

struct Element {
  enum class Kind { AnyRun, AnyOne, Digit, Set, Char } kind = Kind::Char;
  char16_t c = 0;                                   // Char
  std::vector<std::pair<char16_t, char16_t>> ranges;  // Set, folded
  bool negated = false;                              // Set: [!...]
};

std::vector<Element> Compile(std::u16string_view pattern) {
  std::vector<Element> elements;
  for (size_t i = 0; i < pattern.size(); ++i) {
    Element e;
    const char16_t c = pattern[i];
    if (c == u'*') {
      if (!elements.empty() && elements.back().kind == Element::Kind::AnyRun) continue;
      e.kind = Element::Kind::AnyRun;
    } else if (c == u'?') {
      e.kind = Element::Kind::AnyOne;
    } else if (c == u'#') {
      e.kind = Element::Kind::Digit;
    } else if (c == u'[') {
      const size_t close = pattern.find(u']', i + 1);
      if (close == std::u16string_view::npos) throw ExpressionError("a Like pattern opens [ without closing it");
      std::u16string_view set = pattern.substr(i + 1, close - i - 1);
      e.kind = Element::Kind::Set;
      if (!set.empty() && set[0] == u'!') {
        e.negated = true;
        set.remove_prefix(1);
      }
      for (size_t k = 0; k < set.size(); ++k) {
        if (k + 2 < set.size() && set[k + 1] == u'-') {
          e.ranges.push_back({UpperCase(set[k]), UpperCase(set[k + 2])});
          k += 2;
        } else {
          e.ranges.push_back({UpperCase(set[k]), UpperCase(set[k])});
        }
      }
      i = close;
    } else {
      e.c = UpperCase(c);
    }
    elements.push_back(std::move(e));
  }
  return elements;
}

bool MatchesOne(const Element& e, char16_t c) {
  switch (e.kind) {
    case Element::Kind::AnyOne: return true;
    case Element::Kind::Digit: return c >= u'0' && c <= u'9';
    case Element::Kind::Set: {
      const char16_t folded = UpperCase(c);
      bool in = false;
      for (const auto& [low, high] : e.ranges) in = in || (folded >= low && folded <= high);
      return in != e.negated;
    }
    case Element::Kind::Char: return UpperCase(c) == e.c;
    case Element::Kind::AnyRun: break;
  }
  return false;
}

}  // namespace

bool MatchesLike(std::u16string_view text, std::u16string_view pattern) {
  const std::vector<Element> elements = Compile(pattern);
  size_t p = 0, t = 0;
  size_t star = SIZE_MAX, star_text = 0;  // the last * seen and where its run ends now
  while (t < text.size()) {
    if (p < elements.size() && elements[p].kind == Element::Kind::AnyRun) {
      star = p++;
      star_text = t;
    } else if (p < elements.size() && MatchesOne(elements[p], text[t])) {
      ++p;
      ++t;
    } else if (star != SIZE_MAX) {
      p = star + 1;
      t = ++star_text;
    } else {
      return false;
    }
  }
  while (p < elements.size() && elements[p].kind == Element::Kind::AnyRun) ++p;
  return p == elements.size();
}

}  // namespace engine::jet
