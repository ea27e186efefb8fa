// Access expressions as shop owners write them in their price lists' rules and defaults,
// grouped by form, each evaluated as Jet would on a record.
#include <gtest/gtest.h>

#include <map>

#include "engine/jet/rules/expression.h"

namespace {

using engine::Value;
using engine::jet::Expression;
using engine::jet::ExpressionContext;
using engine::jet::ExpressionError;
using engine::jet::ExpressionUse;

enum class Outcome { True, False, Null };

// 7 December 2026, 15:30: "today" for Date(), Now() and Time().
engine::Date Day(int year, int month, int day) { return engine::FromCivil({year, month, day}); }
engine::Date RunTime() { return engine::FromCivil({2026, 12, 7, 15, 30, 0, 0}); }

struct RuleCase {
  ExpressionUse use;
  std::u16string rule;
  Value column;                             // the column a column rule is about
  std::map<std::u16string, Value> fields;   // the record, for table rules
  Outcome expected;
};

Outcome Run(const RuleCase& c) {
  ExpressionContext context;
  context.this_column = c.column;
  context.now = RunTime();
  context.locale = engine::TextLocale::Italian();
  context.field = [&](std::u16string_view name) -> const Value* {
    auto found = c.fields.find(std::u16string(name));
    return found == c.fields.end() ? nullptr : &found->second;
  };
  const std::optional<bool> result = Expression::Parse(c.rule, c.use).Test(context);
  return !result ? Outcome::Null : *result ? Outcome::True : Outcome::False;
}

void ExpectAll(const std::vector<RuleCase>& cases) {
  for (const RuleCase& c : cases) {
    EXPECT_EQ(Run(c), c.expected) << engine::ToUtf8(c.rule) << " on " << engine::ToUtf8(c.column.ToText(engine::TextLocale::English()));
  }
}

constexpr auto kColumn = ExpressionUse::ColumnRule;
constexpr auto kTable = ExpressionUse::TableRule;
const Value kNull = Value::Null();
Value T(const char16_t* text) { return Value::Text(text); }
Value N(double number) { return Value::Double(number); }
Value Money(int64_t units) { return Value::Money({units * 10000}); }

TEST(Expression, Comparisons) {
  ExpectAll({
      {kColumn, u">=0", Money(12), {}, Outcome::True},
      {kColumn, u">=0", Money(-1), {}, Outcome::False},
      {kColumn, u">=0", kNull, {}, Outcome::Null},
      {kColumn, u"<>0", Value::Integer(0), {}, Outcome::False},
      {kColumn, u"< 1000", N(999.99), {}, Outcome::True},
      {kColumn, u"<>\"\"", T(u""), {}, Outcome::False},
      {kColumn, u"=\"PZ\"", T(u"pz "), {}, Outcome::True},  // no case, no trailing spaces
      {kColumn, u"<=Date()", Value::DateTime(Day(2026, 12, 7)), {}, Outcome::True},
      {kColumn, u">#1/31/2026#", Value::DateTime(Day(2026, 2, 1)), {}, Outcome::True},
      {kColumn, u">-5", T(u"3,5"), {}, Outcome::True},  // a text read as a number, in the locale
      {kTable, u"[Prezzo 2]<=[Prezzo]", {}, {{u"Prezzo", Money(10)}, {u"Prezzo 2", Money(12)}}, Outcome::False},
      {kTable, u"[Fine] >= [Inizio]", {}, {{u"Inizio", Value::DateTime(Day(2026, 1, 1))}, {u"Fine", kNull}}, Outcome::Null},
  });
}

TEST(Expression, BetweenAndIn) {
  ExpectAll({
      {kColumn, u"Between 1 And 100", Value::Integer(100), {}, Outcome::True},
      {kColumn, u"Between 1 And 100", Value::Integer(0), {}, Outcome::False},
      {kColumn, u"Not Between 1 And 5", Value::Integer(3), {}, Outcome::False},
      {kColumn, u"Between #1/1/2000# And Date()", Value::DateTime(Day(2027, 1, 1)), {}, Outcome::False},
      {kColumn, u"In (\"S\",\"M\",\"L\")", T(u"m"), {}, Outcome::True},
      {kColumn, u"In (\"S\",\"M\",\"L\")", T(u"XL"), {}, Outcome::False},
      {kColumn, u"Not In (0, 99)", Value::Integer(99), {}, Outcome::False},
      {kTable, u"[Aliquota] In (4, 10, 22)", {}, {{u"Aliquota", Value::Integer(22)}}, Outcome::True},
  });
}

TEST(Expression, Like) {
  ExpectAll({
      {kColumn, u"Like \"ART-####\"", T(u"art-0042"), {}, Outcome::True},
      {kColumn, u"Like \"ART-####\"", T(u"ART-42"), {}, Outcome::False},
      {kColumn, u"Like \"[A-C]*\"", T(u"banana"), {}, Outcome::True},
      {kColumn, u"Like \"[A-C]*\"", T(u"dado"), {}, Outcome::False},
      {kColumn, u"Like \"[!0-9]*\"", T(u"9 lune"), {}, Outcome::False},
      {kColumn, u"Like \"?ia*\"", T(u"Ciao"), {}, Outcome::True},
      {kColumn, u"Like \"*.jpg\"", T(u"C:\\FOTO\\A.JPG"), {}, Outcome::True},
      {kColumn, u"Not Like \"* *\"", T(u"due parole"), {}, Outcome::False},
      {kColumn, u"Like \"*a*a*a*b\"", T(u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaac"), {}, Outcome::False},
      {kTable, u"LCase([Email]) Like \"*@*.it\"", {}, {{u"Email", T(u"Negozio@Esempio.IT")}}, Outcome::True},
  });
}

TEST(Expression, NullsAndLogic) {
  ExpectAll({
      {kColumn, u"Is Not Null", kNull, {}, Outcome::False},
      {kColumn, u"Is Null Or >0", kNull, {}, Outcome::True},
      {kColumn, u">=0 And <=100", Value::Integer(101), {}, Outcome::False},
      {kColumn, u">0 And <10", kNull, {}, Outcome::Null},
      {kColumn, u"\"S\" Or \"N\"", T(u"n"), {}, Outcome::True},  // each value compared with the column
      {kColumn, u"Not \"X\"", T(u"Y"), {}, Outcome::True},
      {kColumn, u"(>=0 And <=10) Or =99", Value::Integer(99), {}, Outcome::True},
      {kTable, u"[Sconto] Is Null Or ([Sconto] > 0 And [Prezzo] > 0)", {}, {{u"Sconto", N(5)}, {u"Prezzo", N(0)}}, Outcome::False},
  });
}

TEST(Expression, Functions) {
  ExpectAll({
      {kTable, u"Len([Codice Articolo])<=10", {}, {{u"Codice Articolo", T(u"PR-0001")}}, Outcome::True},
      {kTable, u"Left([Codice],3)=\"ART\" And Right([Codice],2)<>\"00\"", {}, {{u"Codice", T(u"ART-0100")}}, Outcome::False},
      {kTable, u"Mid([Codice],4,1)=\"-\"", {}, {{u"Codice", T(u"ART-1")}}, Outcome::True},
      {kTable, u"Len(Trim([Nome]))>0", {}, {{u"Nome", T(u"   ")}}, Outcome::False},
      {kColumn, u"Like UCase(\"pr\") & \"*\"", T(u"PR-1"), {}, Outcome::True},
      {kColumn, u">=Now()", Value::DateTime(Day(2026, 12, 7)), {}, Outcome::False},
  });
}

TEST(Expression, DefaultValues) {
  struct DefaultCase {
    std::u16string text;
    Value expected;
  };
  const std::vector<DefaultCase> cases = {
      {u"0", Value::Integer(0)},
      {u"\"Generale\"", T(u"Generale")},
      {u"'Interno'", T(u"Interno")},
      {u"=Date()", Value::DateTime(Day(2026, 12, 7))},
      {u"Date()+30", Value::DateTime(Day(2027, 1, 6))},
      {u"=Now()", Value::DateTime(RunTime())},
      {u"Time()", Value::DateTime({RunTime().days - Day(2026, 12, 7).days})},
      {u"#12/25/2026#", Value::DateTime(Day(2026, 12, 25))},
      {u"True", Value::Flag(true)},
      {u"No", Value::Flag(false)},
      {u"Null", kNull},
      {u"=1.5*2-0.5", N(2.5)},
      {u"-5", Value::Integer(-5)},
      {u"\"Cod-\" & 1", T(u"Cod-1")},
  };
  ExpressionContext context;
  context.now = RunTime();
  for (const DefaultCase& c : cases) {
    EXPECT_EQ(Expression::Parse(c.text, ExpressionUse::DefaultValue).Evaluate(context), c.expected) << engine::ToUtf8(c.text);
  }
}

TEST(Expression, TextsThatAreNotExpressionsAreRefused) {
  for (const std::u16string& text : std::vector<std::u16string>{u"", u">=", u"Between 1", u"In (1,2", u">0 Xor <5", u"IIf([a]>0,1,2)", u"\"aperto", u"#31/31/2026#",
        u">0 Prezzo", u"[Prezzo", u"Is Not 0", std::u16string(300, u'(') + u"1" + std::u16string(300, u')')}) {
    EXPECT_THROW(Expression::Parse(text, ExpressionUse::ColumnRule), ExpressionError) << engine::ToUtf8(text);
  }
}

}  // namespace
