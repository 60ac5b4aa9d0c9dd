# Sourced by the scripts that run the demo programs (demo.sh, flash-demo.sh,
# walkthrough.sh, screenshot.sh, bench-fleet.sh), from the top of the
# source tree:
#
#   demo_build TARGET...
#
# installs what is missing (its output on standard error, so that a demo's
# standard output stays its own), then builds the targets in the folder
# VIREON_BUILD names, or build/demo. A folder that is not configured yet is
# configured for a release build without sanitizers, tests or benchmarks;
# one that is keeps its own settings, so the tests can point the scripts at
# the build they test. Several scripts at once (the desks of the fleet
# example) take turns at the build. Sets `build` to the folder and `programs`
# to where the demo programs are in it.
demo_build() {
  scripts/install-deps.sh >&2
  build=${VIREON_BUILD:-build/demo}
  programs=$build/demo
  mkdir -p "$build"
  (
    flock 9
    if [ ! -f "$build/CMakeCache.txt" ]; then
      cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DVIREON_SANITIZE=OFF -DVIREON_FUZZ=OFF -DVIREON_TESTS=OFF -DVIREON_BENCH=OFF >&2
    fi
    cmake --build "$build" --target "$@" >&2
  ) 9>"$build/.demo-build.lock"
}
