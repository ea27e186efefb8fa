#!/usr/bin/env bash
# Configures one build folder of the project for one use, stating every option that use
# relies on, so that what another script left in the folder's cache changes nothing.
#   scripts/configure.sh DIR program   the program and archivi, optimised (scripts/run.sh)
#   scripts/configure.sh DIR sanitize  everything with the tests, under AddressSanitizer and
#                                      UndefinedBehaviorSanitizer, lightly optimised
#   scripts/configure.sh DIR fuzz      the libFuzzer targets, with clang
# The two test builds fail on any compiler warning in the project's code; the program's
# build only shows them.
# ccache is used when it is installed.
set -euo pipefail
if [[ $# -ne 2 ]]; then
  echo "usage: $0 DIR program|sanitize|fuzz" >&2
  exit 2
fi
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$1" kind="$2"

launcher=""
command -v ccache >/dev/null && launcher=ccache
options=(-G Ninja -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher" -DARCHIVI_BUILD_BENCH=OFF
         -DJET_SORT_CODES_DIR="$root/../shared/jet-sort-codes")
case "$kind" in
  program)
    compiler=g++
    options+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g -DNDEBUG"
              -DARCHIVI_BUILD_APP=ON -DARCHIVI_BUILD_TESTS=OFF -DARCHIVI_SANITIZE=OFF -DARCHIVI_FUZZ=OFF
              -DARCHIVI_WERROR=OFF) ;;
  sanitize)
    # -O1 and line tables only: the tests run nearly as fast as at -O2, the build takes much
    # less, and a sanitizer report still names the file and line.
    compiler=g++
    options+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG"
              -DARCHIVI_BUILD_APP=ON -DARCHIVI_BUILD_TESTS=ON -DARCHIVI_SANITIZE=ON -DARCHIVI_FUZZ=OFF
              -DARCHIVI_WERROR=ON) ;;
  fuzz)
    compiler=clang++
    options+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG"
              -DARCHIVI_BUILD_APP=OFF -DARCHIVI_BUILD_TESTS=OFF -DARCHIVI_SANITIZE=OFF -DARCHIVI_FUZZ=ON
              -DARCHIVI_WERROR=ON) ;;
  *)
    echo "unknown build kind: $kind" >&2
    exit 2 ;;
esac

# A folder first configured with another compiler is started afresh: CMake cannot switch.
if [[ -f "$dir/CMakeCache.txt" ]] &&
   ! grep -q "^CMAKE_CXX_COMPILER:[A-Z]*=.*/$compiler$" "$dir/CMakeCache.txt"; then
  rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
fi
cmake -S "$root" -B "$dir" -DCMAKE_CXX_COMPILER="$compiler" "${options[@]}"
