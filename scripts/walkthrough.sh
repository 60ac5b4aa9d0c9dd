#!/usr/bin/env bash
# Builds vireon-control-demo (release, no sanitizers) and lets it play a whole
# update on its own against its simulated surface (1 ms per report, 3 s off
# the bus after each stage), on the offscreen platform, in a fresh folder:
# it chooses the example file, presses UPDATE, closes every box, saves a
# picture of each stage, then prints the log and the figures (time of each
# stage against the USB floor of its reports, the GUI thread's CPU time,
# peak resident memory). Exits 0 only when the update succeeded.
#
#   scripts/walkthrough.sh [DIR]   pictures go to DIR (default build/walkthrough)
#
# VIREON_BUILD names another build folder (default build/demo).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
shots=$(realpath -m "${1:-build/walkthrough}")

scripts/install-deps.sh

build=${VIREON_BUILD:-build/demo}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVIREON_SANITIZE=OFF -DVIREON_FUZZ=OFF -DVIREON_TESTS=OFF -DVIREON_BENCH=OFF
cmake --build "$build" --target vireon-control-demo

run=$(mktemp -d)
trap 'rm -rf "$run"' EXIT
mkdir -p "$shots"
cd "$run"
QT_QPA_PLATFORM=offscreen "$root/$build/demo/vireon-control-demo" --walkthrough "$shots"
