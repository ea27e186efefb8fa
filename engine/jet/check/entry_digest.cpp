#include "engine/jet/check/entry_digest.h"

namespace engine::jet {
namespace {

// The finaliser of splitmix64: spreads every input bit over the whole word.
uint64_t Mix(uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  x ^= x >> 31;
  return x;
}

// FNV-1a over the key's bytes, then the row's place.
uint64_t HashEntry(std::string_view key, RowId row) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : key) hash = (hash ^ c) * 0x100000001b3ULL;
  hash ^= uint64_t{row.packed()};
  return hash * 0x100000001b3ULL;
}

// Rows per data page a place can name: the slot number is one byte.
constexpr uint64_t kPlacesPerPage = 256;

uint64_t Place(RowId row) { return uint64_t{row.page.value()} * kPlacesPerPage + row.row; }

}  // namespace

void EntryDigest::Add(std::string_view key, RowId row) {
  const uint64_t hash = HashEntry(key, row);
  ++count_;
  sum_ += Mix(hash);
  mixed_sum_ += Mix(hash ^ 0x9e3779b97f4a7c15ULL) * 0xff51afd7ed558ccdULL;
}

void RowPlaceBits::Set(RowId row) {
  const uint64_t place = Place(row);
  if (place / 64 >= words_.size()) words_.resize(static_cast<size_t>(place / 64 + 1));
  words_[static_cast<size_t>(place / 64)] |= uint64_t{1} << (place % 64);
}

bool RowPlaceBits::Test(RowId row) const {
  const uint64_t place = Place(row);
  return place / 64 < words_.size() && (words_[static_cast<size_t>(place / 64)] >> (place % 64) & 1) != 0;
}

}  // namespace engine::jet
