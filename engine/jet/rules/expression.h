// Access expressions as users write them in a column's DefaultValue and in column and table
// ValidationRules: parsed once into a tree, evaluated for each record.
//
// What is understood: numbers, "texts" and 'texts', #dates#, True/False/Yes/No/On/Off/Null,
// [Field] and bare field names, + - * / & with parentheses, comparisons (= <> < <= > >=),
// Between ... And ..., In (...), Like with * ? # [...] [!...], Is [Not] Null, Not, And, Or,
// and the functions Len, Left, Right, Mid, Trim, LTrim, RTrim, UCase, LCase, Date, Now, Time.
// Texts compare as Jet compares them: letter case and trailing spaces do not count.
// Anything else is a parse error, so that a rule is never half understood.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text/text_locale.h"
#include "engine/value/value.h"

namespace engine::jet {

enum class ExpressionUse {
  DefaultValue,  // a value; a leading '=' is allowed
  ColumnRule,    // a condition on one column, whose value stands in where an operand is
                 // missing: ">=0", "Between 1 And 9", "Like \"A*\"", "\"S\" Or \"M\"" (= "S" or "M")
  TableRule,     // a condition over the record's fields
};

// A text that is not an expression of the kinds above, or an evaluation that fails (a type
// mismatch, a division by zero, a field the record lacks).
class ExpressionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What an expression reads while it is evaluated.
struct ExpressionContext {
  Value this_column;  // ColumnRule: the column's value
  // The value of the named field, or nullptr when the record has no such field.
  std::function<const Value*(std::u16string_view name)> field;
  Date now;  // local date and time, for Date(), Now() and Time()
  TextLocale locale = TextLocale::English();  // texts read as numbers or dates
};

struct ExpressionNode;

class Expression {
 public:
  // Throws ExpressionError with a reason in English.
  static Expression Parse(std::u16string_view text, ExpressionUse use);

  // The value; throws ExpressionError.
  Value Evaluate(const ExpressionContext& context) const;
  // A condition's outcome: true, false, or nothing for Null. Throws ExpressionError when the
  // value is not a condition.
  std::optional<bool> Test(const ExpressionContext& context) const;

  const std::u16string& text() const { return text_; }
  // True when it calls Date(), Now() or Time().
  bool UsesClock() const;
  // True when it reads neither the clock nor any field: its value never changes.
  bool IsConstant() const;

 private:
  std::u16string text_;
  std::shared_ptr<const ExpressionNode> root_;
};

// The tree the parser builds and the evaluator walks.
struct ExpressionNode {
  enum class Kind {
    Literal,     // value
    Field,       // name
    ThisColumn,  // the column a ColumnRule is about
    Function,    // function, arguments
    Negate,      // -a
    Not,         // Not a
    And,
    Or,
    Arithmetic,  // op: + - * / &
    Compare,     // op: = < > and 'l' (<=), 'g' (>=), 'n' (<>)
    Like,        // a Like b; negated for Not Like
    Between,     // a Between b And c; negated for Not Between
    In,          // a In (b, c, ...); negated for Not In
    IsNull,      // a Is Null; negated for Is Not Null
  };
  enum class Function { Len, Left, Right, Mid, Trim, LTrim, RTrim, UCase, LCase, Date, Now, Time };

  Kind kind = Kind::Literal;
  char16_t op = 0;
  bool negated = false;
  Function function = Function::Len;
  Value value;
  std::u16string name;
  std::vector<std::unique_ptr<ExpressionNode>> operands;
};

// The parser's entry point (expression_parser.cpp); Expression::Parse wraps it.
std::unique_ptr<ExpressionNode> ParseExpressionTree(std::u16string_view text, ExpressionUse use);

// Like matching (like_pattern.cpp): * any run, ? one character, # one digit, [abc], [a-z],
// [!abc]; letter case does not count. Throws ExpressionError for a "[" without its "]".
bool MatchesLike(std::u16string_view text, std::u16string_view pattern);

}  // namespace engine::jet
