#include "engine/jet/jet_database.h"

#include "engine/error.h"

namespace engine::jet {

// Placeholder until the Jet reader lands.
std::unique_ptr<engine::Database> OpenJetDatabase(const std::filesystem::path& path, OpenMode,
                                                  const TextLocale&) {
  throw Error(path.string(), "Jet databases are not readable yet");
}

}  // namespace engine::jet
