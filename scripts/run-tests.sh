#!/usr/bin/env bash
# Builds everything and runs every test: installs what is missing, configures
# and builds in build/ (incrementally), and runs the suite with ctest -j2 on a
# virtual display when none is set. Extra arguments go to ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIV_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${KIV_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" --parallel 2
cd "$build"
"$root/scripts/with-display.sh" ctest -j2 --output-on-failure --timeout 300 "$@"
