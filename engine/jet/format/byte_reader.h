// Little-endian reads from a page or a TDEF buffer that never step outside it: a read past the
// end throws engine::Error saying the file is damaged, so a bad length or offset in a file
// can never read stray memory.
#pragma once

#include <cstdint>
#include <string>

#include "engine/base/bytes.h"
#include "engine/base/error.h"

namespace engine::jet {

// Throws engine::Error saying the file is damaged. Out of line and cold: the checks of every
// row and value read end here, and building the message inline would weigh on those paths.
[[noreturn, gnu::cold]] void ThrowDamaged(const std::string& file, const std::string& what);
[[noreturn, gnu::cold]] void ThrowDamaged(const std::string& file, const char* what);

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size, const std::string& file) : data_(data), size_(size), file_(file) {}

  size_t size() const { return size_; }
  const uint8_t* data() const { return data_; }
  bool Has(size_t offset, size_t length) const { return offset <= size_ && length <= size_ - offset; }
  // Throws unless [offset, offset + length) lies inside.
  void Require(size_t offset, size_t length, const char* what) const {
    if (!Has(offset, length)) ThrowDamaged(file_, std::string(what) + " runs past its end");
  }
  uint8_t U8(size_t offset, const char* what) const {
    Require(offset, 1, what);
    return data_[offset];
  }
  uint16_t U16(size_t offset, const char* what) const {
    Require(offset, 2, what);
    return GetU16(data_ + offset);
  }
  uint32_t U32(size_t offset, const char* what) const {
    Require(offset, 4, what);
    return GetU32(data_ + offset);
  }
  const uint8_t* Bytes(size_t offset, size_t length, const char* what) const {
    Require(offset, length, what);
    return data_ + offset;
  }
  const std::string& file() const { return file_; }

 private:
  const uint8_t* data_;
  size_t size_;
  const std::string& file_;
};

}  // namespace engine::jet
