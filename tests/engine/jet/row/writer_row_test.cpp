// Values converted for their columns, rows laid out byte for byte as Access lays them out,
// and rows placed on data pages.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "engine/base/error.h"
#include "engine/jet/page/data_page_writer.h"
#include "tools/archivi/dump/dump_format.h"
#include "engine/jet/page/long_value_writer.h"
#include "engine/jet/row/row_encoder.h"
#include "engine/jet/row/row_frame.h"
#include "engine/jet/row/value_conversion.h"
#include "tests/engine/jet/jet_test_util.h"
#include "tests/support/test_page_store.h"

using namespace engine;
using namespace engine::jet;

namespace {

ColumnDefinition Column(ColumnType type, uint16_t number, uint16_t length = 0, bool fixed = true) {
  ColumnDefinition column;
  column.name = u"C" + std::u16string(1, static_cast<char16_t>(u'0' + number));
  column.type = type;
  column.number = number;
  column.length = length;
  column.flags = fixed ? 0x03 : 0x02;
  return column;
}

using testsupport::Hex;

}  // namespace

TEST(WriterValueConversion, TextsBecomeTheColumnsTypeThroughTheLocale) {
  const TextLocale italian = TextLocale::Italian();
  EXPECT_EQ(ConvertForColumn(Column(ColumnType::Money, 1, 8), Value::Text(u"12,34565"), italian),
            Value::Money(Currency{123456}));  // half to even at the fourth decimal
  EXPECT_EQ(ConvertForColumn(Column(ColumnType::Money, 1, 8), Value::Double(0.30000000000000004), italian),
            Value::Money(Currency{3000}));
  EXPECT_EQ(ConvertForColumn(Column(ColumnType::Long, 1, 4), Value::Text(u" 1.234 "), italian), Value::Integer(1234));
  EXPECT_EQ(ConvertForColumn(Column(ColumnType::Integer, 1, 2), Value::Double(2.5), italian), Value::Integer(2));
  EXPECT_EQ(ConvertForColumn(Column(ColumnType::Boolean, 1), Value::Text(u"vero"), italian), Value::Flag(true));
  EXPECT_EQ(ConvertForColumn(Column(ColumnType::Text, 1, 100), Value::Double(12.5), italian), Value::Text(u"12,5"));
  const Value date = ConvertForColumn(Column(ColumnType::DateTime, 1, 8), Value::Text(u"21/09/1974"), italian);
  EXPECT_EQ(date.type(), Value::Type::Date);
  EXPECT_EQ(date.ToText(italian), u"21/09/1974");
  // A number's text form goes back to the same number.
  for (double v : {0.1, -1234.5678, 1e-7, 3.0e15}) {
    const Value text = Value::Text(Value::Double(v).ToText(italian));
    EXPECT_EQ(ConvertForColumn(Column(ColumnType::Double, 1, 8), text, italian).dbl(), ParseNumber(text.text(), italian));
  }
  EXPECT_TRUE(ConvertForColumn(Column(ColumnType::Text, 1, 100), Value::Null(), italian).is_null());
}

TEST(WriterValueConversion, RefusalsNameTheColumnAndTheProblem) {
  const TextLocale italian = TextLocale::Italian();
  auto reason = [&](const ColumnDefinition& column, const Value& value) -> std::string {
    try {
      ConvertForColumn(column, value, italian);
    } catch (const Error& error) {
      return error.reason();
    }
    return "accepted";
  };
  EXPECT_NE(reason(Column(ColumnType::Text, 1, 10), Value::Text(u"sei caratteri")).find("at most 5"), std::string::npos);
  EXPECT_EQ(reason(Column(ColumnType::Text, 1, 10), Value::Text(u"dieci")), "accepted");
  EXPECT_NE(reason(Column(ColumnType::Money, 1, 8), Value::Text(u"dodici")).find("not an amount"), std::string::npos);
  EXPECT_NE(reason(Column(ColumnType::Byte, 1, 1), Value::Integer(256)).find("out of range"), std::string::npos);
  EXPECT_NE(reason(Column(ColumnType::Integer, 1, 2), Value::Text(u"40000")).find("out of range"), std::string::npos);
  EXPECT_NE(reason(Column(ColumnType::Long, 1, 4), Value::Double(3e9)).find("out of range"), std::string::npos);
  EXPECT_NE(reason(Column(ColumnType::DateTime, 1, 8), Value::Text(u"31/02/2020")).find("not a date"), std::string::npos);
  EXPECT_NE(reason(Column(ColumnType::Money, 1, 8), Value::Text(u"99999999999999999")).find("out of range"), std::string::npos);
  EXPECT_NE(reason(Column(ColumnType::Text, 3, 10), Value::Text(u"troppo lungo")).find("\"C3\""), std::string::npos);
}

