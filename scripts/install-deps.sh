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
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
else
  echo "install-deps: installing ${missing[*]}"
  # Other builds on the machine may hold the package database's lock: wait
  # for it rather than fail.
  $sudo apt-get -o DPkg::Lock::Timeout=900 update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=900 install -y -q --no-install-recommends "${missing[@]}"
fi

# The page's npm packages (its signature library, the browser driver and
# the accessibility checker of its tests), exactly as package-lock.json
# pins them.
cd "$(dirname "$0")/.."
if ! npm ls --silent >/dev/null 2>&1; then
  echo "install-deps: npm ci"
  npm ci --no-audit --no-fund
fi
