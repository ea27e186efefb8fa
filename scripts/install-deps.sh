#!/usr/bin/env bash
# Installs the Debian packages the build (and, with --test, the tests) need; only the
# missing ones. Run as root on Debian 12. When another installation holds the package
# manager's locks, waits for it (up to LOCK_WAIT_SECONDS, default 300) instead of failing.
set -euo pipefail

lock_wait="${LOCK_WAIT_SECONDS:-300}"

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-translations-l10n fonts-liberation2)
if [[ "${1:-}" == "--test" ]]; then
  packages+=(googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
             mdbtools python3 python3-xlrd xvfb xauth openbox x11-utils imagemagick locales
             lintian appstream)
fi

# apt-get waits for the dpkg locks itself when told to; the lock on the package lists,
# taken by `apt-get update`, it does not wait for, so that step is retried.
apt_install() {
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout="$lock_wait" install -y --no-install-recommends "$@"
}
apt_update() {
  local deadline=$((SECONDS + lock_wait)) log
  log="$(mktemp)"
  until apt-get -o DPkg::Lock::Timeout="$lock_wait" update 2>"$log"; do
    if ! grep -q "Could not get lock" "$log" || (( SECONDS >= deadline )); then
      cat "$log" >&2
      rm -f "$log"
      return 1
    fi
    echo "Another package installation is running; waiting for it to finish..."
    sleep 5
  done
  rm -f "$log"
}

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if (( ${#missing[@]} > 0 )); then
  echo "Installing: ${missing[*]}"
  apt_update
  apt_install "${missing[@]}"
fi

# Some tests run again under an Italian and a German desktop's locale (decimal comma): those
# locales must exist, which a fresh system does not have.
if [[ "${1:-}" == "--test" ]]; then
  for name in it_IT de_DE; do
    if ! locale -a 2>/dev/null | grep -qix "$name.utf-\?8"; then
      localedef -i "$name" -f UTF-8 "$name.UTF-8"
    fi
  done
fi

# The independent JavaScript reader the tests compare with, kept inside the build folder.
if [[ "${1:-}" == "--test" ]]; then
  if ! command -v npm >/dev/null; then
    apt_install nodejs npm
  fi
  root="$(cd "$(dirname "$0")/.." && pwd)"
  tools="$root/build/node-tools"
  if [[ ! -d "$tools/node_modules/mdb-reader" ]]; then
    mkdir -p "$tools"
    (cd "$tools" && npm install --silent --no-audit --no-fund mdb-reader@3 >/dev/null)
  fi
fi
