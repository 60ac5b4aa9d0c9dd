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
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
