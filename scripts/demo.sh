#!/usr/bin/env bash
# Builds vireon-control-demo (release, no sanitizers) and starts it: the
# updater's window on a simulated surface, so it can be tried without a
# device. It runs in build/demo/run, where log.txt and the temporary image
# files go; examples/ is copied there, so the file dialog opens next to
# examples/vireon-surface-demo.cyacd. Options are passed to the demo
# (--help lists them, for example --scenario absent).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build=build/demo
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVIREON_SANITIZE=OFF -DVIREON_FUZZ=OFF -DVIREON_TESTS=OFF -DVIREON_BENCH=OFF
cmake --build "$build" --target vireon-control-demo

run="$build/run"
mkdir -p "$run"
rm -rf "$run/examples"
cp -r examples "$run/examples"
cd "$run"
exec ../demo/vireon-control-demo "$@"
