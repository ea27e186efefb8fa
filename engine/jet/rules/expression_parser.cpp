// Parsing Access expressions into ExpressionNode trees: see expression.h.
//
// Precedence, loosest first, as Access has it: Or, And, Not, the comparisons (with Like,
// Between, In, Is), &, + and -, * and /, unary minus. In a column rule an operator without
// a left operand takes the column's value, and an operand of Not/And/Or (or the whole rule)
// that is a plain value is compared with the column for equality.
#include <charconv>
#include <cmath>

#include "engine/text/case_fold.h"
#include "engine/jet/rules/expression.h"

namespace engine::jet {
namespace {

using Node = ExpressionNode;
using NodePtr = std::unique_ptr<Node>;

enum class TokenKind { End, Number, Text, Date, Name, Word, Symbol };

struct Token {
  TokenKind kind = TokenKind::End;
  std::u16string text;  // Word, Name, Text, Date, Symbol ("<=", "(", ...)
  double number = 0;
  bool integral = false;
};

bool IsWordChar(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' || c >= 0x80;
}

[[noreturn]] void Fail(const std::string& reason) { throw ExpressionError(reason); }

class Tokenizer {
 public:
  explicit Tokenizer(std::u16string_view text) : text_(text) {}

  Token Next() {
    while (at_ < text_.size() && (text_[at_] == u' ' || text_[at_] == u'\t' || text_[at_] == u'\r' || text_[at_] == u'\n')) {
      ++at_;
    }
    Token token;
    if (at_ >= text_.size()) return token;
    const char16_t c = text_[at_];
    if ((c >= u'0' && c <= u'9') || (c == u'.' && at_ + 1 < text_.size() && text_[at_ + 1] >= u'0' && text_[at_ + 1] <= u'9')) {
      return ReadNumber();
    }
    if (c == u'"' || c == u'\'') return ReadQuoted(c, TokenKind::Text);
    if (c == u'#') return ReadDelimited(u'#', TokenKind::Date, "a date opens # without closing it");
    if (c == u'[') return ReadDelimited(u']', TokenKind::Name, "a field name opens [ without closing it");
    if (IsWordChar(c)) {
      token.kind = TokenKind::Word;
      while (at_ < text_.size() && IsWordChar(text_[at_])) token.text += text_[at_++];
      return token;
    }
    token.kind = TokenKind::Symbol;
    token.text = c;
    ++at_;
    if (at_ < text_.size() && ((c == u'<' && (text_[at_] == u'=' || text_[at_] == u'>')) || (c == u'>' && text_[at_] == u'='))) {
      token.text += text_[at_++];
    }
    static constexpr std::u16string_view kSymbols = u"=<>+-*/&(),";
    if (token.text.size() == 1 && kSymbols.find(c) == std::u16string_view::npos) {
      Fail("the character '" + ToUtf8(token.text) + "' has no meaning in an expression");
    }
    return token;
  }

 private:
  Token ReadNumber() {
    Token token;
    token.kind = TokenKind::Number;
    const size_t start = at_;
    auto digits = [&] {
      while (at_ < text_.size() && text_[at_] >= u'0' && text_[at_] <= u'9') ++at_;
    };
    digits();
    bool fraction = false;
    if (at_ < text_.size() && text_[at_] == u'.') {
      fraction = true;
      ++at_;
      digits();
    }
    if (at_ < text_.size() && (text_[at_] == u'e' || text_[at_] == u'E')) {
      size_t mark = at_ + 1;
      if (mark < text_.size() && (text_[mark] == u'+' || text_[mark] == u'-')) ++mark;
      if (mark < text_.size() && text_[mark] >= u'0' && text_[mark] <= u'9') {
        fraction = true;
        at_ = mark;
        digits();
      }
    }
    // A file's rules read the same on every desktop: never the C library's locale, whose
    // decimal separator may be a comma.
    const std::string literal = ToUtf8(text_.substr(start, at_ - start));
    std::from_chars(literal.data(), literal.data() + literal.size(), token.number);
    token.integral = !fraction && std::fabs(token.number) < 9.0e15;
    return token;
  }

  // "..." or '...', the quote doubled inside.
  Token ReadQuoted(char16_t quote, TokenKind kind) {
    Token token;
    token.kind = kind;
    ++at_;
    while (true) {
      if (at_ >= text_.size()) Fail("a text opens a quote without closing it");
      if (text_[at_] == quote) {
        if (at_ + 1 < text_.size() && text_[at_ + 1] == quote) {
          token.text += quote;
          at_ += 2;
          continue;
        }
        ++at_;
        return token;
      }
      token.text += text_[at_++];
    }
  }

