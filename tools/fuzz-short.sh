#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers) and runs each one a bounded number of times over its seeds, so
# that a parser that crashes, hangs or trips a sanitizer again shows up.
#   tools/fuzz-short.sh                 the short run (ctest label fuzz)
#   FUZZ_RUNS=20000 tools/fuzz-short.sh more runs per target
#   BUILD_DIR=dir tools/fuzz-short.sh   build somewhere else than build-fuzz/
# What a run finds goes to <build>/fuzz/found/<target>/; a crashing input is
# written to the build folder as crash-<sha1> (see the README to replay it).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

FUZZ_DEPS=1 tools/install-deps.sh

build=${BUILD_DIR:-build-fuzz}
jobs=${JOBS:-$(nproc)}
runs=()
if [ -n "${FUZZ_RUNS:-}" ]; then
  runs=(-DSV_FUZZ_RUNS="$FUZZ_RUNS")
fi

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DFUZZ=ON -DBUILD_TESTING=OFF "${runs[@]}"
cmake --build "$build" -j "$jobs" --target sv_fuzzers
cd "$build"
ctest --output-on-failure -j "$jobs" -L fuzz "$@"
