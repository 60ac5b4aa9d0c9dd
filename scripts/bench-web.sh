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
desktop_ns=$("$build/bench/bench_simbus" --benchmark_filter='BM_Exchange$' --benchmark_format=json \
  | node -e 'let s="";process.stdin.on("data",d=>s+=d).on("end",()=>{const b=JSON.parse(s).benchmarks[0];console.log(b.real_time*({ns:1,us:1e3,ms:1e6}[b.time_unit]))})')
node bench/web/page_figures.mjs "$build" "$runs" | node -e '
let s = ""; process.stdin.on("data", (d) => s += d).on("end", () => {
  const page = JSON.parse(s);
  const desktopUs = Number(process.argv[1]) / 1000;
  for (const [file, size] of Object.entries(page.files)) console.log(`${file.padEnd(16)} ${String(size.bytes).padStart(8)} B  gzip ${String(size.gzip).padStart(7)} B`);
  console.log(`${"page at load".padEnd(16)} ${String(page.total.bytes).padStart(8)} B  gzip ${String(page.total.gzip).padStart(7)} B`);
  console.log(`${"+ for signatures".padEnd(16)} ${String(page.signatureTotal.bytes).padStart(8)} B  gzip ${String(page.signatureTotal.gzip).padStart(7)} B (libsodium, loaded when a signature is checked)`);
  console.log(`first paint           ${page.firstPaintMs.toFixed(1)} ms (median of ${page.runs}); a bare page of one line ${page.bareFirstPaintMs.toFixed(1)} ms, ratio ${(page.firstPaintMs / page.bareFirstPaintMs).toFixed(2)}`);
  console.log(`one exchange, page    ${page.exchangeUs.toFixed(1)} us (HID transport in WebAssembly, WebHID, stand-in surface)`);
  console.log(`  of which stand-in   ${page.standinUs.toFixed(1)} us (the same exchange from JavaScript, straight to the stand-in)`);
  console.log(`  page path alone     ${(page.exchangeUs - page.standinUs).toFixed(1)} us`);
  console.log(`one exchange, desktop ${desktopUs.toFixed(1)} us (HID transport, simulated bus)`);
  console.log(`ratio page/desktop    ${(page.exchangeUs / desktopUs).toFixed(1)}`);
  console.log(`in whole updates      ${page.updateExchangeUs.toFixed(1)} us per exchange (rendering included)`);
});' "$desktop_ns"
