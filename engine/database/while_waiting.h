// What the engine does while it waits for another program to let go of a file (its locks are
// waited for up to 10 s): between tries it calls the hook of the innermost WhileWaiting alive
// on its thread, where a window keeps itself painted. A hook must not call into the engine,
// and what it throws is dropped: the wait goes on as if there were none.
#pragma once

#include <functional>
#include <utility>

namespace engine {

class WhileWaiting {
 public:
  explicit WhileWaiting(std::function<void()> hook) : hook_(std::move(hook)), outer_(innermost()) {
    innermost() = this;
  }
  ~WhileWaiting() { innermost() = outer_; }
  WhileWaiting(const WhileWaiting&) = delete;
  WhileWaiting& operator=(const WhileWaiting&) = delete;

  // Called by the engine between two tries.
  static void StillWaiting() {
    WhileWaiting* current = innermost();
    if (current == nullptr || !current->hook_) return;
    try {
      current->hook_();
    } catch (...) {
    }
  }

 private:
  static WhileWaiting*& innermost() {
    static thread_local WhileWaiting* current = nullptr;
    return current;
  }

  std::function<void()> hook_;
  WhileWaiting* outer_;
};

}  // namespace engine
