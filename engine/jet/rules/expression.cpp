// Evaluating Access expressions: see expression.h.
//
// Null propagates as in Access: an operator or function with a Null operand gives Null,
// except &, Is Null, And with a False side and Or with a True side.
#include "engine/jet/rules/expression.h"

#include <cmath>

#include "engine/text/case_fold.h"
#include "engine/jet/index/sort_key.h"

namespace engine::jet {
namespace {

using Node = ExpressionNode;

constexpr size_t kMaxExpressionLength = 4096;  // Access allows 2,048 characters in a rule

[[noreturn]] void Fail(const std::string& reason) { throw ExpressionError(reason); }

bool IsNumeric(const Value& v) {
  switch (v.type()) {
    case Value::Type::Integer:
    case Value::Type::Currency:
    case Value::Type::Single:
    case Value::Type::Double:
    case Value::Type::Decimal:
    case Value::Type::Date:
    case Value::Type::Flag: return true;
    default: return false;
  }
}

double AsNumber(const Value& v, const ExpressionContext& context) {
  switch (v.type()) {
    case Value::Type::Integer: return static_cast<double>(v.integer());
    case Value::Type::Currency: return static_cast<double>(v.currency().ten_thousandths) / 10000.0;
    case Value::Type::Single: return v.single();
    case Value::Type::Double: return v.dbl();
    case Value::Type::Decimal: {
      const double magnitude = static_cast<double>(v.decimal().magnitude) / std::pow(10.0, v.decimal().scale);
      return v.decimal().negative ? -magnitude : magnitude;
    }
    case Value::Type::Date: return v.date().days;
    case Value::Type::Flag: return v.flag() ? -1.0 : 0.0;  // Access's True is -1
    case Value::Type::Text:
      if (auto number = ParseNumber(v.text(), context.locale)) return *number;
      if (auto date = ParseDate(v.text(), context.locale)) return date->days;
      Fail("\"" + ToUtf8(v.text()) + "\" is not a number");
    default: Fail("a value that is not a number is used as one");
  }
}

std::u16string AsText(const Value& v, const ExpressionContext& context) { return v.ToText(context.locale); }

// Texts compare by their General sort keys, as Jet's = and < do: no case, no trailing spaces.
int CompareTexts(std::u16string_view a, std::u16string_view b) {
  std::string key_a, key_b;
  AppendTextKey(a, true, &key_a);
  AppendTextKey(b, true, &key_b);
  return key_a < key_b ? -1 : key_a == key_b ? 0 : 1;
}

// Both operands not Null.
int Compare(const Value& a, const Value& b, const ExpressionContext& context) {
  if (a.type() == Value::Type::Text && b.type() == Value::Type::Text) return CompareTexts(a.text(), b.text());
  if ((IsNumeric(a) || a.type() == Value::Type::Text) && (IsNumeric(b) || b.type() == Value::Type::Text)) {
    const double x = AsNumber(a, context), y = AsNumber(b, context);
    return x < y ? -1 : x > y ? 1 : 0;
  }
  if (a == b) return 0;
  Fail("values of these kinds cannot be compared");
}

std::optional<bool> AsCondition(const Value& v, const ExpressionContext& context) {
  if (v.is_null()) return std::nullopt;
  if (v.type() == Value::Type::Flag) return v.flag();
  if (v.type() == Value::Type::Text) {
    if (auto flag = ParseFlag(v.text(), context.locale)) return *flag;
    Fail("\"" + ToUtf8(v.text()) + "\" is not True or False");
  }
  return AsNumber(v, context) != 0;
}

Value NumberValue(double number) {
  if (!std::isfinite(number)) Fail("a calculation overflows");
  return Value::Double(number);
}

Value Arithmetic(char16_t op, const Value& a, const Value& b, const ExpressionContext& context) {
  if (op == u'&') {
    if (a.is_null() && b.is_null()) return Value::Null();
    return Value::Text(AsText(a, context) + AsText(b, context));
  }
  if (a.is_null() || b.is_null()) return Value::Null();
  if (op == u'+' && a.type() == Value::Type::Text && b.type() == Value::Type::Text) {
    return Value::Text(a.text() + b.text());
  }
  const bool date_a = a.type() == Value::Type::Date, date_b = b.type() == Value::Type::Date;
  if (a.type() == Value::Type::Integer && b.type() == Value::Type::Integer && op != u'/') {
    // Whole numbers stay whole while they fit comfortably.
    const int64_t x = a.integer(), y = b.integer();
    if (std::llabs(x) < (1LL << 31) && std::llabs(y) < (1LL << 31)) {
      return Value::Integer(op == u'+' ? x + y : op == u'-' ? x - y : x * y);
    }
  }
  const double x = AsNumber(a, context), y = AsNumber(b, context);
  switch (op) {
    case u'+':
      if (date_a != date_b) return Value::DateTime(Date{x + y});
      return NumberValue(x + y);
    case u'-':
      if (date_a && !date_b) return Value::DateTime(Date{x - y});
      return NumberValue(x - y);
    case u'*': return NumberValue(x * y);
    case u'/':
      if (y == 0) Fail("division by zero");
      return NumberValue(x / y);
  }
  Fail("unknown operator");
}

int64_t AsCount(const Value& v, const ExpressionContext& context) {
  const double number = AsNumber(v, context);
  if (number < 0 || number > 1e9) Fail("a length or position out of range");
  return static_cast<int64_t>(std::llround(number));
}

class Evaluator {
 public:
  explicit Evaluator(const ExpressionContext& context) : context_(context) {}

