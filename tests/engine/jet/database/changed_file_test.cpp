// A source that another program cuts short or rewrites while we read it: the reader gets an
// error of kind FileChanged, never a signal. (Such a program takes no lock: our own writers
// wait for a read to end, see reader_lock_test.cpp.)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>

#include "engine/base/error.h"
#include "engine/jet/storage/pager.h"
#include "tests/engine/jet/jet_test_util.h"

namespace {

namespace fs = std::filesystem;


TEST(ChangedFile, ASourceCutShortOrRewrittenWhileReadGivesFileChanged) {
  REQUIRE_FIXTURES();
  struct Case {
    const char* name;
    std::function<void(const fs::path&, uintmax_t size)> change;
  };
  const Case cases[] = {
      {"cut to half its length", [](const fs::path& file, uintmax_t size) { fs::resize_file(file, size / 2); }},
      {"cut inside a page", [](const fs::path& file, uintmax_t size) { fs::resize_file(file, size / 2 + 100); }},
      {"rewritten at the same length",
       [](const fs::path& file, uintmax_t size) {
         const int fd = ::open(file.c_str(), O_WRONLY);
         ASSERT_GE(fd, 0);
         const std::vector<char> zeros(4096, 0);
         ASSERT_EQ(::pwrite(fd, zeros.data(), zeros.size(), static_cast<off_t>(size / 2)), 4096);
         // A copying program may give the file any time; move it on so the test does not
         // depend on the clock having ticked since the open.
         struct stat info {};
         ASSERT_EQ(::fstat(fd, &info), 0);
         const timespec times[2] = {info.st_atim, {info.st_mtim.tv_sec + 2, info.st_mtim.tv_nsec}};
         ASSERT_EQ(::futimens(fd, times), 0);
         ::close(fd);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::TempDir dir;
    const fs::path file = dir.Copy(testsupport::Fixture("listini/listini-pieno.mdb"));
    auto pager = engine::jet::Pager::Open(file, engine::OpenMode::ReadOnly);
    engine::jet::ReadHold read(*pager);
    c.change(file, fs::file_size(file));
    try {
      for (uint32_t page = 1; page < pager->page_count(); ++page) pager->ReadPage(engine::jet::PageNumber(page));
      ADD_FAILURE() << "the change went unnoticed";
    } catch (const engine::Error& error) {
      EXPECT_EQ(error.kind(), engine::ErrorKind::FileChanged) << error.what();
      EXPECT_EQ(error.file(), file.string());
    }
  }
}

}  // namespace
