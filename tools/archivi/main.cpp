// archivi: a command-line tool for developers and administrators over the program's engine.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>

#include "engine/base/error.h"
#include "tools/archivi/commands.h"

namespace {

struct Command {
  const char* name;
  const char* usage;
  int (*run)(const archivi::Arguments&);
};

const Command kCommands[] = {
    {"tables", "tables FILE", archivi::TablesCommand},
    {"columns", "columns FILE TABLE", archivi::ColumnsCommand},
    {"dump", "dump FILE TABLE", archivi::DumpCommand},
    {"create", "create [--format 97|2000] FILE", archivi::CreateCommand},
    {"check", "check FILE", archivi::CheckCommand},
    {"insert", "insert FILE TABLE < rows.tsv", archivi::InsertCommand},
    {"exec", "exec FILE \"DELETE * From T;\"", archivi::ExecCommand},
    {"relate",
     "relate FILE NAME TABLE COLUMN[,...] REFERENCED_TABLE COLUMN[,...] [--cascade-deletes] [--cascade-updates] "
     "[--not-enforced]",
     archivi::RelateCommand},
    {"import", "import DEST SOURCE TABLE --slot K=COLUMN ... [--purge yes|no] [--report FILE]", archivi::ImportCommand},
};

int Usage() {
  std::fputs("usage: archivi COMMAND ...\n", stderr);
  for (const Command& command : kCommands) std::fprintf(stderr, "  archivi %s\n", command.usage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // As the window does (Qt sets it at start): both run the engine under the user's locale,
  // so that what one writes, the other writes too.
  std::setlocale(LC_ALL, "");
  if (argc < 2) return Usage();
  for (const Command& command : kCommands) {
    if (std::strcmp(argv[1], command.name) != 0) continue;
    try {
      return command.run(archivi::Arguments(argv + 2, argv + argc));
    } catch (const std::exception& error) {
      std::fprintf(stderr, "archivi %s: %s\n", command.name, error.what());
      return 1;
    }
  }
  return Usage();
}
