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
# VIREON_BUILD names another build folder (default build/demo; see
# scripts/demo-build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
shots=$(realpath -m "${1:-build/walkthrough}")
source scripts/demo-build.sh

demo_build vireon-control-demo
program=$(realpath "$programs/vireon-control-demo")

run=$(mktemp -d)
trap 'rm -rf "$run"' EXIT
mkdir -p "$shots"
cd "$run"
QT_QPA_PLATFORM=offscreen "$program" --walkthrough "$shots"