// Any value goes into a decimal column at the column's scale, half to even, exactly; one
// beyond the column's precision is refused as an invalid value, with the column's limits.
TEST(WriterValueConversion, DecimalsTakeTheColumnsScaleAndPrecision) {
  const TextLocale italian = TextLocale::Italian();
  auto decimal = [](uint8_t precision, uint8_t scale) {
    ColumnDefinition column = Column(ColumnType::Numeric, 1, 17);
    column.precision = precision;
    column.scale = scale;
    return column;
  };
  struct Case {
    ColumnDefinition column;
    Value value;
    std::string stored;  // the dump form; or the start of the refusal, after "refused: "
  };
  const Case cases[] = {
      {decimal(18, 4), Value::Text(u"391,3134"), "391.3134"},
      {decimal(5, 2), Value::Text(u"12,345"), "12.34"},
      {decimal(5, 2), Value::Text(u"-12,355"), "-12.36"},
      {decimal(18, 4), Value::Double(12.34565), "12.3456"},
      {decimal(5, 2), Value::Double(0.30000000000000004), "0.3"},
      {decimal(5, 2), Value::Single(1.1f), "1.1"},
      {decimal(5, 2), Value::Integer(999), "999"},
      {decimal(28, 6), Value::Money(Currency{INT64_MIN}), "-922337203685477.5808"},
      {decimal(12, 4), Value::Numeric({false, 6, 9851949}), "9.8519"},
      {decimal(10, 0), Value::Flag(true), "-1"},
      {decimal(5, 2), Value::Integer(1000), "refused: column \"C1\": \"1000\" is too large"},
      {decimal(5, 2), Value::Text(u"999,995"), "refused: column \"C1\": \"999,995\" is too large"},
      {decimal(18, 4), Value::Money(Currency{INT64_MAX}), "refused: column \"C1\": \"922337203685477,5807\" is too large"},
      {decimal(28, 0), Value::Text(u"1E29"), "refused: column \"C1\": \"1E29\" is too large"},
      {decimal(5, 2), Value::Text(u"dodici"), "refused: column \"C1\": \"dodici\" is not a number"},
      {decimal(5, 2), Value::Double(std::numeric_limits<double>::infinity()), "refused: column \"C1\""},
      {decimal(5, 2), Value::Bytes({1, 2}), "refused: column \"C1\": this kind of value cannot be stored as a number"},
  };
  for (const Case& c : cases) {
    std::string outcome;
    try {
      const Value stored = ConvertForColumn(c.column, c.value, italian);
      ASSERT_EQ(stored.type(), Value::Type::Decimal);
      EXPECT_EQ(stored.decimal().scale, c.column.scale);
      outcome = DumpValue(stored);
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), ErrorKind::InvalidValue) << error.reason();
      outcome = "refused: " + error.reason();
    }
    EXPECT_EQ(outcome.substr(0, c.stored.size()), c.stored) << outcome;
  }
}

