#include "tools/archivi/commands.h"

#include <cstdio>

namespace archivi {

// Filled in with the Jet reader.
int TablesCommand(const Arguments&) { std::fputs("not available yet\n", stderr); return 1; }
int ColumnsCommand(const Arguments&) { std::fputs("not available yet\n", stderr); return 1; }
int DumpCommand(const Arguments&) { std::fputs("not available yet\n", stderr); return 1; }

}  // namespace archivi
