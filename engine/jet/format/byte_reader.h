// Little-endian reads from a page or a TDEF buffer that never step outside it: a read past the
// end throws engine::Error saying the file is damaged, so a bad length or offset in a file
// can never read stray memory.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "engine/error.h"

namespace engine::jet {

[[noreturn]] inline void ThrowDamaged(const std::string& file, const std::string& what) {
  throw Error(file, "the database is damaged or is not an Access database (" + what + ")",
              ErrorKind::Damaged);
}

inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadU24(const uint8_t* p) { return p[0] | (p[1] << 8) | (static_cast<uint32_t>(p[2]) << 16); }
inline uint32_t LoadU32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t LoadU64(const uint8_t* p) { return LoadU32(p) | (static_cast<uint64_t>(LoadU32(p + 4)) << 32); }

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
    return LoadU16(data_ + offset);
  }
  uint32_t U32(size_t offset, const char* what) const {
    Require(offset, 4, what);
    return LoadU32(data_ + offset);
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
