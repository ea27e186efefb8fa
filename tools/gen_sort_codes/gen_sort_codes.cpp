// Build-time generator of the engine's text sort-code tables.
//
// Input: for each sort order, a pair of Jet sort-code files with one line per UTF-16 unit,
// the first covering U+0000..U+00FF and the second U+0100..U+FFFF without the surrogate
// range; or, for Access 97's order, whose codes stop at U+00FF, the first file and a file of
// mappings, one `UNIT,TARGET` line (decimal) for each unit above U+00FF that takes the code of
// a unit below it (every other unit has none). Each code line is a class letter and hex
// fields: S<inline>, I<inline>,<extra>, U<byte>, P<byte>, Z<inline>,<extra>,<1 or empty>,
// G<inline>, or X. Odd-length hex has lost a leading zero.
//
// Output: a C++ source defining, per sort order, a byte array of runs that the engine expands
// at run time (engine/jet/index/sort_key_text.cpp reads the same layout):
//   first char (2 bytes, big-endian) | count (2, BE) | class letter |
//   inline length | inline bytes | extra length | extra bytes | flag (Z: 1 = "1" field)
// Consecutive S characters whose inline code grows by one, and consecutive X characters,
// share one run, which keeps the table near 40 KB instead of 64K records.
//
// Usage: gen_sort_codes <output.cpp> (<name> <first-file> (<ext-file> | --mappings <file>))...

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Code {
  char kind = 'X';
  std::vector<uint8_t> inline_bytes;
  std::vector<uint8_t> extra;  // I/Z extra bytes, or the U/P byte
  bool flag = false;
};

struct Failure {
  std::string message;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::vector<uint8_t> ParseHex(const std::string& field, const std::string& where) {
  std::string digits = field.size() % 2 ? "0" + field : field;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < digits.size(); i += 2) {
    int high = HexDigit(digits[i]), low = HexDigit(digits[i + 1]);
    if (high < 0 || low < 0) throw Failure{where + ": bad hex field '" + field + "'"};
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return bytes;
}

std::vector<std::string> SplitFields(const std::string& text) {
  std::vector<std::string> fields(1);
  for (char c : text) {
    if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

Code ParseLine(std::string line, const std::string& where) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) throw Failure{where + ": empty line"};
  Code code;
  code.kind = line[0];
  std::vector<std::string> fields = SplitFields(line.substr(1));
  auto need = [&](size_t low, size_t high) {
    if (fields.size() < low || fields.size() > high) throw Failure{where + ": wrong field count in '" + line + "'"};
  };
  switch (code.kind) {
    case 'X':
      need(1, 1);
      if (!fields[0].empty()) throw Failure{where + ": X line with data"};
      break;
    case 'S':
    case 'G':
      need(1, 1);
      code.inline_bytes = ParseHex(fields[0], where);
      break;
    case 'I':
      need(2, 2);
      code.inline_bytes = ParseHex(fields[0], where);
      code.extra = ParseHex(fields[1], where);
      break;
    case 'U':
    case 'P':
      need(1, 1);
      code.extra = ParseHex(fields[0], where);
      break;
    case 'Z':
      need(1, 3);
      code.inline_bytes = ParseHex(fields[0], where);
      if (fields.size() > 1) code.extra = ParseHex(fields[1], where);
      code.flag = fields.size() > 2 && fields[2] == "1";
      break;
    default:
      throw Failure{where + ": unknown class in '" + line + "'"};
  }
  if (code.inline_bytes.size() > 4 || code.extra.size() > 2) throw Failure{where + ": code too long in '" + line + "'"};
  return code;
}

// Reads one file's lines, assigning them to consecutive characters from `first_char` and
// skipping the surrogate range, which the engine computes.
void ReadFile(const std::string& path, uint32_t first_char, uint32_t expected_lines,
              std::vector<std::pair<uint32_t, Code>>* codes) {
  std::ifstream in(path);
  if (!in) throw Failure{path + ": cannot open"};
  std::string line;
  uint32_t c = first_char, count = 0;
  while (std::getline(in, line)) {
    if (count == expected_lines) {
      if (line.empty() || line == "\r") continue;  // tolerate a trailing blank line
      throw Failure{path + ": more lines than expected"};
    }
    if (c == 0xD800) c = 0xE000;
    codes->emplace_back(c, ParseLine(line, path + ":" + std::to_string(count + 1)));
    ++c;
    ++count;
  }
  if (count != expected_lines) {
    throw Failure{path + ": " + std::to_string(count) + " lines, expected " + std::to_string(expected_lines)};
  }
}

// Adds to the first 256 codes one for each unit the mappings file names, a copy of its
// target's, in the order of the units (the runs must ascend).
void ReadMappings(const std::string& path, std::vector<std::pair<uint32_t, Code>>* codes) {
  std::ifstream in(path);
  if (!in) throw Failure{path + ": cannot open"};
  std::vector<std::pair<uint32_t, uint32_t>> mappings;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const std::string where = path + ":" + std::to_string(number);
    std::vector<std::string> fields = SplitFields(line);
    unsigned long unit = 0, target = 0;
    try {
      if (fields.size() != 2) throw std::invalid_argument("fields");
      unit = std::stoul(fields[0]);
      target = std::stoul(fields[1]);
    } catch (const std::exception&) {
      throw Failure{where + ": not a UNIT,TARGET pair: '" + line + "'"};
    }
    if (unit < 0x100 || unit > 0xFFFF || (unit >= 0xD800 && unit < 0xE000) || target >= 0x100) {
      throw Failure{where + ": unit or target out of range in '" + line + "'"};
    }
    mappings.emplace_back(static_cast<uint32_t>(unit), static_cast<uint32_t>(target));
  }
  std::sort(mappings.begin(), mappings.end());
  for (size_t i = 1; i < mappings.size(); ++i) {
    if (mappings[i].first == mappings[i - 1].first) throw Failure{path + ": a unit mapped twice"};
  }
  const std::vector<std::pair<uint32_t, Code>> first(codes->begin(), codes->end());
  for (const auto& [unit, target] : mappings) codes->emplace_back(unit, first.at(target).second);
}

