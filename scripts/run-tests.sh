#!/usr/bin/env bash
# Builds everything and runs every test: installs what is missing, configures
# and builds in build/ (incrementally), and runs the suite with ctest -j2 on a
# virtual display when none is set. Extra arguments go to ctest.
#
# Then, the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer
# in build-asan/ (KIV_ASAN_BUILD_DIR); any sanitizer report fails its test.
# KIV_SANITIZER_STAGE=0 skips it. The bounded fuzz runs (tests/fuzz, clang)
# are part of the first suite.
#
# A test that fails is run once more before it counts as failed. A retry is a
# symptom, never a cure: the command ends with the list of every test that
# passed only on its retry, with the last lines of its first failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIV_BUILD_DIR:-$root/build}
retried=$(mktemp)
trap 'rm -f "$retried"' EXIT

# run_suite BUILD_DIR TIMEOUT [CTEST ARGS...]: runs the suite, then its
# failures once more; fails when a test fails both times.
run_suite() {
  local dir=$1 timeout=$2
  shift 2
  cd "$dir"
  local status=0
  "$root/scripts/with-display.sh" ctest -j2 --output-on-failure --timeout "$timeout" "$@" || status=$?
  [ "$status" -eq 0 ] && return 0
  local failed=Testing/Temporary/LastTestsFailed.log
  if [ ! -s "$failed" ]; then
    return "$status"
  fi
  cp "$failed" first-failures.log
  cp Testing/Temporary/LastTest.log first-attempt.log
  echo "== Running the failed tests once more:"
  sed 's/^[0-9]*://' first-failures.log
  status=0
  "$root/scripts/with-display.sh" ctest --rerun-failed --output-on-failure --timeout "$timeout" \
    || status=$?
  # Those that passed this time passed only on their retry.
  local name
  while IFS= read -r name; do
    name=${name#*:}
    if [ "$status" -eq 0 ] || ! sed 's/^[0-9]*://' Testing/Temporary/LastTestsFailed.log \
      2>/dev/null | grep -qxF "$name"; then
      {
        echo "-- $name ($dir), first failure ends:"
        awk -v name="$name" '
          $0 ~ ("Testing: " name "$") { on = 1; next }
          on && index($0, "\"" name "\" end time") == 1 { on = 0 }
          on { print }' first-attempt.log | grep -v '^$' | tail -n 15
      } >>"$retried"
    fi
  done <first-failures.log
  return "$status"
}

# report_retries [failed]: lists the tests that passed only on their retry;
# "failed" when the suite failed (a test failed on both attempts).
report_retries() {
  if [ -s "$retried" ]; then
    echo
    echo "== Tests that passed only on their retry:"
    cat "$retried"
  elif [ "${1:-}" != failed ]; then
    echo "== No test needed a retry."
  fi
  if [ "${1:-}" = failed ]; then
    echo "== The suite failed: a test failed on its retry too (above)."
  fi
}

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${KIV_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" --parallel 2
run_suite "$build" 300 "$@" || { report_retries failed; exit 1; }

if [ "${KIV_SANITIZER_STAGE:-1}" != 0 ]; then
  asan=${KIV_ASAN_BUILD_DIR:-$root/build-asan}
  echo "== The suite under AddressSanitizer and UndefinedBehaviorSanitizer ($asan)"
  cmake -S "$root" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKIVWEBVIEW_SANITIZE=ON -DKIVWEBVIEW_FUZZ=OFF -DKIVWEBVIEW_BUILD_BENCHMARKS=OFF \
    ${KIV_CMAKE_ARGS:-} >/dev/null
  cmake --build "$asan" --parallel 2
  run_suite "$asan" 600 "$@" || { report_retries failed; exit 1; }
fi
report_retries
