#!/usr/bin/env bash
# Builds the project in build/ (optimised, as run-tests.sh does; incrementally) and runs the benchmark
# program on a virtual display when none is set. It prints a table and writes
# the same figures as JSON, by default to build/benchmark-results.json.
# Arguments go to the program: --json PATH, --quick (fewer repetitions),
# --verbose (show the engine's own messages).
# Take final figures on a quiet machine: other load shows in every figure.
# What the figures mean and how the idle cost was examined: docs/performance.md.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIV_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKIVWEBVIEW_BUILD_BENCHMARKS=ON ${KIV_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" --parallel 2 --target kiv_benchmark event_path_benchmark

json="$build/benchmark-results.json"
for arg in "$@"; do
  if [ "${prev:-}" = "--json" ]; then json=$arg; fi
  prev=$arg
done

"$build/benchmarks/event_path_benchmark" 100000 9 ascii
"$root/scripts/with-display.sh" "$build/benchmarks/kiv_benchmark" --json "$json" "$@"
