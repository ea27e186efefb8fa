// libFuzzer target for the Jet reader: opens the input as a database, lists its tables and
// reads every field of every row of every table, then decodes every table's property block
// and parses and evaluates the defaults and rules in it. The input is also taken as a
// property block and as an expression on its own. The relationships in MSysRelationships are
// read too. Damaged input must end in engine::Error
// (or ExpressionError for expressions), never in a crash, a hang or unbounded memory.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/base/error.h"
#include "engine/jet/catalog/catalog.h"
#include "engine/jet/catalog/relationships.h"
#include "engine/jet/rules/expression.h"
#include "engine/jet/database/jet_database.h"
#include "engine/jet/storage/pager.h"
#include "engine/jet/catalog/property_block.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/check/checker.h"
#include "engine/jet/rules/table_rules.h"
#include "engine/text/text_locale.h"

namespace {

using namespace engine::jet;

void ReadTables(const uint8_t* data, size_t size) {
  try {
    auto database = OpenJetDatabaseFromBytes(std::vector<uint8_t>(data, data + size), "fuzz.mdb",
                                             engine::TextLocale::English());
    for (const engine::TableInfo& table : database->TableDefs()) {
      try {
        auto records = database->OpenRecordset(table.name);
        if (records->RecordCount() == 0) continue;
        for (records->MoveFirst(); !records->Eof(); records->MoveNext()) {
          for (int i = 0; i < records->FieldCount(); ++i) records->GetValue(i);
        }
      } catch (const engine::Error&) {
        // A damaged table; the others are still read.
      }
    }
  } catch (const engine::Error&) {
  }
}

void ParseAndEvaluate(std::u16string_view text) {
  engine::jet::ExpressionContext context;
  context.this_column = engine::Value::Text(u"ART-0001");
  context.field = [&](std::u16string_view) { return &context.this_column; };
  for (ExpressionUse use : {ExpressionUse::DefaultValue, ExpressionUse::ColumnRule, ExpressionUse::TableRule}) {
    try {
      const Expression expression = Expression::Parse(text, use);
      expression.Evaluate(context);
      expression.Test(context);
    } catch (const ExpressionError&) {
    }
  }
}

void ReadProperties(const uint8_t* data, size_t size) {
  try {
    auto pager = Pager::FromBytes(std::vector<uint8_t>(data, data + size), "fuzz.mdb");
    const TextDecoder text(pager->format().version, pager->header().code_page, "fuzz.mdb");
    const std::vector<CatalogEntry> catalog = ReadCatalog(*pager, text);
    try {
      ReadRelationships(*pager, text, catalog);
    } catch (const engine::Error&) {
    }
    for (const CatalogEntry& entry : catalog) {
      try {
        const std::vector<uint8_t> bytes = ReadPropertyBytes(*pager, text, entry);
        const PropertyBlock block = DecodePropertyBlock(bytes.data(), bytes.size(), text, "fuzz.mdb");
        const TableDefinition table = ReadTableDefinition(*pager, text, entry.tdef_page, entry.name);
        TableRules rules(table, block);
        try {
          rules.Check(table, rules.NewRecord(table, engine::TextLocale::English()), engine::TextLocale::English());
        } catch (const engine::Error&) {
        }
        for (const PropertyMap& map : block.maps) {
          for (const Property& property : map.properties) {
            if (property.value.type() == engine::Value::Type::Text) ParseAndEvaluate(property.value.text());
          }
        }
      } catch (const engine::Error&) {
      }
    }
  } catch (const engine::Error&) {
  }
}

// The whole file through the checker: it decodes every index page of either version and
// makes every row's keys, Access 97's text keys among them.
void CheckWhole(const uint8_t* data, size_t size) {
  try {
    auto pager = Pager::FromBytes(std::vector<uint8_t>(data, data + size), "fuzz.mdb");
    CheckDatabase(*pager, size);
  } catch (const engine::Error&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadTables(data, size);
  ReadProperties(data, size);
  CheckWhole(data, size);
  try {
    const TextDecoder text(JetVersion::Jet4, 1252, "fuzz.mdb");
    DecodePropertyBlock(data, size, text, "fuzz.mdb");
  } catch (const engine::Error&) {
  }
  if (size <= 4096) ParseAndEvaluate(engine::FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size)));
  return 0;
}
