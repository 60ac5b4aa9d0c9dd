#!/usr/bin/env bash
# Makes docs/screenshot.png from the real widgets: the demo program, on the
# offscreen platform, chooses the example file through its own dialog, waits
# for the presence check to offer UPDATE and saves its window.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh

build=build/demo
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVIREON_SANITIZE=OFF -DVIREON_FUZZ=OFF -DVIREON_TESTS=OFF -DVIREON_BENCH=OFF
cmake --build "$build" --target vireon-control-demo

run=$(mktemp -d)
trap 'rm -rf "$run"' EXIT
cp -r examples "$run/examples"
mkdir -p docs
(cd "$run" && QT_QPA_PLATFORM=offscreen "$root/$build/demo/vireon-control-demo" \
  --screenshot "$root/docs/screenshot.png")
echo "screenshot: docs/screenshot.png"
