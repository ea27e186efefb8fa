// archivi create [--format 97|2000] FILE: makes a new price-list database with the empty table
// "Articoli", the file the program writes into: an Access 2000 file unless told otherwise, or
// an Access 97 one for shops whose other software still reads only that. An existing file is
// never touched.
#include <cstdio>
#include <optional>
#include <string>

#include "engine/jet/create/database_creator.h"
#include "tools/archivi/commands.h"

namespace archivi {
namespace {

constexpr const char* kUsage = "usage: archivi create [--format 97|2000] FILE\n";

// The version a --format value names, as Access names its file formats.
std::optional<engine::jet::JetVersion> VersionNamed(const std::string& name) {
  if (name == "97") return engine::jet::JetVersion::Jet3;
  if (name == "2000") return engine::jet::JetVersion::Jet4;
  return std::nullopt;
}

}  // namespace

int CreateCommand(const Arguments& args) {
  engine::jet::NewDatabaseOptions options;
  std::optional<std::string> file;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--format" && i + 1 < args.size()) {
      const std::optional<engine::jet::JetVersion> version = VersionNamed(args[++i]);
      if (!version) {
        std::fprintf(stderr, "archivi create: unknown format \"%s\" (97 or 2000)\n", args[i].c_str());
        return 2;
      }
      options.version = *version;
    } else if (!file && args[i].rfind("--", 0) != 0) {
      file = args[i];
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (!file) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  engine::jet::CreateListiniDatabase(*file, options);  // errors reach main, which prints them and exits 1
  std::printf("created %s\n", file->c_str());
  return 0;
}

}  // namespace archivi
