#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, and
# only those that are missing. Safe to run again. Uses sudo only when not root.
set -euo pipefail

packages=(
  g++ clang libclang-rt-14-dev cmake ninja-build pkg-config
  qtbase5-dev qtbase5-dev-tools libqt5test5
  libhidapi-dev umockdev libumockdev-dev libudev-dev
  libsodium-dev minisign
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core
  ansible-core
  xvfb x11-utils dbus-daemon dbus-bin at-spi2-core python3-pyatspi python3-gi
  graphviz
  build-essential dpkg-dev debhelper lintian appstream desktop-file-utils file imagemagick
  emscripten chromium
)
# The page's tests drive Chromium from Node.js; a machine with its own
# Node.js has npm with it.
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

# Another apt or dpkg at work (an unattended upgrade, an install in another
# terminal) holds the package system's lock, and apt-get gives up at once:
# wait for it, trying again every few seconds, for at most
# VIREON_APT_LOCK_WAIT seconds (default 600).
lock_wait=${VIREON_APT_LOCK_WAIT:-600}
lock_retry=${VIREON_APT_LOCK_RETRY:-5}
apt_get() {
  local waited=0 status said="" holder errors
  errors=$(mktemp)
  while :; do
    status=0
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get "$@" 2>"$errors" || status=$?
    if [ $status -eq 0 ] || ! grep -qE 'Could not get lock|Unable to (acquire|lock)' "$errors"; then
      cat "$errors" >&2
      rm -f "$errors"
      return $status
    fi
    holder=$(grep -oE 'held by process [0-9]+( \([^)]*\))?' "$errors" | head -n 1 || true)
    if [ "$waited" -ge "$lock_wait" ]; then
      cat "$errors" >&2
      rm -f "$errors"
      echo "install-deps: another package manager${holder:+ (${holder#held by })} still holds the package" \
        "system's lock after $waited s. Let it finish (or close it), then run scripts/install-deps.sh again;" \
        "VIREON_APT_LOCK_WAIT=SECONDS waits longer." >&2
      return $status
    fi
    if [ -z "$said" ]; then
      echo "install-deps: another package manager${holder:+ (${holder#held by })} holds the package system's" \
        "lock; waiting for it (at most $lock_wait s)" >&2
      said=1
    fi
    sleep "$lock_retry"
    waited=$((waited + lock_retry))
  done
}

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
else
  echo "install-deps: installing ${missing[*]}"
  apt_get update -q
  apt_get install -y -q --no-install-recommends "${missing[@]}"
fi

# The page's npm packages (its signature library, the browser driver and
# the accessibility checker of its tests), exactly as package-lock.json
# pins them.
# Several scripts may start at once (the desks of the fleet example), and
# two npm ci in one tree undo each other: one at a time, each looking again
# once it holds the tree's lock.
cd "$(dirname "$0")/.."
exec 8<.
flock 8
if ! npm ls --silent >/dev/null 2>&1; then
  echo "install-deps: npm ci"
  npm ci --no-audit --no-fund
fi
exec 8<&- # the lock goes with the descriptor
