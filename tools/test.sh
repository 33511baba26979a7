#!/usr/bin/env bash
# Sets up this machine, builds everything and runs the whole test suite.
#   SANITIZE=1 tools/test.sh      build with address and undefined-behaviour sanitizers
#   BUILD_DIR=dir tools/test.sh   build somewhere else than build/ (build-asan/ with SANITIZE=1)
#   tools/test.sh -L unit         extra arguments go to ctest
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

tools/install-deps.sh

sanitize=OFF
default_dir=build
if [ "${SANITIZE:-0}" = 1 ]; then
  sanitize=ON
  default_dir=build-asan
fi
build=${BUILD_DIR:-$default_dir}
jobs=$(nproc)

cmake -S . -B "$build" -G Ninja -DSANITIZE=$sanitize -DBUILD_TESTING=ON
cmake --build "$build" -j "$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd "$build"
ctest --output-on-failure -j "$jobs" --timeout 300 "$@"