  Token ReadDelimited(char16_t close, TokenKind kind, const char* unclosed) {
    Token token;
    token.kind = kind;
    const size_t end = text_.find(close, at_ + 1);
    if (end == std::u16string_view::npos) Fail(unclosed);
    token.text = text_.substr(at_ + 1, end - at_ - 1);
    at_ = end + 1;
    return token;
  }

  std::u16string_view text_;
  size_t at_ = 0;
};

struct FunctionInfo {
  std::u16string_view name;
  Node::Function function;
  int min_arguments, max_arguments;
};

constexpr FunctionInfo kFunctions[] = {
    {u"Len", Node::Function::Len, 1, 1},     {u"Left", Node::Function::Left, 2, 2},
    {u"Right", Node::Function::Right, 2, 2}, {u"Mid", Node::Function::Mid, 2, 3},
    {u"Trim", Node::Function::Trim, 1, 1},   {u"LTrim", Node::Function::LTrim, 1, 1},
    {u"RTrim", Node::Function::RTrim, 1, 1}, {u"UCase", Node::Function::UCase, 1, 1},
    {u"LCase", Node::Function::LCase, 1, 1}, {u"Date", Node::Function::Date, 0, 0},
    {u"Now", Node::Function::Now, 0, 0},     {u"Time", Node::Function::Time, 0, 0},
};

bool IsCondition(const Node& node) {
  switch (node.kind) {
    case Node::Kind::Not:
    case Node::Kind::And:
    case Node::Kind::Or:
    case Node::Kind::Compare:
    case Node::Kind::Like:
    case Node::Kind::Between:
    case Node::Kind::In:
    case Node::Kind::IsNull: return true;
    default: return false;
  }
}

NodePtr MakeNode(Node::Kind kind, char16_t op = 0) {
  auto node = std::make_unique<Node>();
  node->kind = kind;
  node->op = op;
  return node;
}

NodePtr Binary(Node::Kind kind, char16_t op, NodePtr left, NodePtr right) {
  NodePtr node = MakeNode(kind, op);
  node->operands.push_back(std::move(left));
  node->operands.push_back(std::move(right));
  return node;
}

class Parser {
 public:
  Parser(std::u16string_view text, ExpressionUse use) : tokens_(text), use_(use) { Advance(); }

  NodePtr ParseAll() {
    if (use_ == ExpressionUse::DefaultValue && IsSymbol(u"=")) Advance();
    if (token_.kind == TokenKind::End) Fail("the expression is empty");
    NodePtr root = ParseOr();
    if (token_.kind != TokenKind::End) Fail("unexpected \"" + ToUtf8(token_.text) + "\"");
    if (use_ == ExpressionUse::ColumnRule) root = AsCondition(std::move(root));
    return root;
  }

 private:
  void Advance() { token_ = tokens_.Next(); }
  bool IsSymbol(std::u16string_view symbol) const { return token_.kind == TokenKind::Symbol && token_.text == symbol; }
  bool IsWord(std::u16string_view word) const { return token_.kind == TokenKind::Word && SameName(token_.text, word); }
  void Expect(std::u16string_view symbol) {
    if (!IsSymbol(symbol)) Fail("\"" + ToUtf8(symbol) + "\" expected");
    Advance();
  }

  // Column rules: a plain value where a condition stands means "the column equals it".
  NodePtr AsCondition(NodePtr node) {
    if (node->kind == Node::Kind::Not || node->kind == Node::Kind::And || node->kind == Node::Kind::Or) {
      for (NodePtr& operand : node->operands) operand = AsCondition(std::move(operand));
      return node;
    }
    if (IsCondition(*node)) return node;
    return Binary(Node::Kind::Compare, u'=', MakeNode(Node::Kind::ThisColumn), std::move(node));
  }

  // Nesting is bounded so that no text can run the parser (or, later, the evaluator) out of stack.
  class Depth {
   public:
    explicit Depth(int& depth) : depth_(depth) {
      if (++depth_ > kMaxDepth) Fail("the expression is nested too deeply");
    }
    ~Depth() { --depth_; }

   private:
    static constexpr int kMaxDepth = 100;
    int& depth_;
  };

