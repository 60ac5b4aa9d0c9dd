#!/usr/bin/env bash
# Builds vireon-flash-demo (release, no sanitizers) and runs it with the
# given arguments: the command-line updater on simulated surfaces whose two
# chips fit examples/vireon-surface-demo.cyacd. --help lists the commands,
# the options and the scenarios, for example:
#
#   scripts/flash-demo.sh update examples/vireon-surface-demo.cyacd
#   scripts/flash-demo.sh --scenario two --serial VS-0002 --json update examples/vireon-surface-demo.cyacd
#
# Only the program's own output goes to standard output (the build's goes to
# standard error), so the script stands in for the program, as the fleet
# example's desks use it. VIREON_BUILD names another build folder (default
# build/demo; see scripts/demo-build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/demo-build.sh

demo_build vireon-flash-demo
exec "$programs/vireon-flash-demo" "$@"