TEST(WriterRowEncoder, LaysOutARowAsAccessDoes) {
  // indexTestV2000.mdb, Table1, first row: column 0 deleted (its 4 fixed bytes stay in the
  // row; Access left stale bytes there, we write zeros), longs in columns 1, 2, 3, 5 and
  // "baz0" in the text column 4 with Unicode compression.
  TableDefinition table;
  table.max_columns = 6;
  table.var_columns = 1;
  ColumnDefinition id = Column(ColumnType::Long, 1, 4), fk1 = Column(ColumnType::Long, 2, 4),
                   fk2 = Column(ColumnType::Long, 3, 4), fk3 = Column(ColumnType::Long, 5, 4);
  id.fixed_offset = 4, fk1.fixed_offset = 8, fk2.fixed_offset = 12, fk3.fixed_offset = 16;
  ColumnDefinition data = Column(ColumnType::Text, 4, 100, false);
  data.extra_flags = 0x01;
  // Columns listed out of number order on purpose: the row follows numbers and offsets.
  table.columns = {fk3, data, id, fk1, fk2};
  std::vector<EncodedField> fields(5);
  fields[0] = {true, EncodeFixedValue(fk3, Value::Integer(0))};
  fields[1] = {true, EncodeText(data, u"baz0")};
  fields[2] = {true, EncodeFixedValue(id, Value::Integer(0))};
  fields[3] = {true, EncodeFixedValue(fk1, Value::Integer(0))};
  fields[4] = {true, EncodeFixedValue(fk2, Value::Integer(10))};
  EXPECT_EQ(Hex(EncodeRow(table, fields)),
            "0600" "00000000" "00000000" "00000000" "0a000000" "00000000"
            "fffe62617a30" "1c00" "1600" "0100" "3e");
  // A Null fixed column keeps its bytes (zeros) and clears its bit.
  fields[4].present = false;
  EXPECT_EQ(Hex(EncodeRow(table, fields)),
            "0600" "00000000" "00000000" "00000000" "00000000" "00000000"
            "fffe62617a30" "1c00" "1600" "0100" "36");
}

TEST(WriterRowEncoder, NullsBooleansAndTextForms) {
  TableDefinition table;
  table.max_columns = 3;
  table.var_columns = 1;
  ColumnDefinition flag = Column(ColumnType::Boolean, 0);
  ColumnDefinition text = Column(ColumnType::Text, 2, 100, false);
  text.extra_flags = 0x01;
  table.columns = {flag, text};
  std::vector<EncodedField> fields(2);
  fields[0].present = true;  // a yes/no column's value is its null-mask bit
  EXPECT_EQ(Hex(EncodeRow(table, fields)), "0300" "0200" "0200" "0100" "01");
  fields[0].present = false;
  fields[1] = {true, ""};  // empty text: present, zero bytes
  EXPECT_EQ(Hex(EncodeRow(table, fields)), "0300" "0200" "0200" "0100" "04");
  // Compression only for 3+ characters all within U+0001..U+00FF.
  EXPECT_EQ(Hex(EncodeText(text, u"ab")), "61006200");
  EXPECT_EQ(Hex(EncodeText(text, u"Caffè")), "fffe43616666e8");
  EXPECT_EQ(Hex(EncodeText(text, u"€ 12")), "ac20200031003200");
  text.extra_flags = 0;
  EXPECT_EQ(Hex(EncodeText(text, u"abc")), "610062006300");
}

// The reader cracks what the writer builds, in both versions: every field comes back with its
// bytes, whichever fields are Null, including rows past 255 and 511 bytes (Jet 3's jump bytes),
// one whose trailer alone crosses 256 (a filler jump byte), and one without variable columns.
TEST(RowFrame, CrackReadsBackEveryFieldEncodeRowWrote) {
  ColumnDefinition amount = Column(ColumnType::Long, 0, 4), flag = Column(ColumnType::Boolean, 1);
  ColumnDefinition name = Column(ColumnType::Text, 2, 510, false), note = Column(ColumnType::Binary, 4, 510, false);
  note.var_index = 1;
  TableDefinition with_texts;
  with_texts.max_columns = 5;  // column 3 deleted
  with_texts.var_columns = 2;
  with_texts.columns = {amount, flag, name, note};
  TableDefinition fixed_only;
  fixed_only.max_columns = 2;
  fixed_only.columns = {amount, flag};
  TableDefinition jet3_texts = with_texts, jet3_fixed_only = fixed_only;
  jet3_texts.version = jet3_fixed_only.version = engine::jet::JetVersion::Jet3;
  struct Case {
    const TableDefinition* table;
    std::vector<EncodedField> fields;
  };
  const std::vector<Case> cases = {
      {&with_texts, {{true, EncodeFixedValue(amount, Value::Integer(-7))}, {true, ""}, {true, "ab"}, {true, "xyz"}}},
      {&with_texts, {{false, std::string(4, '\0')}, {false, ""}, {false, ""}, {true, std::string(300, 'q')}}},
      {&with_texts, {{true, EncodeFixedValue(amount, Value::Integer(1))}, {true, ""}, {true, ""}, {false, ""}}},
      {&fixed_only, {{true, EncodeFixedValue(amount, Value::Integer(42))}, {false, ""}}},
      {&jet3_texts, {{true, EncodeFixedValue(amount, Value::Integer(-7))}, {true, ""}, {true, "ab"}, {true, "xyz"}}},
      {&jet3_texts,
       {{false, std::string(4, '\0')}, {false, ""}, {true, std::string(300, 'p')}, {true, std::string(300, 'q')}}},
      {&jet3_texts, {{true, std::string(4, '\1')}, {true, ""}, {true, "ab"}, {true, std::string(246, 'r')}}},
      {&jet3_texts, {{true, std::string(4, '\1')}, {false, ""}, {true, std::string(600, 's')}, {false, ""}}},
      {&jet3_fixed_only, {{true, EncodeFixedValue(amount, Value::Integer(42))}, {true, ""}}},
  };
  for (size_t c = 0; c < cases.size(); ++c) {
    SCOPED_TRACE(c);
    const TableDefinition& table = *cases[c].table;
    const std::string row = EncodeRow(table, cases[c].fields);
    CrackedRow cracked;
    CrackRow(FormatOf(table.version), table.var_columns != 0, reinterpret_cast<const uint8_t*>(row.data()),
             row.size(), cracked, "t.mdb");
    EXPECT_EQ(cracked.column_count, table.max_columns);
    for (size_t i = 0; i < table.columns.size(); ++i) {
      const ColumnDefinition& column = table.columns[i];
      const EncodedField& field = cases[c].fields[i];
      EXPECT_EQ(FieldPresent(cracked, column.number), field.present) << i;
      if (column.type == ColumnType::Boolean) continue;
      const uint8_t* bytes = nullptr;
      size_t size = 0;
      ASSERT_EQ(LocateField(cracked, column, &bytes, &size, "t.mdb"), field.present) << i;
      if (field.present) {
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), size), field.bytes) << i;
      }
    }
  }
}

