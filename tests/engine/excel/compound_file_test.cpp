// The compound-file container: streams come back byte for byte from both sector sizes,
// and damaged containers end in an error instead of a crash, a loop or a huge allocation.
#include "engine/excel/compound_file.h"

#include <gtest/gtest.h>

#include "engine/base/error.h"
#include "tests/support/xls_writer.h"

namespace {

using engine::excel::ReadTopLevelStream;
using testsupport::Bytes;

Bytes Pattern(size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

std::string DamageReason(const Bytes& file) {
  try {
    ReadTopLevelStream(file, {u"Workbook"});
  } catch (const engine::Error& e) {
    return e.reason();
  }
  return "no error";
}

TEST(CompoundFile, StreamsComeBackWholeFromSmallAndLargeSectors) {
  // 16 MB of 512-byte sectors needs 259 FAT sectors: 109 listed in the header, the other 150
  // in a chain of two DIFAT sectors.
  for (int shift : {9, 12}) {
    for (size_t size : {size_t{4096}, size_t{4097}, size_t{70000}, size_t{16} << 20}) {
      SCOPED_TRACE(std::to_string(shift) + " / " + std::to_string(size));
      Bytes stream = Pattern(size);
      auto read = ReadTopLevelStream(testsupport::WrapInCompoundFile(stream, u"Workbook", shift), {u"Book", u"WORKBOOK"});
      ASSERT_TRUE(read.has_value());
      EXPECT_EQ(*read, stream);
    }
  }
}

TEST(CompoundFile, TheFirstNameAskedForWinsOverTreeOrder) {
  // An Excel 97 workbook saved for Excel 5 too holds a BIFF5 "Book" beside the "Workbook".
  Bytes book = Pattern(4500), workbook = Pattern(6000);
  Bytes file = testsupport::WrapStreamsInCompoundFile({{u"Book", book}, {u"Other", Pattern(10)}, {u"Workbook", workbook}});
  EXPECT_EQ(ReadTopLevelStream(file, {u"Workbook", u"Book"}), workbook);
  EXPECT_EQ(ReadTopLevelStream(file, {u"Book"}), book);
}

TEST(CompoundFile, AMissingStreamIsNoError) {
  Bytes file = testsupport::WrapInCompoundFile(Pattern(5000), u"Other");
  EXPECT_FALSE(ReadTopLevelStream(file, {u"Workbook", u"Book"}).has_value());
}

TEST(CompoundFile, DamagedContainersAreReportedAsDamaged) {
  const Bytes good = testsupport::WrapInCompoundFile(Pattern(6000));
  // Layout of the test writer with 512-byte sectors: 12 stream sectors, the directory in
  // sector 12, the FAT in sector 13.
  constexpr size_t kSector = 512, kFatOffset = 14 * kSector, kDirectoryOffset = 13 * kSector;

  Bytes cut(good.begin(), good.begin() + 8 * kSector);
  EXPECT_NE(DamageReason(cut).find("damaged"), std::string::npos);

  Bytes loop = good;
  testsupport::SetU32(loop, kFatOffset + 4 * 5, 2);  // sector 5 leads back to sector 2
  EXPECT_NE(DamageReason(loop).find("damaged"), std::string::npos);

  Bytes outside = good;
  testsupport::SetU32(outside, kFatOffset + 4 * 3, 100000);
  EXPECT_NE(DamageReason(outside).find("damaged"), std::string::npos);

  Bytes bad_directory = good;
  testsupport::SetU32(bad_directory, 0x30, 4000000);
  EXPECT_NE(DamageReason(bad_directory).find("damaged"), std::string::npos);

  Bytes huge_size = good;
  testsupport::SetU32(huge_size, kDirectoryOffset + 128 + 0x78, 0x7FFFFFFF);
  EXPECT_NE(DamageReason(huge_size).find("damaged"), std::string::npos);

  Bytes self_child = good;
  testsupport::SetU32(self_child, kDirectoryOffset + 128 + 0x44, 0);  // the stream's sibling is the root
  testsupport::SetU32(self_child, kDirectoryOffset + 0x4C, 0);        // the root is its own child
  EXPECT_NE(DamageReason(self_child), "");  // ends, with or without finding the stream

  Bytes bad_sector_size = good;
  bad_sector_size[0x1E] = 20;
  EXPECT_NE(DamageReason(bad_sector_size).find("damaged"), std::string::npos);

  EXPECT_NE(DamageReason(Bytes(good.begin(), good.begin() + 100)).find("damaged"), std::string::npos);
}

}  // namespace
