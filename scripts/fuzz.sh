#!/usr/bin/env bash
# Runs one fuzz target for a given time, starting from its committed seed
# corpus.
#
#   scripts/fuzz.sh TARGET SECONDS
#
# TARGET is fuzz_file_reader, fuzz_responses, fuzz_program,
# fuzz_firmware_file or fuzz_signature. The build goes to build/fuzz (or $VIREON_BUILD_DIR). New corpus entries are kept under the
# build directory; crashes are written there too and reported at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ $# -ne 2 || ! "$2" =~ ^[0-9]+$ ]]; then
  echo "usage: $0 TARGET SECONDS" >&2
  echo "targets: fuzz_file_reader fuzz_responses fuzz_program fuzz_firmware_file fuzz_signature" >&2
  exit 2
fi
target=$1
seconds=$2
seeds=tests/fuzz/corpus/$target
if [[ ! -d "$seeds" ]]; then
  echo "$0: no fuzz target named $target" >&2
  exit 2
fi

build=${VIREON_BUILD_DIR:-build/fuzz}
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DVIREON_SANITIZE=ON -DVIREON_FUZZ=ON
fi
cmake --build "$build" --target "$target" -j "${VIREON_JOBS:-2}"

work=$build/tests/fuzz/run/$target
artifacts=$build/tests/fuzz/artifacts/$target
mkdir -p "$work" "$artifacts"
status=0
"$build/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$artifacts/" "$work" "$seeds" || status=$?
if [[ $status -ne 0 ]]; then
  echo "$0: $target failed; inputs in $artifacts" >&2
fi
exit $status
