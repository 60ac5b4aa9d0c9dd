#!/usr/bin/env bash
# Per-exchange and whole two-image update times on the real USB stack
# (system hidapi over umockdev) and on the simulated bus, in one run.
# Usage: scripts/bench-stacks.sh [build-dir]   (default build/release, made
# with optimisations and without sanitizers when missing)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVIREON_SANITIZE=OFF
fi
cmake --build "$build" -j2 --target bench_umockdev bench_simbus
export ASAN_OPTIONS=verify_asan_link_order=0
echo "== system hidapi over umockdev"
LD_PRELOAD=libumockdev-preload.so.0 "$build/bench/bench_umockdev" "${@:2}"
echo "== simulated bus"
"$build/bench/bench_simbus" "${@:2}"