TEST(WriterDataPage, RowsStackDownwardsAndFreeSpaceStaysExact) {
  testsupport::TestPageStore store(4);
  uint8_t* page = store.WritePage(PageNumber(2)).data();
  InitDataPage(page, 4096, 7);
  EXPECT_EQ(page[2] | (page[3] << 8), 4082);
  EXPECT_EQ(AppendRowToPage(page, 4096, std::string(100, 'a')), 0);
  EXPECT_EQ(AppendRowToPage(page, 4096, ""), 1);  // a zero-length row is legal
  EXPECT_EQ(AppendRowToPage(page, 4096, std::string(10, 'b')), 2);
  EXPECT_EQ(page[14] | (page[15] << 8), 3996);
  EXPECT_EQ(page[16] | (page[17] << 8), 3996);
  EXPECT_EQ(page[18] | (page[19] << 8), 3986);
  EXPECT_EQ(page[2] | (page[3] << 8), 3986 - (14 + 2 * 3));
  EXPECT_TRUE(DataPageHasRoom(page, 3986 - 20 - 2));
  EXPECT_FALSE(DataPageHasRoom(page, 3986 - 20 - 1));
  DeleteRowOnPage(page, 4096, 1);
  EXPECT_EQ(page[17] & 0xC0, 0xC0);
  EXPECT_EQ(page[16] | ((page[17] & 0x1F) << 8), 3996);  // the row's place stays
  EXPECT_EQ(page[12], 3);
  EmptyDataPage(page, 4096);
  EXPECT_EQ(page[12], 1);  // one deleted zero-length row stays, for mdbtools
  EXPECT_EQ(page[15] & 0xC0, 0xC0);
  EXPECT_EQ(page[2] | (page[3] << 8), 4080);
  EXPECT_EQ(AppendRowToPage(page, 4096, "xyz"), 1);
  EXPECT_EQ(page[16] | (page[17] << 8), 4093);
}

