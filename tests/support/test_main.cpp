// The tests' main. `--desktop-locale=NAME` runs them as on a desktop with that locale: LC_ALL
// is set for them and for the programs they start, and the C library's locale comes from it,
// as the window (through Qt) and archivi set it at start. The suite runs its tests so under
// C.UTF-8, and some again under an Italian and a German desktop's locale.
// `--page-cache-pages=N` sets how many unused pages the engine's page cache keeps
// (ARCHIVI_PAGE_CACHE_PAGES); with 0 a page goes as soon as its last handle does, so that a
// pointer kept past its handle is a use after free the sanitizers report.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  constexpr std::string_view kFlag = "--desktop-locale=";
  constexpr std::string_view kCacheFlag = "--page-cache-pages=";
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument.starts_with(kFlag)) {
      setenv("LC_ALL", argv[i] + kFlag.size(), 1);
    } else if (argument.starts_with(kCacheFlag)) {
      setenv("ARCHIVI_PAGE_CACHE_PAGES", argv[i] + kCacheFlag.size(), 1);
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  if (!std::setlocale(LC_ALL, "")) {
    std::fprintf(stderr, "the locale %s is not installed (scripts/install-deps.sh --test makes it)\n",
                 std::getenv("LC_ALL"));
    return 1;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
