// The writing commands of archivi:
//   check FILE                 the engine's integrity check; exit 0 when sound, 1 with one
//                              line per problem
//   insert FILE TABLE          adds the rows read from stdin: a header line naming columns,
//                              then tab-separated values in the dump format (\N for Null)
//   exec FILE "DELETE * From T;"  also says which rows relationships kept or cascaded to
#include <sys/stat.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "engine/text/case_fold.h"
#include "engine/base/error.h"
#include "engine/jet/catalog/catalog.h"
#include "engine/jet/catalog/relationships.h"
#include "engine/jet/catalog/table_definition_reader.h"
#include "engine/jet/check/checker.h"
#include "engine/jet/database/jet_database.h"
#include "engine/jet/row/text_codec.h"
#include "engine/jet/storage/pager.h"
#include "engine/jet/table/relationship_keeper.h"
#include "engine/jet/table/table_writer.h"
#include "tools/archivi/commands.h"

namespace archivi {
namespace {

// Dump-format numbers, dates and flags: "12.5", "2024-03-01T10:30:00", "true".
engine::TextLocale DumpLocale() {
  engine::TextLocale locale;
  locale.decimal_separator = u'.';
  locale.thousands_separator = u'\0';
  locale.date_order = engine::TextLocale::DateOrder::YearMonthDay;
  locale.date_separator = u'-';
  locale.true_text = u"true";
  locale.false_text = u"false";
  return locale;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields(1);
  for (char c : line) {
    if (c == '\t') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

// Undoes the dump escapes; "\N" alone is Null.
engine::Value Unescape(const std::string& field, engine::jet::ColumnType type) {
  if (field == "\\N") return engine::Value::Null();
  std::string text;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      text += field[i];
      continue;
    }
    const char next = field[++i];
    text += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  if ((type == engine::jet::ColumnType::Binary || type == engine::jet::ColumnType::Ole) && text.rfind("0x", 0) == 0) {
    engine::BinaryData bytes;
    for (size_t i = 2; i + 1 < text.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return engine::Value::Bytes(std::move(bytes));
  }
  return engine::Value::Text(engine::FromUtf8(text));
}

engine::jet::TableDefinition ReadDefinition(const std::string& file, const std::string& table_name) {
  auto pager = engine::jet::Pager::Open(file, engine::OpenMode::ReadOnly);
  const engine::jet::ReadHold read(*pager);
  ReportSetAsideJournal(file, pager->set_aside_journal());
  engine::jet::TextDecoder text(pager->format().version, pager->header().code_page, pager->file_name());
  const std::u16string wanted = engine::FromUtf8(table_name);
  for (const auto& entry : engine::jet::ReadCatalog(*pager, text)) {
    if (engine::SameName(entry.name, wanted)) {
      return engine::jet::ReadTableDefinition(*pager, text, entry.tdef_page, entry.name);
    }
  }
  throw engine::Error(file, "the database has no table \"" + table_name + "\"", engine::ErrorKind::NoSuchTable);
}

// One line per row that names a row its referenced table lacks; returns how many.
size_t PrintBrokenRelationships(engine::jet::Pager& pager) {
  const engine::jet::TextDecoder text(pager.format().version, pager.header().code_page, pager.file_name());
  const std::vector<engine::jet::CatalogEntry> catalog = engine::jet::ReadCatalog(pager, text);
  // Writers only lend the keeper their tables' definitions here: nothing is written.
  std::vector<std::unique_ptr<engine::jet::TableWriter>> writers;
  auto writer_of = [&](std::u16string_view name) -> engine::jet::TableWriter* {
    for (const engine::jet::CatalogEntry& entry : catalog) {
      if (!engine::SameName(entry.name, name)) continue;
      writers.push_back(std::make_unique<engine::jet::TableWriter>(
          pager, engine::jet::ReadTableDefinition(pager, text, entry.tdef_page, entry.name), engine::TextLocale{},
          pager.file_name()));
      return writers.back().get();
    }
    return nullptr;
  };
  engine::jet::RelationshipKeeper keeper(pager, engine::jet::ReadRelationships(pager, text, catalog), writer_of,
                                         pager.file_name());
  const std::vector<engine::jet::BrokenRow> broken = keeper.FindBroken();
  const engine::TextLocale locale = DumpLocale();
  for (const engine::jet::BrokenRow& row : broken) {
    std::string values;
    for (const engine::Value& value : row.values) values += (values.empty() ? "" : ", ") + engine::ToUtf8(value.ToText(locale));
    std::printf("table %s, row %u on page %u: %s is not in the referenced table (relationship %s)\n",
                engine::ToUtf8(row.table).c_str(), row.row.row, row.row.page.value(), values.c_str(),
                engine::ToUtf8(row.relationship).c_str());
  }
  return broken.size();
}

}  // namespace

int CheckCommand(const Arguments& args) {
  if (args.size() != 1) {
    std::fputs("usage: archivi check FILE\n", stderr);
    return 2;
  }
  struct stat info {};
  if (stat(args[0].c_str(), &info) != 0) {
    throw engine::Error(args[0], "the file does not exist", engine::ErrorKind::NotFound);
  }
  auto pager = engine::jet::Pager::Open(args[0], engine::OpenMode::ReadOnly);
  // One read for the whole check: a writer elsewhere waits for it (a while) to end.
  const engine::jet::ReadHold read(*pager);
  if (stat(args[0].c_str(), &info) != 0) {
    throw engine::Error(args[0], "the file does not exist", engine::ErrorKind::NotFound);
  }
  ReportSetAsideJournal(args[0], pager->set_aside_journal());
  const engine::jet::CheckReport report = engine::jet::CheckDatabase(*pager, static_cast<uint64_t>(info.st_size));
  for (const std::string& problem : report.problems) std::printf("%s\n", problem.c_str());
  if (!report.ok()) return 1;
  if (PrintBrokenRelationships(*pager) > 0) return 1;
  std::printf("ok: %zu tables, %zu rows, %zu index entries\n", report.tables, report.rows, report.index_entries);
  return 0;
}

int InsertCommand(const Arguments& args) {
  if (args.size() != 2) {
    std::fputs("usage: archivi insert FILE TABLE < rows.tsv\n", stderr);
    return 2;
  }
  const engine::jet::TableDefinition table = ReadDefinition(args[0], args[1]);
  auto database = engine::jet::OpenJetDatabase(args[0], engine::OpenMode::ReadWrite, DumpLocale());
  auto records = database->OpenRecordset(engine::FromUtf8(args[1]));
  std::string line;
  if (!std::getline(std::cin, line)) {
    std::fputs("archivi insert: no header line on standard input\n", stderr);
    return 2;
  }
  std::vector<int> positions;
  std::vector<engine::jet::ColumnType> types;
  for (const std::string& name : SplitTabs(line)) {
    positions.push_back(records->FieldPosition(engine::FromUtf8(name)));
    types.push_back(table.columns.at(positions.back()).type);
  }
  // Only what a commit made durable counts as added: a failed commit takes back every row
  // stored since the one before, however Update answered.
  const engine::Database::StoredRecords before = database->stored_records();
  size_t refused = 0, line_number = 1;
  while (std::getline(std::cin, line)) {
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> fields = SplitTabs(line);
    try {
      if (fields.size() != positions.size()) {
        throw engine::Error("", std::to_string(fields.size()) + " values for " + std::to_string(positions.size()) + " columns",
                            engine::ErrorKind::InvalidValue);
      }
      records->AddNew();
      for (size_t i = 0; i < fields.size(); ++i) records->SetValue(positions[i], Unescape(fields[i], types[i]));
      records->Update();
    } catch (const engine::Error& error) {
      ++refused;
      std::fprintf(stderr, "line %zu: %s\n", line_number, error.reason().c_str());
    }
  }
  bool committed = true;
  try {
    database->Commit();
  } catch (const engine::Error& error) {
    committed = false;
    std::fprintf(stderr, "%s\n", error.what());
  }
  const engine::Database::StoredRecords after = database->stored_records();
  const long taken_back = after.taken_back - before.taken_back;
  std::printf("%ld rows added, %zu refused", after.committed - before.committed, refused);
  if (taken_back > 0) std::printf(", %ld taken back by a commit that failed", taken_back);
  std::printf("\n");
  return refused == 0 && committed && taken_back == 0 ? 0 : 1;
}

int ExecCommand(const Arguments& args) {
  if (args.size() != 2) {
    std::fputs("usage: archivi exec FILE \"DELETE * From T;\"\n", stderr);
    return 2;
  }
  auto database = engine::jet::OpenJetDatabase(args[0], engine::OpenMode::ReadWrite, DumpLocale());
  ReportSetAsideJournal(args[0], database->SetAsideJournal());
  const engine::StatementResult result = database->Execute(engine::FromUtf8(args[1]));
  database->Commit();
  std::printf("%ld rows deleted", result.deleted);
  if (result.kept > 0) {
    std::printf(", %ld kept because rows of", result.kept);
    for (size_t i = 0; i < result.kept_for.size(); ++i) {
      std::printf("%s %s", i == 0 ? "" : ",", engine::ToUtf8(result.kept_for[i]).c_str());
    }
    std::printf(" name them");
  }
  for (const engine::StatementResult::Cascade& cascade : result.cascaded) {
    std::printf("; %ld rows of %s deleted with them", cascade.rows, engine::ToUtf8(cascade.table).c_str());
  }
  std::printf("\n");
  return 0;
}

}  // namespace archivi
