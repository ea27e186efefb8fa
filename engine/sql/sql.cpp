#include "engine/sql/sql.h"

#include <utility>

#include "engine/base/error.h"
#include "engine/value/value.h"

namespace engine {
namespace {

// A tiny cursor over the statement text.
class Scanner {
 public:
  explicit Scanner(std::u16string_view text) : text_(text) {}

  void SkipSpaces() {
    while (pos_ < text_.size() && (text_[pos_] == u' ' || text_[pos_] == u'\t' || text_[pos_] == u'\r' ||
                                   text_[pos_] == u'\n')) {
      ++pos_;
    }
  }
  bool AtEnd() {
    SkipSpaces();
    return pos_ == text_.size();
  }
  // Consumes a keyword (ASCII, any letter case) followed by a non-name character.
  bool Keyword(std::u16string_view word) {
    SkipSpaces();
    if (text_.size() - pos_ < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
      char16_t c = text_[pos_ + i];
      if (c >= u'a' && c <= u'z') c -= 32;
      if (c != word[i]) return false;
    }
    size_t after = pos_ + word.size();
    if (after < text_.size() && IsNameChar(text_[after])) return false;
    pos_ = after;
    return true;
  }
  bool Symbol(char16_t c) {
    SkipSpaces();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  // A name: [anything but ']'] or a run of letters, digits, '_' and other non-space,
  // non-punctuation characters.
  std::optional<std::u16string> Name() {
    SkipSpaces();
    if (pos_ < text_.size() && text_[pos_] == u'[') {
      size_t close = text_.find(u']', pos_ + 1);
      if (close == std::u16string_view::npos || close == pos_ + 1) return std::nullopt;
      std::u16string name(text_.substr(pos_ + 1, close - pos_ - 1));
      pos_ = close + 1;
      return name;
    }
    size_t start = pos_;
    while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
    if (pos_ == start) return std::nullopt;
    return std::u16string(text_.substr(start, pos_ - start));
  }
  // A string literal in apostrophes, with '' standing for one apostrophe.
  // The import asks for one record by its code this way per source record, so the text
  // between apostrophes is copied a run at a time, not character by character.
  std::optional<std::u16string> Literal() {
    SkipSpaces();
    if (pos_ >= text_.size() || text_[pos_] != u'\'') return std::nullopt;
    std::u16string value;
    for (size_t i = pos_ + 1;;) {
      const size_t quote = text_.find(u'\'', i);
      if (quote == std::u16string_view::npos) return std::nullopt;
      value.append(text_.substr(i, quote - i));
      if (quote + 1 < text_.size() && text_[quote + 1] == u'\'') {
        value += u'\'';
        i = quote + 2;
      } else {
        pos_ = quote + 1;
        return value;
      }
    }
  }

 private:
  // A switch, not a search of a string of stops: it runs for every character of every name.
  static bool IsNameChar(char16_t c) {
    switch (c) {
      case u' ': case u'\t': case u'\r': case u'\n':
      case u';': case u'[': case u']': case u'\'': case u'=': case u'*': case u',': case u'(': case u')':
        return false;
      default:
        return true;
    }
  }

  std::u16string_view text_;
  size_t pos_ = 0;
};

[[noreturn]] void Refuse(std::u16string_view statement) {
  throw Error("", "unsupported SQL statement: " + ToUtf8(statement), ErrorKind::Unsupported);
}

void ExpectEnd(Scanner& scanner, std::u16string_view statement) {
  scanner.Symbol(u';');
  if (!scanner.AtEnd()) Refuse(statement);
}

}  // namespace

SelectStatement ParseRecordSource(std::u16string_view source) {
  Scanner scanner(source);
  SelectStatement result;
  if (!scanner.Keyword(u"SELECT")) {
    // A bare table name, possibly with spaces (as a record source may be "Listino 2024").
    std::u16string_view name = source;
    while (!name.empty() && name.front() == u' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == u' ') name.remove_suffix(1);
    if (name.size() >= 2 && name.front() == u'[' && name.back() == u']') name = name.substr(1, name.size() - 2);
    if (name.empty()) throw Error("", "empty record source", ErrorKind::Unsupported);
    result.table = std::u16string(name);
    return result;
  }
  if (!scanner.Symbol(u'*') || !scanner.Keyword(u"FROM")) Refuse(source);
  auto table = scanner.Name();
  if (!table) Refuse(source);
  result.table = std::move(*table);
  if (scanner.Keyword(u"WHERE")) {
    auto column = scanner.Name();
    if (!column || !scanner.Symbol(u'=')) Refuse(source);
    auto literal = scanner.Literal();
    if (!literal) Refuse(source);
    result.where_column = std::move(*column);
    result.where_literal = std::move(*literal);
  }
  ExpectEnd(scanner, source);
  return result;
}

DeleteAllStatement ParseDeleteAll(std::u16string_view statement) {
  Scanner scanner(statement);
  if (!scanner.Keyword(u"DELETE")) Refuse(statement);
  scanner.Symbol(u'*');
  if (!scanner.Keyword(u"FROM")) Refuse(statement);
  auto table = scanner.Name();
  if (!table) Refuse(statement);
  ExpectEnd(scanner, statement);
  return DeleteAllStatement{std::move(*table)};
}

}  // namespace engine
