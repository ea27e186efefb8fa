#!/usr/bin/env bash
# Installs the Debian packages the build (and, with --test, the tests) need; only the
# missing ones. Run as root on Debian 12.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-translations-l10n fonts-liberation2)
if [[ "${1:-}" == "--test" ]]; then
  packages+=(googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
             mdbtools python3 python3-xlrd xvfb xauth openbox x11-utils imagemagick)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if (( ${#missing[@]} > 0 )); then
  echo "Installing: ${missing[*]}"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The independent JavaScript reader the tests compare with, kept inside the build folder.
if [[ "${1:-}" == "--test" ]]; then
  if ! command -v npm >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends nodejs npm
  fi
  root="$(cd "$(dirname "$0")/.." && pwd)"
  tools="$root/build/node-tools"
  if [[ ! -d "$tools/node_modules/mdb-reader" ]]; then
    mkdir -p "$tools"
    (cd "$tools" && npm install --silent --no-audit --no-fund mdb-reader@3 >/dev/null)
  fi
fi
