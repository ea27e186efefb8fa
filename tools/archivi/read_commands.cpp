// The reading commands of `archivi`: list tables, list columns, dump a table. Output is UTF-8.
#include <cstdio>

#include "engine/database/database.h"
#include "tools/archivi/dump/dump_format.h"
#include "engine/open/open_database.h"
#include "engine/text/text_locale.h"
#include "tools/archivi/commands.h"

namespace archivi {
namespace {

// Workbooks open through the same engine: their sheets are tables.
std::u16string ConnectFor(const std::string& file) {
  if (file.size() >= 4) {
    std::string extension = file.substr(file.size() - 4);
    for (char& c : extension) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (extension == ".xls") return u"Excel 8.0;";
  }
  return u"Access 2000;";
}

std::unique_ptr<engine::Database> Open(const std::string& file) {
  auto database = engine::OpenDatabase(file, ConnectFor(file), engine::OpenMode::ReadOnly, engine::TextLocale::English());
  ReportSetAsideJournal(file, database->SetAsideJournal());
  return database;
}

bool Expect(const Arguments& args, size_t count, const char* usage) {
  if (args.size() == count) return true;
  std::fprintf(stderr, "usage: archivi %s\n", usage);
  return false;
}

}  // namespace

int TablesCommand(const Arguments& args) {
  if (!Expect(args, 1, "tables FILE")) return 2;
  auto database = Open(args[0]);
  std::string out;
  for (const engine::TableInfo& table : database->TableDefs()) {
    out += engine::ToUtf8(table.name);
    out += '\n';
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

int ColumnsCommand(const Arguments& args) {
  if (!Expect(args, 2, "columns FILE TABLE")) return 2;
  auto database = Open(args[0]);
  auto records = database->OpenRecordset(engine::FromUtf8(args[1]));
  std::string out;
  for (int i = 0; i < records->FieldCount(); ++i) {
    out += engine::ToUtf8(records->FieldName(i));
    out += '\n';
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

int DumpCommand(const Arguments& args) {
  if (!Expect(args, 2, "dump FILE TABLE")) return 2;
  auto database = Open(args[0]);
  auto records = database->OpenRecordset(engine::FromUtf8(args[1]));
  engine::DumpRecordset(*records, stdout);
  return 0;
}

}  // namespace archivi
