#!/usr/bin/env bash
# Builds the Debian package of the updater and checks it with lintian.
#
#   scripts/package.sh [--install] [--no-deps] [--out DIR]
#
# Installs the build dependencies that debian/control names and the machine
# lacks (apt-get, with sudo when not root; --no-deps only checks them),
# builds the .deb from a copy of the sources in DIR/src so the source tree
# stays clean, moves the .deb to DIR (default build/package), runs lintian
# on it and prints the command that installs it (--install runs it).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

out=build/package
install=0
deps=1
while [ $# -gt 0 ]; do
  case "$1" in
    --install) install=1 ;;
    --no-deps) deps=0 ;;
    --out) out=$2; shift ;;
    *) echo "usage: scripts/package.sh [--install] [--no-deps] [--out DIR]" >&2; exit 2 ;;
  esac
  shift
done
mkdir -p "$out"
out=$(cd "$out" && pwd)

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
apt_install() {
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get "$@"
}

# The tools around the build, then what debian/control asks for.
tools=()
command -v dpkg-checkbuilddeps >/dev/null || tools+=(dpkg-dev)
command -v lintian >/dev/null || tools+=(lintian)
if [ ${#tools[@]} -gt 0 ]; then
  [ "$deps" = 1 ] || { echo "package: missing ${tools[*]}" >&2; exit 1; }
  apt_install install -y -q --no-install-recommends "${tools[@]}"
fi
if ! dpkg-checkbuilddeps debian/control; then
  [ "$deps" = 1 ] || exit 1
  apt_install build-dep -y -q --no-install-recommends "$top"
fi

# A fresh copy of the sources, without build trees or git's data.
version=$(dpkg-parsechangelog -S Version)
src="$out/src/vireon-control-${version%-*}"
rm -rf "$out/src"
mkdir -p "$src"
tar -C "$top" --exclude=./.git --exclude=./build --exclude='./build-*' \
  --exclude=./node_modules --exclude='./obj-*' -cf - . | tar -C "$src" -xf -
# The browser page's one npm package at run time, libsodium's JavaScript
# build, as package-lock.json pins it (npm ci brings it when missing).
[ -d node_modules/libsodium-wrappers ] || npm ci --no-audit --no-fund
mkdir -p "$src/node_modules"
cp -r node_modules/libsodium node_modules/libsodium-wrappers "$src/node_modules/"

# debhelper gives the build a home of its own, so ccache is told where its
# cache really is.
if command -v ccache >/dev/null; then
  export CCACHE_DIR="${CCACHE_DIR:-$(ccache -k cache_dir)}"
  export CCACHE_BASEDIR="$src"
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi

(cd "$src" && dpkg-buildpackage -us -uc -b -J"${VIREON_JOBS:-2}")

deb="vireon-control_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).deb"
mv "$out/src/$deb" "$out/$deb"
rm -rf "$out/src"

echo "package: lintian $out/$deb"
lintian --fail-on error,warning --display-info "$out/$deb"
echo "package: built $out/$deb ($(stat -c %s "$out/$deb") bytes)"

if [ "$install" = 1 ]; then
  $sudo apt-get install -y "$out/$deb"
else
  echo "Install it with:"
  echo "    sudo apt install $out/$deb"
fi