  NodePtr ParseOr() {
    Depth depth(depth_);
    NodePtr left = ParseAnd();
    while (IsWord(u"Or")) {
      Advance();
      left = Binary(Node::Kind::Or, 0, std::move(left), ParseAnd());
    }
    return left;
  }

  NodePtr ParseAnd() {
    NodePtr left = ParseNot();
    while (IsWord(u"And")) {
      Advance();
      left = Binary(Node::Kind::And, 0, std::move(left), ParseNot());
    }
    return left;
  }

  NodePtr ParseNot() {
    if (!IsWord(u"Not")) return ParsePredicate();
    Depth depth(depth_);
    Advance();
    NodePtr node = MakeNode(Node::Kind::Not);
    node->operands.push_back(ParseNot());
    return node;
  }

  bool AtComparison() const {
    return token_.kind == TokenKind::Symbol &&
           (token_.text == u"=" || token_.text == u"<" || token_.text == u">" || token_.text == u"<=" ||
            token_.text == u">=" || token_.text == u"<>");
  }
  bool AtPredicateWord() const { return IsWord(u"Like") || IsWord(u"Between") || IsWord(u"In") || IsWord(u"Is"); }

  NodePtr ParsePredicate() {
    NodePtr left;
    if (use_ == ExpressionUse::ColumnRule && (AtComparison() || AtPredicateWord())) {
      left = MakeNode(Node::Kind::ThisColumn);
    } else {
      left = ParseConcat();
    }
    if (AtComparison()) {
      char16_t op = token_.text[0];
      if (token_.text == u"<=") op = u'l';
      if (token_.text == u">=") op = u'g';
      if (token_.text == u"<>") op = u'n';
      Advance();
      return Binary(Node::Kind::Compare, op, std::move(left), ParseConcat());
    }
    if (IsWord(u"Is")) {
      Advance();
      NodePtr node = MakeNode(Node::Kind::IsNull);
      if (IsWord(u"Not")) {
        node->negated = true;
        Advance();
      }
      if (!IsWord(u"Null")) Fail("\"Null\" expected after \"Is\"");
      Advance();
      node->operands.push_back(std::move(left));
      return node;
    }
    bool negated = false;
    if (IsWord(u"Not")) {
      Advance();
      negated = true;
      if (!(IsWord(u"Like") || IsWord(u"Between") || IsWord(u"In"))) Fail("\"Like\", \"Between\" or \"In\" expected after \"Not\"");
    }
    NodePtr node;
    if (IsWord(u"Like")) {
      Advance();
      node = Binary(Node::Kind::Like, 0, std::move(left), ParseConcat());
    } else if (IsWord(u"Between")) {
      Advance();
      node = Binary(Node::Kind::Between, 0, std::move(left), ParseConcat());
      if (!IsWord(u"And")) Fail("\"And\" expected in \"Between\"");
      Advance();
      node->operands.push_back(ParseConcat());
    } else if (IsWord(u"In")) {
      Advance();
      Expect(u"(");
      node = MakeNode(Node::Kind::In);
      node->operands.push_back(std::move(left));
      do {
        node->operands.push_back(ParseConcat());
      } while (IsSymbol(u",") && (Advance(), true));
      Expect(u")");
    } else {
      return left;
    }
    node->negated = negated;
    return node;
  }

  NodePtr ParseConcat() {
    NodePtr left = ParseAdditive();
    while (IsSymbol(u"&")) {
      Advance();
      left = Binary(Node::Kind::Arithmetic, u'&', std::move(left), ParseAdditive());
    }
    return left;
  }

  NodePtr ParseAdditive() {
    NodePtr left = ParseMultiplicative();
    while (IsSymbol(u"+") || IsSymbol(u"-")) {
      const char16_t op = token_.text[0];
      Advance();
      left = Binary(Node::Kind::Arithmetic, op, std::move(left), ParseMultiplicative());
    }
    return left;
  }

  NodePtr ParseMultiplicative() {
    NodePtr left = ParseUnary();
    while (IsSymbol(u"*") || IsSymbol(u"/")) {
      const char16_t op = token_.text[0];
      Advance();
      left = Binary(Node::Kind::Arithmetic, op, std::move(left), ParseUnary());
    }
    return left;
  }

  NodePtr ParseUnary() {
    if (IsSymbol(u"+")) {
      Depth depth(depth_);
      Advance();
      return ParseUnary();
    }
    if (IsSymbol(u"-")) {
      Depth depth(depth_);
      Advance();
      NodePtr node = MakeNode(Node::Kind::Negate);
      node->operands.push_back(ParseUnary());
      return node;
    }
    return ParsePrimary();
  }

