#!/usr/bin/env bash
# Installs what the build and the tests need, builds, and runs every test twice: a normal
# build, and a build with AddressSanitizer and UndefinedBehaviorSanitizer. Ends with the line
# "N passed, N failed".
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

scripts/install-deps.sh --test || exit 1

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:halt_on_error=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export MDB_READER_DIR="$root/build/node-tools/node_modules"

passed=0
failed=0
run_suite() {  # name, build folder, extra cmake options...
  local name="$1" dir="$2"
  shift 2
  echo "== $name build"
  if ! cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DARCHIVI_BUILD_BENCH=OFF "$@" ||
     ! cmake --build "$dir"; then
    echo "$name build failed"
    failed=$((failed + 1))
    return
  fi
  local log="$dir/ctest.log"
  (cd "$dir" && ctest --output-on-failure -j2 --timeout 600) 2>&1 | tee "$log"
  local summary
  summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  if [[ -z "$summary" ]]; then
    echo "$name: no test summary"
    failed=$((failed + 1))
    return
  fi
  local total fails
  fails=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$summary")
  total=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$summary")
  passed=$((passed + total - fails))
  failed=$((failed + fails))
}

run_suite "normal" build
run_suite "sanitizers" build-asan -DARCHIVI_SANITIZE=ON

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
