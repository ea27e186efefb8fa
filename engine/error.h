// The one error type the engine throws: a reason a shop owner can read, and the file it
// concerns. The window turns it into an Italian message.
#pragma once

#include <stdexcept>
#include <string>

namespace engine {

class Error : public std::runtime_error {
 public:
  // `file` may be empty when the error concerns no particular file.
  Error(std::string file, const std::string& reason)
      : std::runtime_error(file.empty() ? reason : file + ": " + reason),
        file_(std::move(file)),
        reason_(reason) {}

  const std::string& file() const { return file_; }
  const std::string& reason() const { return reason_; }

 private:
  std::string file_;
  std::string reason_;
};

}  // namespace engine
