// The dump format the tools and the tests share: a header line of column names, then one line
// per record, tab-separated. Null is \N; texts escape \\ \t \n \r; yes/no true/false; dates
// yyyy-MM-ddTHH:mm:ss[.SSS]; currency with 4 decimals; floating point numbers with the
// shortest digits that read back the same, never with an exponent; decimals without trailing
// zeros; replication ids {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}; bytes 0x + lower-case hex.
#pragma once

#include <cstdio>
#include <string>

#include "engine/database/database.h"
#include "engine/value/value.h"

namespace engine {

// Appends the value's dump form (UTF-8).
void AppendDumpValue(const Value& value, std::string& out);
std::string DumpValue(const Value& value);

// Writes every record of the set from the first one, header line first. Leaves the set at its end.
void DumpRecordset(Recordset& records, std::FILE* out);
std::string DumpRecordset(Recordset& records);

}  // namespace engine