uint64_t BigEndianValue(const std::vector<uint8_t>& bytes) {
  uint64_t v = 0;
  for (uint8_t b : bytes) v = (v << 8) | b;
  return v;
}

// True when `next` continues the run that `last` (at `last_char`) ends.
bool ExtendsRun(const Code& last, uint32_t last_char, const Code& next, uint32_t next_char) {
  if (next_char != last_char + 1 || next.kind != last.kind) return false;
  if (next.kind == 'X') return true;
  if (next.kind != 'S' || next.inline_bytes.size() != last.inline_bytes.size()) return false;
  return BigEndianValue(next.inline_bytes) == BigEndianValue(last.inline_bytes) + 1;
}

std::vector<uint8_t> EncodeRuns(const std::vector<std::pair<uint32_t, Code>>& codes) {
  std::vector<uint8_t> out;
  size_t i = 0;
  while (i < codes.size()) {
    size_t end = i + 1;
    while (end < codes.size() && end - i < 0xFFFF &&
           ExtendsRun(codes[end - 1].second, codes[end - 1].first, codes[end].second, codes[end].first)) {
      ++end;
    }
    const auto& [first_char, code] = codes[i];
    uint32_t count = static_cast<uint32_t>(end - i);
    out.push_back(static_cast<uint8_t>(first_char >> 8));
    out.push_back(static_cast<uint8_t>(first_char));
    out.push_back(static_cast<uint8_t>(count >> 8));
    out.push_back(static_cast<uint8_t>(count));
    out.push_back(static_cast<uint8_t>(code.kind));
    out.push_back(static_cast<uint8_t>(code.inline_bytes.size()));
    out.insert(out.end(), code.inline_bytes.begin(), code.inline_bytes.end());
    out.push_back(static_cast<uint8_t>(code.extra.size()));
    out.insert(out.end(), code.extra.begin(), code.extra.end());
    out.push_back(code.flag ? 1 : 0);
    i = end;
  }
  return out;
}

void WriteArray(std::ostream& out, const std::string& name, const std::vector<uint8_t>& bytes) {
  out << "extern const uint8_t k" << name << "SortRuns[] = {";
  for (size_t i = 0; i < bytes.size(); ++i) {
    out << (i % 24 == 0 ? "\n  " : "") << static_cast<int>(bytes[i]) << ',';
  }
  out << "\n};\n";
  out << "extern const size_t k" << name << "SortRunsSize = " << bytes.size() << ";\n\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::cerr << "usage: gen_sort_codes <output.cpp> (<name> <first-file> (<ext-file> | --mappings <file>))...\n";
    return 2;
  }
  try {
    std::ostringstream source;
    source << "// Generated by gen_sort_codes from the Jet sort-code tables (from Jackcess, Apache\n"
              "// License 2.0; see NOTICE). Do not edit: rebuilt from JET_SORT_CODES_DIR.\n"
              "#include <cstddef>\n#include <cstdint>\n\nnamespace engine::jet::generated {\n\n";
    for (int i = 2; i < argc;) {
      if (i + 2 >= argc) throw Failure{"a sort order needs a name and two files"};
      std::vector<std::pair<uint32_t, Code>> codes;
      ReadFile(argv[i + 1], 0x0000, 0x100, &codes);
      const std::string name = argv[i];
      if (std::string(argv[i + 2]) == "--mappings") {
        if (i + 3 >= argc) throw Failure{"--mappings needs a file"};
        ReadMappings(argv[i + 3], &codes);
        i += 4;
      } else {
        ReadFile(argv[i + 2], 0x0100, 0x10000 - 0x100 - 0x800, &codes);
        i += 3;
      }
      WriteArray(source, name, EncodeRuns(codes));
    }
    source << "}  // namespace engine::jet::generated\n";
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << source.str();
    if (!out) throw Failure{std::string(argv[1]) + ": cannot write"};
  } catch (const Failure& failure) {
    std::cerr << "gen_sort_codes: " << failure.message << '\n';
    return 1;
  }
  return 0;
}
