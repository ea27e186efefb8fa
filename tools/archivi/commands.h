// The commands of `archivi`, one function each: arguments after the command name; returns
// the exit status. Output goes to stdout, problems to stderr.
#pragma once

#include <string>
#include <vector>

namespace archivi {

using Arguments = std::vector<std::string>;

int TablesCommand(const Arguments& args);   // tables FILE
int ColumnsCommand(const Arguments& args);  // columns FILE TABLE
int DumpCommand(const Arguments& args);     // dump FILE TABLE
int ImportCommand(const Arguments& args);   // import DEST SOURCE TABLE --slot K=COLUMN ... [--purge yes|no]
int CreateCommand(const Arguments& args);   // create FILE: a new listini.mdb with an empty "Articoli"
int CheckCommand(const Arguments& args);    // check FILE: integrity check, exit 1 with the problems
int InsertCommand(const Arguments& args);   // insert FILE TABLE < header + tab-separated rows
int ExecCommand(const Arguments& args);     // exec FILE "DELETE * From T;"

}  // namespace archivi
