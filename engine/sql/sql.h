// The small SQL the program sends, parsed into what the engine needs. Anything else is an
// error, never a guess.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace engine {

struct SelectStatement {
  std::u16string table;
  // WHERE [column]='literal' (the literal with '' undone), when present.
  std::optional<std::u16string> where_column;
  std::u16string where_literal;
};

struct DeleteAllStatement {
  std::u16string table;
};

// A record source: a bare table name, "Select * From T;" or "Select * From T where [C]='x';"
// (keywords in any case, names optionally in brackets, trailing ';' optional).
// Throws engine::Error for anything else.
SelectStatement ParseRecordSource(std::u16string_view source);

// "DELETE * From T;" (keywords in any case; the '*' optional). Throws engine::Error otherwise.
DeleteAllStatement ParseDeleteAll(std::u16string_view statement);

}  // namespace engine
