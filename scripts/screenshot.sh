#!/usr/bin/env bash
# Takes a picture of the program's window: builds the program if needed (in $BUILD_DIR,
# default build/), starts it under a virtual X server with the openbox window manager, and
# writes the window, title bar included, to the PNG file given.
#   scripts/screenshot.sh OUT.png                 the window as it opens
#   scripts/screenshot.sh --after-import OUT.png  after importing samples/fonte-esempio.mdb
#                                                 with the mouse and keyboard (needs xdotool)
# The program runs from a temporary folder with a copy of an empty price list beside it, so
# that its start-up finds listini.mdb and nothing in the build folder changes.
set -euo pipefail
after_import=0
if [[ "${1:-}" == "--after-import" ]]; then
  after_import=1
  shift
fi
if [[ $# -ne 1 ]]; then
  echo "usage: $0 [--after-import] OUT.png" >&2
  exit 2
fi
if (( after_import )) && ! command -v xdotool >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends xdotool >/dev/null
fi
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "$1")"
build="${BUILD_DIR:-$root/build}"

if [[ ! -f "$build/build.ninja" ]]; then
  "$root/scripts/configure.sh" "$build" program >/dev/null
fi
cmake --build "$build" --target importazione-archivi >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$build/bin/importazione-archivi" "$work/"
cp "$root/samples/fonte-esempio.mdb" "$work/"
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
work="$1" out="$2" after_import="$3"
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

# Clicks at a point of the window's client area, in pixels.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.5; }
keys() { xdotool key --delay 60 "$@"; sleep 0.3; }
# Opens a drop-down list at (x, y) and takes the entry `downs` places below the first.
choose() {
  click "$1" "$2"
  keys Home
  for _ in $(seq 1 "$3"); do keys Down; done
  keys Return
}
if [[ "$after_import" == 1 ]]; then
  click 53 51                                   # Sfoglia
  xdotool type --delay 20 "$work/fonte-esempio.mdb"
  keys Return
  sleep 1
  choose 360 131 1                              # Combo2: Prodotti
  # Column pickers (x, y of row, entry): "" Id Codice Nome Descrizione Prezzo Categoria Immagine
  choose 212 203 2                              # picker 1: Codice
  choose 212 231 6                              # picker 0: Categoria
  choose 212 259 3                              # picker 2: Nome
  choose 212 283 4                              # picker 3: Descrizione
  choose 212 307 5                              # picker 4: Prezzo
  choose 212 355 7                              # picker 6: Immagine
  click 312 475                                 # Importa
  sleep 1
  keys Return                                   # "Importazione eseguita."
  sleep 1
fi
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
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$work/capture.sh" "$work" "$out" "$after_import"
if (( after_import )) && [[ -x "$build/bin/archivi" ]]; then
  rows=$("$build/bin/archivi" dump "$work/listini.mdb" Articoli | tail -n +2 | wc -l)
  echo "articles in the price list after the import: $rows"
fi
echo "$out"
