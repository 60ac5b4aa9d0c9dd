#!/usr/bin/env bash
# The browser page's figures beside the desktop host's, in one run: the
# page's transferred size (gzip) and first paint in headless Chromium, and
# one exchange through the page's WebAssembly core and WebHID (the
# stand-in's simulated surface) against one through the desktop's HID
# transport on the simulated bus (bench_simbus BM_Exchange), with their
# ratio. Both surfaces add no bus latency; a USB frame is 1 ms.
# Usage: scripts/bench-web.sh [build-dir] [runs]   (default build/release,
# made with optimisations and without sanitizers when missing)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
runs=${2:-5}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVIREON_SANITIZE=OFF
fi
cmake --build "$build" -j2 --target bench_simbus bench_web vireon_web vireon_web_standin
desktop_ns=$("$build/bench/bench_simbus" --benchmark_filter='BM_Exchange$' --benchmark_format=json |
  python3 -c 'import json, sys; b = json.load(sys.stdin)["benchmarks"][0]
print(b["real_time"] * {"ns": 1, "us": 1e3, "ms": 1e6}[b["time_unit"]])')
node bench/web/page_figures.mjs "$build" "$runs" "$desktop_ns"
