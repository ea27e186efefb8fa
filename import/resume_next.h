// The failure regime of the import run: a step that fails is skipped without a message and
// the run goes on with the next one; a test that fails counts as held. The run decides which
// failures to report, so the regime keeps the reason of the last one it swallowed.
//
// Only std::exception is caught: archives::ProgramEnded (which is none) and anything else
// that is not a failure of a step pass through.
#pragma once

#include <exception>
#include <optional>
#include <string>
#include <type_traits>

#include "engine/base/error.h"

namespace import {

// Why something failed: the engine's own words and the Italian sentence; for a value a field
// refused, the field and the value too.
struct FailureReason {
  std::string text;
  std::u16string in_italian;
  std::u16string field;      // the destination field it concerns; empty for the whole record
  std::u16string value;      // the value refused, as the clerk sees it
  bool names_place = false;  // the two sentences already name the field and the value
};

class ResumeNext {
 public:
  // Runs `step`; false when it failed.
  template <typename Step>
  bool Run(Step&& step) {
    try {
      step();
      return true;
    } catch (const std::exception& failure) {
      Swallow(failure);
      return false;
    }
  }

  // Evaluates a test; a test whose evaluation fails counts as held.
  template <typename Test>
  bool Holds(Test&& test) {
    bool held = true;
    Run([&] { held = test(); });
    return held;
  }

  // Computes a value; nothing when the computation failed, so no assignment happens.
  template <typename Compute>
  auto Get(Compute&& compute) -> std::optional<std::decay_t<decltype(compute())>> {
    std::optional<std::decay_t<decltype(compute())>> result;
    Run([&] { result.emplace(compute()); });
    return result;
  }

  // The reason of the last failure swallowed: the engine's own words (engine::Error::reason(),
  // or what()) for the command-line tool, and the Italian sentence the window shows.
  const std::string& last_failure() const { return last_reason_.text; }
  const std::u16string& last_failure_in_italian() const { return last_reason_.in_italian; }
  const FailureReason& last_reason() const { return last_reason_; }
  // The kind of the last failure and the file it concerns (Other and empty when it was not
  // the engine's).
  engine::ErrorKind last_kind() const { return last_kind_; }
  const std::string& last_file() const { return last_file_; }
  int failures() const { return failures_; }
  // True once a failure said that a file changed under the run (engine::ErrorKind::
  // FileChanged): nothing read from it after that can be trusted.
  bool file_changed() const { return file_changed_; }
  // True when the last failure was one that every later write to the same file meets too:
  // the file is in use by another program, read-only or out of reach, the disk is full.
  bool last_failure_recurs() const { return last_failure_recurs_; }
  // True when the last failure was that another program holds the file.
  bool last_failure_in_use() const { return last_failure_in_use_; }

 private:
  void Swallow(const std::exception& failure);

  FailureReason last_reason_;
  engine::ErrorKind last_kind_ = engine::ErrorKind::Other;
  std::string last_file_;
  int failures_ = 0;
  bool file_changed_ = false;
  bool last_failure_recurs_ = false;
  bool last_failure_in_use_ = false;
};

}  // namespace import
