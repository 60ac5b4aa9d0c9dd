#!/usr/bin/env bash
# Makes docs/screenshot.png from the real widgets: the demo program, on the
# offscreen platform, chooses the example file through its own dialog, waits
# for the presence check to offer UPDATE and saves its window. VIREON_BUILD
# names another build folder (see scripts/demo-build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/demo-build.sh

demo_build vireon-control-demo
program=$(realpath "$programs/vireon-control-demo")

run=$(mktemp -d)
trap 'rm -rf "$run"' EXIT
cp -r examples "$run/examples"
mkdir -p docs
(cd "$run" && QT_QPA_PLATFORM=offscreen "$program" --screenshot "$root/docs/screenshot.png")
echo "screenshot: docs/screenshot.png"
