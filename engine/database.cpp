#include "engine/database.h"

#include "engine/error.h"

namespace engine {

void Recordset::AddNew() { throw Error("", "the record set is read-only", ErrorKind::ReadOnly); }
void Recordset::SetValue(int, const Value&) { throw Error("", "the record set is read-only", ErrorKind::ReadOnly); }
void Recordset::Update() { throw Error("", "the record set is read-only", ErrorKind::ReadOnly); }
void Database::Execute(std::u16string_view) {
  throw Error(path().string(), "the archive is read-only", ErrorKind::ReadOnly);
}
void Database::BeginTransaction() { throw Error(path().string(), "the archive is read-only", ErrorKind::ReadOnly); }

}  // namespace engine
