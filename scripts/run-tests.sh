#!/usr/bin/env bash
# Builds everything and runs every test: installs what is missing, configures
# and builds in build/ (incrementally), and runs the suite with ctest -j2 on a
# virtual display when none is set. Extra arguments go to ctest.
#
# Then, the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer
# in build-asan/ (KIV_ASAN_BUILD_DIR); any sanitizer report fails its test.
# KIV_SANITIZER_STAGE=0 skips it. A test that fails is run once more before
# it counts as failed: many browser processes on two cores occasionally miss
# a generous deadline; a fault that is real fails both runs.
# The bounded fuzz runs (tests/fuzz, clang)
# are part of the first suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIV_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${KIV_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" --parallel 2
cd "$build"
"$root/scripts/with-display.sh" ctest -j2 --output-on-failure --timeout 300 --repeat until-pass:2 "$@"

if [ "${KIV_SANITIZER_STAGE:-1}" != 0 ]; then
  asan=${KIV_ASAN_BUILD_DIR:-$root/build-asan}
  echo "== The suite under AddressSanitizer and UndefinedBehaviorSanitizer ($asan)"
  cmake -S "$root" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKIVWEBVIEW_SANITIZE=ON -DKIVWEBVIEW_FUZZ=OFF -DKIVWEBVIEW_BUILD_BENCHMARKS=OFF \
    ${KIV_CMAKE_ARGS:-} >/dev/null
  cmake --build "$asan" --parallel 2
  cd "$asan"
  "$root/scripts/with-display.sh" ctest -j2 --output-on-failure --timeout 600 --repeat until-pass:2 "$@"
fi
