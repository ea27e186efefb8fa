#!/usr/bin/env bash
# Our readers against reference ones, on the benchmark archives: `archivi dump` of the
# 100,000-article list against mdbtools' mdb-export of the same table, and the 60,000-row
# workbook opened and read whole by our engine (excel_bench --walk-once) and dumped by
# archivi, against xlrd (python3-xlrd) reading every cell (bench/read_workbook_xlrd.py).
#   bench/compare_readers.sh BUILD ARCHIVES [RUNS]
# BUILD and ARCHIVES as for measure_tools.sh. The two sides of a pair run in turn, RUNS times
# (default 11), so that a load that comes and goes meets both; the median wall time of each
# side and how many times faster ours is are printed.
set -euo pipefail
build="$(cd "$1" && pwd)" archives="$(cd "$2" && pwd)" runs="${3:-11}"
bin="$build/bin" here="$(cd "$(dirname "$0")" && pwd)"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
seconds() {  # wall time of one run of the command, output thrown away
  local start end
  start=$(date +%s%N)
  "$@" > /dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.4f\n", ns / 1e9 }'
}
# compare NAME "OUR COMMAND" "THEIR COMMAND"
compare() {
  local name="$1" ours=() theirs=()
  for ((i = 0; i < runs; ++i)); do
    ours+=("$(eval seconds "$2")")
    theirs+=("$(eval seconds "$3")")
  done
  local a b
  a=$(printf '%s\n' "${ours[@]}" | median) b=$(printf '%s\n' "${theirs[@]}" | median)
  printf '%-44s ours %7.4f s   theirs %7.4f s   ours %5.1fx faster\n' "$name" "$a" "$b" "$(awk -v a="$a" -v b="$b" 'BEGIN { print b / a }')"
}

echo "== $(date -u '+%F %T UTC')  $(uptime | sed 's/.*load/load/')"
list="$archives/listini-100000.mdb" book="$archives/listino-60000.xls"
compare "dump 100k list / mdb-export" \
  "'$bin/archivi' dump '$list' Articoli" "mdb-export '$list' Articoli"
compare "read 60k-row workbook / xlrd" \
  "'$bin/excel_bench' --walk-once '$book'" "/usr/bin/python3 '$here/read_workbook_xlrd.py' '$book'"
compare "dump 60k-row workbook / xlrd" \
  "'$bin/archivi' dump '$book' 'Listino\$'" "/usr/bin/python3 '$here/read_workbook_xlrd.py' '$book'"
