// A failed write rolls the pages back to the last commit, drops what the table writers
// cached from them, and counts the records stored since that commit as taken back. Within a
// long change the whole change is gone, and later writes are refused until its Commit
// reports the failure.
#include "engine/jet/database/jet_database_impl.h"

namespace engine::jet {

void JetDatabase::WriteOrRollBack(const std::function<void()>& write) {
  const bool lost = pager_->has_uncommitted_changes();
  const bool long_change = pager_->in_long_change();
  try {
    write();
  } catch (const Error& error) {
    pager_->Rollback();
    ForgetWriterCaches();
    TakeBackUncommitted();
    if (long_change) {
      // All or nothing: the whole change is gone, and the writes that would have belonged
      // to it are refused until its Commit reports the failure.
      undone_change_ = Error(pager_->file_name(),
                             error.reason() + " (everything written since the change began was undone)", error.kind());
      throw *undone_change_;
    }
    if (!lost) throw;
    throw Error(pager_->file_name(),
                error.reason() + " (the records added since the last save were not kept either)", error.kind());
  } catch (...) {
    pager_->Rollback();
    ForgetWriterCaches();
    TakeBackUncommitted();
    throw;
  }
}

void JetDatabase::RefuseIfChangeUndone() const {
  if (undone_change_) throw *undone_change_;
}

// A rollback to the last commit: the records stored since then are gone.
void JetDatabase::TakeBackUncommitted() {
  stored_.taken_back += uncommitted_records_;
  uncommitted_records_ = 0;
}

}  // namespace engine::jet
