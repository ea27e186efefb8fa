// The one error type the engine throws: a reason a shop owner can read, the file it
// concerns, and a kind the window uses to explain it in Italian.
#pragma once

#include <cerrno>
#include <stdexcept>
#include <string>
#include <string_view>

namespace engine {

enum class ErrorKind {
  Other,              // a fault of the program itself, not of the file or the disk
  NotFound,           // the file does not exist
  AccessDenied,       // no permission to read or write it
  Locked,             // another program holds the file
  OpenInAccess,       // Access's lock file lies beside the database (see Error::other_file)
  Protected,          // a database password or an encrypted workbook
  UnsupportedFormat,  // .accdb, .xlsx content, old Excel versions, unknown sort orders
  Damaged,            // not a valid archive of its kind, or damaged
  TooLarge,           // beyond the size an archive of its kind can have
  AlreadyExists,      // a file that is never overwritten
  NoSuchTable,
  NoSuchColumn,
  NoCurrentRecord,    // a record set read or moved before its first or past its last record
  InvalidValue,       // a value the column does not accept
  Duplicate,          // a key already present in a unique index
  ReadOnly,
  Unsupported,        // an operation the engine does not do on this archive
  Io,                 // the disk refused a read or write
  DiskFull,           // no space left on the disk
  ReadOnlyFileSystem, // the disk or share is mounted read-only
  FileChanged,        // the file was cut short or replaced while we read it
  RuleViolation,      // a record refused by a column's or table's rule; the reason is
                      // already the text for the user (ValidationText or Italian)
  JournalUnreadable,  // the journal of an interrupted write cannot be read; the database was
                      // left as it was, and the journal kept for a later open
  ForeignJournal,     // a journal that cannot be applied to the database (another file's, or
                      // damaged) lies beside it and cannot be set aside
  NotAJournal,        // something other than a file (a pipe, a folder, a device) stands at the
                      // journal's name; the database was not touched
};

// What a column found wrong with a value it refused, so that the window can say it in a
// sentence naming the column and the value. ValidationText: the table's own text for a
// broken rule, which names neither.
enum class Refusal { None, NotANumber, NotADate, NotAYesNo, OutOfRange, TooLong, WrongType, ValidationText };

// The kind of a failed open, read or write, from its errno.
constexpr ErrorKind KindOfSystemError(int error_number) {
  switch (error_number) {
    case ENOENT: return ErrorKind::NotFound;
    case EACCES:
    case EPERM: return ErrorKind::AccessDenied;
    case EROFS: return ErrorKind::ReadOnlyFileSystem;
    case ENOSPC:
    case EDQUOT: return ErrorKind::DiskFull;
    case EFBIG: return ErrorKind::TooLarge;
    default: return ErrorKind::Io;
  }
}

class Error : public std::runtime_error {
 public:
  // `file` may be empty when the error concerns no particular file. `other_file` names a
  // second file the failure is about: the lock file that keeps the database from being
  // written (OpenInAccess), or the journal beside it (the two journal kinds).
  Error(std::string file, const std::string& reason, ErrorKind kind = ErrorKind::Other, std::string other_file = {})
      : std::runtime_error(file.empty() ? reason : file + ": " + reason),
        file_(std::move(file)),
        reason_(reason),
        kind_(kind),
        other_file_(std::move(other_file)) {}

  // The same failure told of `file`, its reason after `context` ("table \"X\": "); the kind
  // the other file and what it concerns stay. For re-raising with the file an inner part did
  // not know.
  Error Within(std::string file, std::string_view context = {}) const {
    Error error(std::move(file), std::string(context) + reason_, kind_, other_file_);
    return error.Concerning(column_, value_, refusal_);
  }

  const std::string& file() const { return file_; }
  const std::string& reason() const { return reason_; }
  ErrorKind kind() const { return kind_; }
  const std::string& other_file() const { return other_file_; }

  // The column a refused value was meant for, the value as text (both UTF-8), and what was
  // wrong with it; empty and Refusal::None when the failure concerns no one column.
  Error& Concerning(std::string column, std::string value, Refusal refusal) {
    column_ = std::move(column);
    value_ = std::move(value);
    refusal_ = refusal;
    return *this;
  }
  const std::string& column() const { return column_; }
  const std::string& value() const { return value_; }
  Refusal refusal() const { return refusal_; }

 private:
  std::string file_;
  std::string reason_;
  ErrorKind kind_;
  std::string other_file_;
  std::string column_;
  std::string value_;
  Refusal refusal_ = Refusal::None;
};

}  // namespace engine
