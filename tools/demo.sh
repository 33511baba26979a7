#!/usr/bin/env bash
# Sets up this machine, builds everything and starts what the system has so
# far. Programs that bind the system's fixed ports run in their own network
# namespace, so nothing reaches a real interface.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

tools/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target solvane

if [ -x build/bin/solvane ]; then
  echo "Starting the display server (Ctrl+C ends it)."
  exec tools/netns-run tools/xvfb-test build/bin/solvane --base-dir "$here/build/run" "$@"
fi
echo "Built libraries:"
ls build/bin
echo "The display server and the console are not built yet; see README.md."
