#!/usr/bin/env bash
# Takes a picture of the program's window: builds the program if needed (in $BUILD_DIR,
# default build/), starts it under a virtual X server with the openbox window manager, and
# writes the window, title bar included, to the PNG file given.
#   scripts/screenshot.sh OUT.png
# The program runs from a temporary folder with a copy of an empty price list beside it, so
# that its start-up finds listini.mdb and nothing in the build folder changes.
set -euo pipefail
if [[ $# -ne 1 ]]; then
  echo "usage: $0 OUT.png" >&2
  exit 2
fi
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "$1")"
build="${BUILD_DIR:-$root/build}"

if [[ ! -f "$build/build.ninja" ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DARCHIVI_BUILD_TESTS=OFF \
    -DARCHIVI_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target importazione-archivi >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$build/bin/importazione-archivi" "$work/"
fixtures="${ARCHIVI_FIXTURES:-$root/../shared/fixtures}"
if [[ -f "$fixtures/listini/listini.mdb" ]]; then
  cp "$fixtures/listini/listini.mdb" "$work/listini.mdb"
elif [[ -x "$build/bin/archivi" ]]; then
  "$build/bin/archivi" create "$work/listini.mdb" >/dev/null 2>&1 || true
fi
[[ -f "$work/listini.mdb" ]] || echo "warning: no listini.mdb; the program may only report it missing" >&2

# Runs inside the virtual display: window manager, program, wait for the window, capture.
cat >"$work/capture.sh" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
work="$1" out="$2"
openbox >/dev/null 2>&1 &
sleep 1
(cd "$work" && exec ./importazione-archivi) >"$work/program.log" 2>&1 &
program=$!
window=""
for _ in $(seq 1 100); do
  tree=$(xwininfo -root -tree 2>/dev/null || true)
  window=$(awk '/"Importazione archivi"/ {print $1}' <<<"$tree" | head -n 1)
  [[ -n "$window" ]] && break
  sleep 0.1
done
if [[ -z "$window" ]]; then
  echo "the window did not appear" >&2
  cat "$work/program.log" >&2
  exit 1
fi
sleep 1  # let the window manager place and decorate it, and the window paint itself
geometry=$(xwininfo -id "$window")
x=$(awk '/Absolute upper-left X/ {print $4}' <<<"$geometry")
y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$geometry")
width=$(awk '/Width:/ {print $2}' <<<"$geometry")
height=$(awk '/Height:/ {print $2}' <<<"$geometry")
# Widen the client area by the window manager's frame: its border and title bar.
border=$(awk '/Relative upper-left X/ {print $4}' <<<"$geometry")
title=$(awk '/Relative upper-left Y/ {print $4}' <<<"$geometry")
x=$((x - border)) y=$((y - title))
width=$((width + 2 * border)) height=$((height + title + border))
import -window root -crop "${width}x${height}+${x}+${y}" +repage "$out"
kill "$program" 2>/dev/null || true
INNER
chmod +x "$work/capture.sh"
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$work/capture.sh" "$work" "$out"
echo "$out"