  Value Eval(const Node& node) const {
    switch (node.kind) {
      case Node::Kind::Literal: return node.value;
      case Node::Kind::ThisColumn: return context_.this_column;
      case Node::Kind::Field: {
        const Value* value = context_.field ? context_.field(node.name) : nullptr;
        if (!value) Fail("there is no field [" + ToUtf8(node.name) + "]");
        return *value;
      }
      case Node::Kind::Function: return Function(node);
      case Node::Kind::Negate: {
        const Value v = Eval(*node.operands[0]);
        if (v.is_null()) return v;
        if (v.type() == Value::Type::Integer) return Value::Integer(-v.integer());
        if (v.type() == Value::Type::Date) return Value::DateTime(Date{-v.date().days});
        return NumberValue(-AsNumber(v, context_));
      }
      case Node::Kind::Not: {
        const std::optional<bool> v = Condition(*node.operands[0]);
        return v ? Value::Flag(!*v) : Value::Null();
      }
      case Node::Kind::And: {
        const std::optional<bool> a = Condition(*node.operands[0]);
        if (a == false) return Value::Flag(false);
        const std::optional<bool> b = Condition(*node.operands[1]);
        if (b == false) return Value::Flag(false);
        return a && b ? Value::Flag(true) : Value::Null();
      }
      case Node::Kind::Or: {
        const std::optional<bool> a = Condition(*node.operands[0]);
        if (a == true) return Value::Flag(true);
        const std::optional<bool> b = Condition(*node.operands[1]);
        if (b == true) return Value::Flag(true);
        return a && b ? Value::Flag(false) : Value::Null();
      }
      case Node::Kind::Arithmetic:
        return Arithmetic(node.op, Eval(*node.operands[0]), Eval(*node.operands[1]), context_);
      case Node::Kind::Compare: {
        const Value a = Eval(*node.operands[0]), b = Eval(*node.operands[1]);
        if (a.is_null() || b.is_null()) return Value::Null();
        const int order = Compare(a, b, context_);
        switch (node.op) {
          case u'=': return Value::Flag(order == 0);
          case u'<': return Value::Flag(order < 0);
          case u'>': return Value::Flag(order > 0);
          case u'l': return Value::Flag(order <= 0);
          case u'g': return Value::Flag(order >= 0);
          default: return Value::Flag(order != 0);
        }
      }
      case Node::Kind::Like: {
        const Value text = Eval(*node.operands[0]), pattern = Eval(*node.operands[1]);
        if (text.is_null() || pattern.is_null()) return Value::Null();
        return Value::Flag(MatchesLike(AsText(text, context_), AsText(pattern, context_)) != node.negated);
      }
      case Node::Kind::Between: {
        const Value v = Eval(*node.operands[0]), low = Eval(*node.operands[1]), high = Eval(*node.operands[2]);
        if (v.is_null() || low.is_null() || high.is_null()) return Value::Null();
        const bool inside = Compare(v, low, context_) >= 0 && Compare(v, high, context_) <= 0;
        return Value::Flag(inside != node.negated);
      }
      case Node::Kind::In: {
        const Value v = Eval(*node.operands[0]);
        if (v.is_null()) return v;
        bool saw_null = false;
        for (size_t i = 1; i < node.operands.size(); ++i) {
          const Value item = Eval(*node.operands[i]);
          if (item.is_null()) {
            saw_null = true;
          } else if (Compare(v, item, context_) == 0) {
            return Value::Flag(!node.negated);
          }
        }
        return saw_null ? Value::Null() : Value::Flag(node.negated);
      }
      case Node::Kind::IsNull: return Value::Flag(Eval(*node.operands[0]).is_null() != node.negated);
    }
    Fail("unknown expression");
  }

