// Damaged-file errors: see byte_reader.h.
#include "engine/jet/format/byte_reader.h"

namespace engine::jet {

void ThrowDamaged(const std::string& file, const std::string& what) {
  throw Error(file, "the database is damaged or is not an Access database (" + what + ")", ErrorKind::Damaged);
}

void ThrowDamaged(const std::string& file, const char* what) { ThrowDamaged(file, std::string(what)); }

}  // namespace engine::jet
