#!/usr/bin/env bash
# Installs what the build needs, builds the program in build/ and starts it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

scripts/install-deps.sh
scripts/configure.sh build program
cmake --build build

# A new user gets an empty price list beside the program.
if [[ ! -f build/bin/listini.mdb && -x build/bin/archivi ]]; then
  build/bin/archivi create build/bin/listini.mdb || echo "Could not create build/bin/listini.mdb"
fi
exec build/bin/importazione-archivi "$@"