TEST(WriterDataPage, PlacerFillsTheLastFreePageThenAddsPagesToBothMaps) {
  testsupport::TestPageStore store(3);
  std::vector<uint8_t> global = testsupport::InlineMap(0, 8);
  for (size_t i = 5; i < global.size(); ++i) global[i] = 0xFF;
  global[5] = 0xF8;  // pages 0..2 used
  testsupport::AddMapRow(store, 1, global);
  const RowId owned = testsupport::AddMapRow(store, 2, testsupport::InlineMap(0));
  const RowId free_map = testsupport::AddMapRow(store, 2, testsupport::InlineMap(0));
  PageAllocator allocator(store);
  RowPlacer placer(store, allocator, 99, owned, free_map);
  std::vector<RowId> rows;
  for (int i = 0; i < 100; ++i) rows.push_back(placer.Place(std::string(100, static_cast<char>('a' + i % 26))));
  // 100-byte rows: 40 a page (4082 / 102).
  EXPECT_EQ(rows[0].page, PageNumber(3));
  EXPECT_EQ(rows[39].page, PageNumber(3));
  EXPECT_EQ(rows[40].page, PageNumber(4));
  EXPECT_EQ(rows[40].row, 0);
  EXPECT_EQ(rows[99].page, PageNumber(5));
  UsageMapEditor owned_pages(store, owned), free_pages(store, free_map);
  EXPECT_EQ(owned_pages.Pages(), testsupport::Pages({3, 4, 5}));
  EXPECT_EQ(free_pages.Pages(), testsupport::Pages({5}));  // full pages leave the free map
  UsageMapEditor global_map(store, kGlobalUsageMap);
  for (PageNumber p : testsupport::Pages({3, 4, 5})) EXPECT_FALSE(global_map.Contains(p));
  const uint8_t* page = store.ReadPage(PageNumber(4)).data();
  EXPECT_EQ(page[4], 99);  // owner
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(page) + 4096 - 100, 100), std::string(100, 'o'));
}

TEST(WriterLongValue, InlineSingleRowAndChain) {
  testsupport::TestPageStore store(3);
  std::vector<uint8_t> global = testsupport::InlineMap(0, 8);
  for (size_t i = 5; i < global.size(); ++i) global[i] = 0xFF;
  global[5] = 0xF8;
  testsupport::AddMapRow(store, 1, global);
  ColumnDefinition memo = Column(ColumnType::Memo, 0, 0, false);
  memo.lval_owned_map = testsupport::AddMapRow(store, 2, testsupport::InlineMap(0));
  memo.lval_free_map = testsupport::AddMapRow(store, 2, testsupport::InlineMap(0));
  PageAllocator allocator(store);
  LongValueWriter writer(store, allocator, memo);

  const std::string small = writer.Write("hello", true);
  EXPECT_EQ(Hex(small), "05000080" "00000000" "00000000" "68656c6c6f");

  const std::string one = writer.Write(std::string(1000, 'x'), true);
  EXPECT_EQ(Hex(one.substr(0, 8)), "e8030040" "00030000");  // one LVAL row: row 0 of page 3
  EXPECT_EQ(std::memcmp(store.ReadPage(PageNumber(3)).data() + 4, "LVAL", 4), 0);

  std::string big(10000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  const std::string chain = writer.Write(big, true);
  const uint8_t* h = reinterpret_cast<const uint8_t*>(chain.data());
  EXPECT_EQ(h[0] | (h[1] << 8) | (h[2] << 16) | (h[3] << 24), 10000);  // no flags: a chain
  // Follow the chain as a reader does and get the value back.
  std::string back;
  RowId at{PageNumber(static_cast<uint32_t>(h[5] | (h[6] << 8) | (h[7] << 16))), h[4]};
  int rows = 0;
  while (!at.page.is_none() && rows++ < 10) {
    const uint8_t* page = store.ReadPage(at.page).data();
    const size_t start = (page[14 + 2 * at.row] | (page[15 + 2 * at.row] << 8)) & 0x1FFF;
    const size_t end = at.row == 0 ? 4096 : (page[12 + 2 * at.row] | (page[13 + 2 * at.row] << 8)) & 0x1FFF;
    back.append(reinterpret_cast<const char*>(page) + start + 4, end - start - 4);
    at = RowId{PageNumber(static_cast<uint32_t>(page[start + 1] | (page[start + 2] << 8) | (page[start + 3] << 16))),
               page[start]};
  }
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(back, big);
  EXPECT_EQ(UsageMapEditor(store, memo.lval_owned_map).Pages().size(), store.page_count() - 3);

  FreeLongValue(store, chain);
  FreeLongValue(store, one);
  for (uint32_t p = 3; p < store.page_count(); ++p) {
    const uint8_t* page = store.ReadPage(PageNumber(p)).data();
    for (int slot = 0; slot < page[12]; ++slot) EXPECT_EQ(page[15 + 2 * slot] & 0x80, 0x80) << p << "/" << slot;
  }
}