  std::optional<bool> Condition(const Node& node) const { return AsCondition(Eval(node), context_); }

 private:
  Value Function(const Node& node) const {
    const double now = context_.now.days;
    switch (node.function) {
      case Node::Function::Date: return Value::DateTime(Date{std::floor(now)});
      case Node::Function::Now: return Value::DateTime(context_.now);
      case Node::Function::Time: return Value::DateTime(Date{now - std::floor(now)});
      default: break;
    }
    std::vector<Value> arguments;
    for (const auto& operand : node.operands) {
      arguments.push_back(Eval(*operand));
      if (arguments.back().is_null()) return Value::Null();
    }
    const std::u16string text = AsText(arguments[0], context_);
    auto trimmed = [&](bool left, bool right) {
      size_t begin = 0, end = text.size();
      while (left && begin < end && text[begin] == u' ') ++begin;
      while (right && end > begin && text[end - 1] == u' ') --end;
      return Value::Text(text.substr(begin, end - begin));
    };
    switch (node.function) {
      case Node::Function::Len: return Value::Integer(static_cast<int64_t>(text.size()));
      case Node::Function::Left:
        return Value::Text(text.substr(0, static_cast<size_t>(std::min<int64_t>(AsCount(arguments[1], context_), text.size()))));
      case Node::Function::Right: {
        const size_t count = static_cast<size_t>(std::min<int64_t>(AsCount(arguments[1], context_), text.size()));
        return Value::Text(text.substr(text.size() - count));
      }
      case Node::Function::Mid: {
        const int64_t start = AsCount(arguments[1], context_);
        if (start < 1) Fail("Mid starts at position 1 or later");
        if (static_cast<size_t>(start) > text.size()) return Value::Text(u"");
        const size_t count = arguments.size() > 2 ? static_cast<size_t>(AsCount(arguments[2], context_)) : text.size();
        return Value::Text(text.substr(static_cast<size_t>(start - 1), count));
      }
      case Node::Function::Trim: return trimmed(true, true);
      case Node::Function::LTrim: return trimmed(true, false);
      case Node::Function::RTrim: return trimmed(false, true);
      case Node::Function::UCase: {
        std::u16string upper = text;
        for (char16_t& c : upper) c = UpperCase(c);
        return Value::Text(upper);
      }
      case Node::Function::LCase: {
        std::u16string lower = text;
        for (char16_t& c : lower) c = LowerCase(c);
        return Value::Text(lower);
      }
      default: break;
    }
    Fail("unknown function");
  }

  const ExpressionContext& context_;
};

bool Contains(const Node& node, bool fields) {
  if (node.kind == Node::Kind::Function &&
      (node.function == Node::Function::Date || node.function == Node::Function::Now || node.function == Node::Function::Time)) {
    return true;
  }
  if (fields && (node.kind == Node::Kind::Field || node.kind == Node::Kind::ThisColumn)) return true;
  for (const auto& operand : node.operands) {
    if (Contains(*operand, fields)) return true;
  }
  return false;
}

}  // namespace

bool Expression::UsesClock() const { return Contains(*root_, false); }
bool Expression::IsConstant() const { return !Contains(*root_, true); }

Expression Expression::Parse(std::u16string_view text, ExpressionUse use) {
  if (text.size() > kMaxExpressionLength) Fail("the expression is too long");
  Expression expression;
  expression.text_ = text;
  expression.root_ = ParseExpressionTree(text, use);
  return expression;
}

Value Expression::Evaluate(const ExpressionContext& context) const { return Evaluator(context).Eval(*root_); }

std::optional<bool> Expression::Test(const ExpressionContext& context) const {
  return Evaluator(context).Condition(*root_);
}

}  // namespace engine::jet
