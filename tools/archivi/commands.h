// The commands of `archivi`, one function each: arguments after the command name; returns
// the exit status. Output goes to stdout, problems to stderr.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace archivi {

using Arguments = std::vector<std::string>;

// Tells on stderr that opening `file` renamed a journal beside it that was not its own.
inline void ReportSetAsideJournal(const std::filesystem::path& file, const std::filesystem::path& set_aside_as) {
  if (set_aside_as.empty()) return;
  std::fprintf(stderr,
               "%s: the journal beside it belongs to another file (or to an earlier copy of this one) or its header "
               "is damaged; it was not applied and was renamed to %s\n",
               file.c_str(), set_aside_as.c_str());
}

int TablesCommand(const Arguments& args);   // tables FILE
int ColumnsCommand(const Arguments& args);  // columns FILE TABLE
int DumpCommand(const Arguments& args);     // dump FILE TABLE
int ImportCommand(const Arguments& args);   // import DEST SOURCE TABLE --slot K=COLUMN ... [--purge yes|no]
// create [--format 97|2000] FILE: a new listini.mdb with an empty "Articoli"
int CreateCommand(const Arguments& args);
int CheckCommand(const Arguments& args);    // check FILE: integrity check, exit 1 with the problems
int InsertCommand(const Arguments& args);   // insert FILE TABLE < header + tab-separated rows
int ExecCommand(const Arguments& args);     // exec FILE "DELETE * From T;"
int RelateCommand(const Arguments& args);   // relate FILE NAME TABLE COLUMNS REFERENCED COLUMNS [flags]

}  // namespace archivi
