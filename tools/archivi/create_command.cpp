// archivi create FILE: makes a new price-list database with the empty table "Articoli", the
// file the program writes into. An existing file is never touched.
#include <cstdio>

#include "engine/jet/create/database_creator.h"
#include "tools/archivi/commands.h"

namespace archivi {

int CreateCommand(const Arguments& args) {
  if (args.size() != 1) {
    std::fputs("usage: archivi create FILE\n", stderr);
    return 2;
  }
  engine::jet::CreateListiniDatabase(args[0]);  // errors reach main, which prints them and exits 1
  std::printf("created %s\n", args[0].c_str());
  return 0;
}

}  // namespace archivi
