// The one error type the engine throws: a reason a shop owner can read, the file it
// concerns, and a kind the window uses to explain it in Italian.
#pragma once

#include <stdexcept>
#include <string>

namespace engine {

enum class ErrorKind {
  Other,
  NotFound,           // the file does not exist
  AccessDenied,       // no permission to read or write it
  Locked,             // another program holds the file
  Protected,          // a database password or an encrypted workbook
  UnsupportedFormat,  // .accdb, .xlsx content, old Excel versions, unknown sort orders
  Damaged,            // not a valid archive of its kind, or damaged
  NoSuchTable,
  NoSuchColumn,
  InvalidValue,       // a value the column does not accept
  Duplicate,          // a key already present in a unique index
  ReadOnly,
  Io,                 // the disk refused a read or write
  DiskFull,           // no space left on the disk
  ReadOnlyFileSystem, // the disk or share is mounted read-only
  FileChanged,        // the file was cut short or replaced while we read it
  RuleViolation,      // a record refused by a column's or table's rule; the reason is
                      // already the text for the user (ValidationText or Italian)
};

class Error : public std::runtime_error {
 public:
  // `file` may be empty when the error concerns no particular file.
  Error(std::string file, const std::string& reason, ErrorKind kind = ErrorKind::Other)
      : std::runtime_error(file.empty() ? reason : file + ": " + reason),
        file_(std::move(file)),
        reason_(reason),
        kind_(kind) {}

  const std::string& file() const { return file_; }
  const std::string& reason() const { return reason_; }
  ErrorKind kind() const { return kind_; }

 private:
  std::string file_;
  std::string reason_;
  ErrorKind kind_;
};

}  // namespace engine
