// Helpers shared by the workbook tests: the neutral text form of values (the same one
// xlrd_cells.py prints) and opening workbooks built in memory.
#pragma once

#include <charconv>
#include <cstdio>
#include <string>

#include "engine/database/database.h"
#include "engine/excel/excel_database.h"
#include "engine/value/value.h"
#include "tests/support/xls_writer.h"

namespace testsupport {

inline std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

// T:text, N:number, D:date, B:flag; "" for Null.
inline std::string Neutral(const engine::Value& value) {
  using Type = engine::Value::Type;
  switch (value.type()) {
    case Type::Null:
      return "";
    case Type::Text:
      return "T:" + Escape(engine::ToUtf8(value.text()));
    case Type::Double: {
      char buffer[64];
      auto result = std::to_chars(buffer, buffer + sizeof buffer, value.dbl());
      return "N:" + std::string(buffer, result.ptr);
    }
    case Type::Date: {
      engine::CivilDateTime c = engine::ToCivil(value.date());
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d", c.year, c.month, c.day, c.hour, c.minute,
                    c.second);
      std::string text = buffer;
      if (c.millisecond) {
        std::snprintf(buffer, sizeof buffer, ".%03d", c.millisecond);
        text += buffer;
      }
      return "D:" + text;
    }
    case Type::Flag:
      return value.flag() ? "B:1" : "B:0";
    default:
      return "?";
  }
}

inline std::unique_ptr<engine::Database> Open(const WorkbookWriter& writer) {
  return engine::excel::OpenExcelDatabase(writer.File(), "test.xls", engine::TextLocale::English());
}

inline std::unique_ptr<engine::Database> Open(Bytes bytes) {
  return engine::excel::OpenExcelDatabase(std::move(bytes), "test.xls", engine::TextLocale::English());
}

}  // namespace testsupport
