// What an open does with a journal found beside the database: a commit was interrupted.
//
// Reads the journal (header and records, journal_format.h) and, of the database, the header
// page's version byte and mark (header_page.h). A journal that applies is undone: each sound
// record's page bytes are written back at page × page size, the file is cut to the length the
// header gives, the journal removed and the mark zeroed. One that cannot be applied (another
// file's, or with a header that does not check) is renamed NAME-journal.not-applied, or
// .not-applied-2, -3, … when that name is taken: never deleted, never written over. A
// symbolic link at the journal's name is set aside so too, without being followed; anything
// else that is not a regular file (a pipe, a folder) stops the open with ErrorKind::NotAJournal.
// Layout: FORMAT.md, "The rollback journal".
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

#include "engine/jet/storage/file_io.h"

namespace engine::jet {

// True when a journal lies beside the database.
bool HasJournal(const std::filesystem::path& database);

// What an open found beside the database.
struct JournalOutcome {
  enum Kind { None, RolledBack, Removed, SetAside } kind = None;
  std::filesystem::path set_aside_as;  // SetAside: the journal's new name
};

// Recovery reads the journal's bytes through this alone, so that tests can make the disk fail
// at a chosen byte.
using JournalReader = std::function<FileRead(int fd, uint8_t* into, size_t size, uint64_t offset)>;

// Undoes an interrupted change of `database` (open read-write as `fd`; the caller holds the
// writer lock and the commit lock): writes back every record up to the first that is cut
// short or does not check, cuts the file to its old length and removes the journal. An empty
// journal is removed; one that cannot be applied (another file's, or with a header that does
// not check) is set aside, never deleted. A journal that cannot be read stops everything
// with ErrorKind::JournalUnreadable: nothing is written, cut or removed, and the next open
// that reads it restores the file.
JournalOutcome RecoverFromJournal(const std::filesystem::path& database, int fd, const JournalReader& read = ReadAt);

// What the journal beside `database` (open as `fd`, reading is enough) would lead recovery
// to do; reads only, and throws as RecoverFromJournal does when the journal cannot be read.
enum class JournalFinding { None, Empty, Applies, CannotApply };
JournalFinding InspectJournal(const std::filesystem::path& database, int fd, const JournalReader& read = ReadAt);

// Throws ErrorKind::ForeignJournal: a journal that cannot be applied lies beside `database`,
// and `error` (an errno) kept it from being set aside.
[[noreturn]] void ThrowForeignJournal(const std::filesystem::path& database, int error);

}  // namespace engine::jet
