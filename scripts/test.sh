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

# Each fuzz target runs for a while over its seed corpus and the shared test files; a crash,
# a leak or a hang fails the run. Each target counts as one test.
run_fuzzers() {
  local dir=build-fuzz seconds="${FUZZ_SECONDS:-60}"
  echo "== fuzz build"
  if ! CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DARCHIVI_FUZZ=ON \
         -DARCHIVI_BUILD_APP=OFF -DARCHIVI_BUILD_TESTS=OFF -DARCHIVI_BUILD_BENCH=OFF ||
     ! cmake --build "$dir" --target jet_reader_fuzz excel_fuzz; then
    echo "fuzz build failed"
    failed=$((failed + 1))
    return
  fi
  local fixtures="${ARCHIVI_FIXTURES:-$root/../shared/fixtures}"
  local target corpus seeds
  for target in jet_reader_fuzz excel_fuzz; do
    case "$target" in
      jet_reader_fuzz) corpus=fuzz/corpus/jet seeds="$fixtures/jet/V2000 $fixtures/jet/V1997 $fixtures/listini" ;;
      excel_fuzz) corpus=fuzz/corpus/excel seeds="$fixtures/xls" ;;
    esac
    local work="$dir/corpus-$target"
    mkdir -p "$work"
    echo "== $target for ${seconds}s"
    # shellcheck disable=SC2086
    if "$dir/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
         "$work" "$corpus" $(for s in $seeds; do [[ -d "$s" ]] && echo "$s"; done) >"$dir/$target.log" 2>&1; then
      tail -n 3 "$dir/$target.log"
      passed=$((passed + 1))
    else
      tail -n 40 "$dir/$target.log"
      echo "$target found a fault"
      failed=$((failed + 1))
    fi
  done
}

run_suite "normal" build
run_suite "sanitizers" build-asan -DARCHIVI_SANITIZE=ON
run_fuzzers

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
