#!/usr/bin/env bash
# Installs what the build and the tests need, then: builds the program as it is shipped
# (build/, the same folder and options as scripts/run.sh) and its Debian package, which
# lintian and AppStream's validator check; builds everything with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs every test there (build-asan/);
# builds the fuzz targets with clang and runs each for FUZZ_SECONDS (build-fuzz/). Each
# folder is configured with every option it relies on (scripts/configure.sh). Prints the
# time each step took and ends with the line "N passed, N failed".
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
# Processor seconds used so far by the programs this script ran, into $cpu. The shell's
# `times` runs here, not in a subshell, which would count only its own children.
cpu_log="$(mktemp)"
trap 'rm -f "$cpu_log"' EXIT
read_cpu() {
  times >"$cpu_log"
  cpu=$(tail -n 1 "$cpu_log" | awk '{ split($1, u, /[ms]/); split($2, s, /[ms]/); printf "%d", u[1] * 60 + u[2] + s[1] * 60 + s[2] }')
}
read_cpu
step_started=$SECONDS step_cpu=$cpu
step() {  # Announces a step, with the time the previous one took: elapsed, and processor.
  read_cpu
  echo "== $1 (previous step: $((SECONDS - step_started)) s, $((cpu - step_cpu)) s of processor time)"
  step_started=$SECONDS step_cpu=$cpu
}

build() {  # name, folder, kind (scripts/configure.sh), targets...; a failure counts as one
  local name="$1" dir="$2" kind="$3"
  shift 3
  step "$name build"
  local targets=()
  (( $# > 0 )) && targets=(--target "$@")
  if ! scripts/configure.sh "$dir" "$kind" >/dev/null || ! cmake --build "$dir" "${targets[@]}"; then
    echo "$name build failed"
    failed=$((failed + 1))
    return 1
  fi
}

run_tests() {  # build folder
  local dir="$1" log="$1/ctest.log"
  step "tests"
  (cd "$dir" && ctest --output-on-failure -j2 --timeout 600) 2>&1 | tee "$log"
  local summary
  summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  if [[ -z "$summary" ]]; then
    echo "no test summary"
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
run_fuzzers() {  # build folder
  local dir="$1" seconds="${FUZZ_SECONDS:-30}"
  local fixtures="${ARCHIVI_FIXTURES:-$root/../shared/fixtures}"
  local target corpus seeds
  for target in jet_reader_fuzz jet_writer_fuzz excel_fuzz import_fuzz; do
    # The import runs with less memory than the readers: its source is at most 1 MB
    # (libFuzzer's -max_len), and nothing a damaged one says may make it take more.
    local rss=2048
    case "$target" in
      jet_reader_fuzz) corpus=fuzz/corpus/jet seeds="$fixtures/jet/V2000 $fixtures/jet/V1997 $fixtures/listini" ;;
      # Small lists: every run copies the pages. The Access 97 files are small enough whole.
      jet_writer_fuzz) corpus=fuzz/corpus/jet-writer seeds="$fixtures/jet/V1997" ;;
      excel_fuzz) corpus=fuzz/corpus/excel seeds="$fixtures/xls" ;;
      import_fuzz) corpus=fuzz/corpus/import seeds="$fixtures/xls $fixtures/jet/V1997 $fixtures/listini" rss=1024 ;;
    esac
    local work="$dir/corpus-$target"
    mkdir -p "$work"
    step "$target for ${seconds}s"
    # shellcheck disable=SC2086
    if "$dir/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb="$rss" -print_final_stats=1 \
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

# The Debian package as a shop gets it (README, "Install"): lintian may find nothing but the
# program's place under /opt, and the software centres' entry must validate. Each check
# counts as one test.
check_package() {
  step "package"
  rm -f build/importazione-archivi_*.deb
  if ! (cd build && cpack -G DEB >cpack.log 2>&1); then
    tail -n 20 build/cpack.log
    echo "the package could not be built"
    failed=$((failed + 1))
    return
  fi
  if lintian --fail-on error,warning --suppress-tags dir-or-file-in-opt build/importazione-archivi_*.deb; then
    passed=$((passed + 1))
  else
    echo "lintian found errors or warnings in the package"
    failed=$((failed + 1))
  fi
  if appstreamcli validate --no-net packaging/*.metainfo.xml; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
}

build "program" build program && check_package
build "sanitizers" build-asan sanitize && run_tests build-asan
build "fuzz" build-fuzz fuzz jet_reader_fuzz jet_writer_fuzz excel_fuzz import_fuzz && run_fuzzers build-fuzz
step "done"

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
