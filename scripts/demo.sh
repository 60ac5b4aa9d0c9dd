#!/usr/bin/env bash
# Builds vireon-control-demo (release, no sanitizers) and starts it: the
# updater's window on a simulated surface, so it can be tried without a
# device. It runs in the build folder's run/ (build/demo/run), where log.txt
# and the temporary image files go; examples/ is copied there, so the file
# dialog opens next to examples/vireon-surface-demo.cyacd. Options are
# passed to the demo (--help lists them, for example --scenario absent).
# VIREON_BUILD names another build folder (see scripts/demo-build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/demo-build.sh

demo_build vireon-control-demo
program=$(realpath "$programs/vireon-control-demo")
run="$build/run"
mkdir -p "$run"
rm -rf "$run/examples"
cp -r examples "$run/examples"
cd "$run"
exec "$program" "$@"
