#!/usr/bin/env bash
# Builds vireon-flash-demo (release, no sanitizers) and runs it with the
# given arguments: the command-line updater on simulated surfaces whose two
# chips fit examples/vireon-surface-demo.cyacd. --help lists the commands,
# the options and the scenarios, for example:
#
#   scripts/flash-demo.sh update examples/vireon-surface-demo.cyacd
#   scripts/flash-demo.sh --scenario two --serial VS-0002 --json update examples/vireon-surface-demo.cyacd
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh >&2

build=build/demo
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVIREON_SANITIZE=OFF -DVIREON_FUZZ=OFF -DVIREON_TESTS=OFF -DVIREON_BENCH=OFF >&2
cmake --build "$build" --target vireon-flash-demo >&2
exec "$build/cli/vireon-flash-demo" "$@"
