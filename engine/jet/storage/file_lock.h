// Who may read and write a database file at the same time. Two advisory byte locks (open-file
// description locks, fcntl F_OFD_*) far past the end of any Jet file, so the file's bytes are
// untouched and other programs' readers are not hindered:
//  - the writer byte, held exclusively for as long as a program has the file open for
//    writing: one writer at a time;
//  - the commit byte, held shared by every reader for the length of a read (pager.h), and
//    exclusively by a writer while its commit changes the file (or while a journal left by a
//    crash is undone). A reader therefore never sees a commit half done, and a journal seen
//    while another program holds the writer byte belongs to a live write, not to a crash.
// The opens of one file in this process (same device and inode, however the path is written)
// share one set of locks, so the program never conflicts with itself: the price list may be
// read as a source while it is open as the destination.
// Besides, Access's own lock file (NAME.ldb, in any letter case) beside the database keeps us
// from writing, since Access would then overwrite our pages from its cache.
// Layout: FORMAT.md, "Locks".
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

namespace engine::jet {

// Throws engine::Error (ErrorKind::OpenInAccess, naming the lock file) when Access's lock
// file is present next to `database`.
void RefuseIfAccessLockFile(const std::filesystem::path& database);

class DatabaseLock {
 public:
  // The locks of the file that the open descriptor `fd` refers to, shared with every other
  // open of that file in this process.
  static std::shared_ptr<DatabaseLock> For(int fd, const std::filesystem::path& database);
  ~DatabaseLock();
  DatabaseLock(const DatabaseLock&) = delete;
  DatabaseLock& operator=(const DatabaseLock&) = delete;

  // The writer byte. `read_write_fd` is an open of the file for writing. Throws engine::Error
  // (kind Locked) naming the file when another writer, here or elsewhere, holds it.
  void TakeWriter(int read_write_fd);
  void ReleaseWriter();
  bool writer_here() const { return writer_; }
  // True when another process holds the writer byte.
  bool WriterElsewhere() const;

  // The commit byte, shared. Waits a while for a commit under way elsewhere to end; throws
  // engine::Error (kind Locked) when it does not.
  void AddReader();
  void RemoveReader();

  // The commit byte, exclusive; waits a while for other programs' reads to end. Throws
  // engine::Error (kind Locked) when they do not.
  void BeginCommit();
  // The same without waiting: false when a reader elsewhere is reading the file.
  bool TryBeginCommit();
  void EndCommit();

 private:
  DatabaseLock(int fd, bool writable, std::filesystem::path database, dev_t device, ino_t inode);
  void Set(short type, off_t offset, bool wait, const char* busy_reason);

  pid_t owner_ = getpid();
  int fd_;  // a descriptor of our own on the file, only for the locks
  bool fd_writable_;
  std::filesystem::path database_;
  dev_t device_;
  ino_t inode_;
  int readers_ = 0;
  bool writer_ = false;
  bool committing_ = false;
};

}  // namespace engine::jet
