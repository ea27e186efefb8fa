#!/usr/bin/env bash
# Time and peak memory of the tools on large archives, then the engine's benchmarks.
#   bench/measure_tools.sh BUILD ARCHIVES [RUNS]
# BUILD: a release build with benchmarks (scripts/configure.sh BUILD program &&
#        cmake -DARCHIVI_BUILD_BENCH=ON BUILD && cmake --build BUILD)
# ARCHIVES: a folder written by BUILD/bin/make_bench_archives ARCHIVES
# Each tool is run RUNS times (default 3) on a fresh copy of the list; the median elapsed time
# and the median maximum resident set size are printed.
set -euo pipefail
build="$(cd "$1" && pwd)" archives="$(cd "$2" && pwd)" runs="${3:-3}"
bin="$build/bin"
work="$(mktemp -d /tmp/measure-tools.XXXXXX)"
trap 'rm -rf "$work"' EXIT
slots=(--slot 0=Categoria --slot 1=Codice --slot 2=Nome --slot 3=Nome --slot 4=Prezzo --slot 5=Prezzo --slot 6=Immagine)

# 200,000 rows for `archivi insert`, in the dump format.
{
  printf 'Codice Articolo\tDescrizione\tCategoria\n'
  seq 0 199999 | awk '{printf "I-%06d\tArticolo inserito %d\tReparto/%d\n", $1, $1, $1 % 50}'
} > "$work/rows.tsv"
fixtures="$(cd "$build/../../shared/fixtures" 2>/dev/null && pwd || echo "${ARCHIVI_FIXTURES:-}")"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# measure NAME LIST-TO-COPY-OR-EMPTY COMMAND... ("@LIST" in the command stands for the copy)
measure() {
  local name="$1" list="$2"; shift 2
  local times=() rss=()
  for ((i = 0; i < runs; ++i)); do
    local args=()
    if [[ -n "$list" ]]; then
      cp "$list" "$work/list.mdb"; chmod u+w "$work/list.mdb"; rm -f "$work/list.mdb-journal"
    fi
    for a in "$@"; do args+=("${a//@LIST/$work/list.mdb}"); done
    /usr/bin/time -v -o "$work/time.txt" "${args[@]}" < "${STDIN_FILE:-/dev/null}" > /dev/null 2> "$work/err.txt" ||
      { echo "$name: failed"; cat "$work/err.txt"; }
    local e; e=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time.txt")
    times+=("$(awk -F: '{ if (NF == 3) print $1*3600+$2*60+$3; else print $1*60+$2 }' <<< "$e")")
    rss+=("$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")")
  done
  printf '%-34s elapsed %6.2f s (runs: %s)   max RSS %4d MB\n' "$name" \
    "$(printf '%s\n' "${times[@]}" | median)" "${times[*]}" \
    "$(( $(printf '%s\n' "${rss[@]}" | median) / 1024 ))"
}

echo "== $(date -u '+%F %T UTC')  $(uptime | sed 's/.*load/load/')  main at $(git -C "$build/.." log -1 --format=%h 2>/dev/null || echo '?')"
measure "import 100k -> 100k list" "$archives/listini-100000.mdb" "$bin/archivi" import @LIST "$archives/fonte.mdb" Prodotti "${slots[@]}" --purge no
measure "import 100k -> 1M list" "$archives/listini-1000000.mdb" "$bin/archivi" import @LIST "$archives/fonte.mdb" Prodotti "${slots[@]}" --purge no
measure "purge + import 100k -> 1M list" "$archives/listini-1000000.mdb" "$bin/archivi" import @LIST "$archives/fonte.mdb" Prodotti "${slots[@]}" --purge yes
measure "dump 1M list" "" "$bin/archivi" dump "$archives/listini-1000000.mdb" Articoli
measure "check 1M list" "" "$bin/archivi" check "$archives/listini-1000000.mdb"
if [[ -n "$fixtures" && -f "$fixtures/listini/listini.mdb" ]]; then
  STDIN_FILE="$work/rows.tsv" measure "insert 200k rows into listini.mdb" "$fixtures/listini/listini.mdb" "$bin/archivi" insert @LIST Articoli
fi
if [[ "${BENCHES:-yes}" == yes ]]; then
  for b in jet_read_bench jet_write_bench import_bench; do
    echo "== $b"
    "$bin/$b" 2>/dev/null | grep -vE '^(Run on|CPU Caches|  L[123]|Load Average|[*]{3}|$)' || true
  done
fi
