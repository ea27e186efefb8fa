// Creating a new, empty Jet 4 database (what Jet's CreateDatabase makes for Access 2000), or a
// Jet 3 one (Access 97), entirely in code. The Jet 4 file has 16 pages of 4096 bytes:
//   0      header page: "Standard Jet DB", version 1, the RC4-masked region (code page 1252,
//          no encryption key, empty password masked by the creation date, General sort
//          order 0x0409 version 0, creation date)
//   1      global usage map (row 0: a set bit = free page) and a second, empty map row
//   2..5   TDEFs of MSysObjects, MSysACEs, MSysQueries, MSysRelationships
//   6      the usage maps of those four tables, their indexes and memo/OLE columns
//   7..13  index roots (leaves): two of MSysObjects, one each of MSysACEs and MSysQueries,
//          three of MSysRelationships
//   14, 15 the rows of MSysObjects (the Tables, Databases and Relationships containers,
//          MSysDb, the four system tables) and of MSysACEs (their permissions)
// A Jet 3 file has the same pages of 2048 bytes, in Jet 3 layout: a header page with the sort
// order at 0x3A and no creation date, 133-byte usage maps, Jet 3 TDEFs, rows and index leaves.
// Layout: FORMAT.md, "New databases and tables".
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/jet/create/table_creator.h"
#include "engine/jet/format/table_definition.h"
#include "engine/jet/storage/memory_page_store.h"

namespace engine::jet {

// A whole database held in memory as pages, to build a new file before it is written.
class DatabaseImage : public MemoryPageStore {
 public:
  DatabaseImage(std::string file_name, const JetFormat& format) : MemoryPageStore(std::move(file_name), format) {}

  // Writes the pages to `path` through a temporary file beside it, then renames it over.
  void Save(const std::filesystem::path& path) const;
};

struct NewDatabaseOptions {
  double creation_days = 0;               // Jet date of creation; 0 = now
  JetVersion version = JetVersion::Jet4;  // Jet3: an Access 97 file
};

// A new database in memory, with the definition of its catalogue (MSysObjects) so that
// tables can be added to it.
struct EmptyDatabase {
  DatabaseImage image;
  TableDefinition catalogue;
};

EmptyDatabase BuildEmptyDatabase(const std::string& file_name, const NewDatabaseOptions& options = {});

// Creates `path` as a new database holding the given tables (none: an empty database).
// Throws engine::Error when the file already exists (it is never overwritten), a table
// description is impossible, the file cannot be written, or the table writer cannot yet write
// rows of that version (UnsupportedFormat; nothing is written then).
void CreateDatabase(const std::filesystem::path& path, const std::vector<TableSpec>& tables = {},
                    const NewDatabaseOptions& options = {});

// The price-list table "Articoli" in the standard layout: IdArticolo (autonumber, primary
// key), Codice Articolo (text 50, indexed), Descrizione, Descrizione Catalogo (text 50),
// Prezzo, Prezzo 2 (currency), Categoria (text 50, indexed), Data Inserimento (date),
// Immagine (text 255).
TableSpec ArticoliTableSpec();

// The standard destination: a new database with the empty table "Articoli".
void CreateListiniDatabase(const std::filesystem::path& path, const NewDatabaseOptions& options = {});

}  // namespace engine::jet