  NodePtr ParseFunction(const FunctionInfo& info) {
    NodePtr node = MakeNode(Node::Kind::Function);
    node->function = info.function;
    node->name = info.name;
    if (IsSymbol(u"(")) {
      Advance();
      if (!IsSymbol(u")")) {
        do {
          node->operands.push_back(ParseArgument());
        } while (IsSymbol(u",") && (Advance(), true));
      }
      Expect(u")");
    }
    const int count = static_cast<int>(node->operands.size());
    if (count < info.min_arguments || count > info.max_arguments) {
      Fail(ToUtf8(info.name) + " takes " + std::to_string(info.min_arguments) +
           (info.max_arguments != info.min_arguments ? " to " + std::to_string(info.max_arguments) : "") +
           " arguments");
    }
    return node;
  }

  // Function arguments are plain values: no column stands in for a missing operand there.
  NodePtr ParseArgument() {
    const ExpressionUse saved = use_;
    use_ = ExpressionUse::TableRule;
    NodePtr argument = ParseOr();
    use_ = saved;
    return argument;
  }

  NodePtr ParsePrimary() {
    NodePtr node;
    switch (token_.kind) {
      case TokenKind::End: Fail("the expression ends too soon");
      case TokenKind::Number:
        node = MakeNode(Node::Kind::Literal);
        node->value = token_.integral ? Value::Integer(static_cast<int64_t>(token_.number)) : Value::Double(token_.number);
        Advance();
        return node;
      case TokenKind::Text:
        node = MakeNode(Node::Kind::Literal);
        node->value = Value::Text(token_.text);
        Advance();
        return node;
      case TokenKind::Date: {
        // Dates between # are written the American way (or as yyyy-mm-dd), whatever the locale.
        std::optional<Date> date = ParseDate(token_.text, TextLocale::English());
        if (!date) {
          TextLocale iso = TextLocale::English();
          iso.date_order = TextLocale::DateOrder::YearMonthDay;
          iso.date_separator = u'-';
          date = ParseDate(token_.text, iso);
        }
        if (!date) Fail("#" + ToUtf8(token_.text) + "# is not a date");
        node = MakeNode(Node::Kind::Literal);
        node->value = Value::DateTime(*date);
        Advance();
        return node;
      }
      case TokenKind::Name:
        node = MakeNode(Node::Kind::Field);
        node->name = token_.text;
        Advance();
        return node;
      case TokenKind::Symbol:
        if (IsSymbol(u"(")) {
          Advance();
          node = ParseOr();
          Expect(u")");
          return node;
        }
        Fail("unexpected \"" + ToUtf8(token_.text) + "\"");
      case TokenKind::Word: break;
    }
    struct Constant {
      std::u16string_view word;
      Value value;
    };
    const Constant constants[] = {{u"True", Value::Flag(true)},  {u"Yes", Value::Flag(true)},
                                  {u"On", Value::Flag(true)},    {u"False", Value::Flag(false)},
                                  {u"No", Value::Flag(false)},   {u"Off", Value::Flag(false)},
                                  {u"Null", Value::Null()}};
    for (const Constant& constant : constants) {
      if (!IsWord(constant.word)) continue;
      Advance();
      node = MakeNode(Node::Kind::Literal);
      node->value = constant.value;
      return node;
    }
    for (const FunctionInfo& info : kFunctions) {
      if (!IsWord(info.name)) continue;
      Advance();
      return ParseFunction(info);
    }
    static constexpr std::u16string_view kKeywords[] = {u"And", u"Or", u"Not", u"Like", u"Between", u"In", u"Is"};
    for (std::u16string_view keyword : kKeywords) {
      if (IsWord(keyword)) Fail("unexpected \"" + ToUtf8(token_.text) + "\"");
    }
    const std::u16string word = token_.text;
    Advance();
    if (IsSymbol(u"(")) Fail("the function " + ToUtf8(word) + " is not known");
    node = MakeNode(Node::Kind::Field);
    node->name = word;
    return node;
  }

  Tokenizer tokens_;
  ExpressionUse use_;
  Token token_;
  int depth_ = 0;
};

}  // namespace

std::unique_ptr<ExpressionNode> ParseExpressionTree(std::u16string_view text, ExpressionUse use) {
  return Parser(text, use).ParseAll();
}

}  // namespace engine::jet
