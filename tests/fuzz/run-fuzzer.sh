#!/usr/bin/env bash
# run-fuzzer.sh FUZZER SECONDS WORKDIR SEEDS... : fuzzes for SECONDS from the
# seed directories (left untouched: new inputs go to WORKDIR/corpus) and
# fails when the fuzzer finds an input that crashes or fails a check; that
# input is written to WORKDIR/artifacts/ and belongs under
# tests/fuzz/regressions/ once understood.
set -euo pipefail
fuzzer=$1 seconds=$2 work=$3
shift 3
rm -rf "$work/corpus"
mkdir -p "$work/corpus" "$work/artifacts"
status=0
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$work/corpus" "$@" >"$work/log" 2>&1 || status=$?
grep -a -E '^(Done|stat::number_of_executed_units|stat::new_units_added)' "$work/log" || true
if [ "$status" -ne 0 ]; then
  tail -n 60 "$work/log"
  echo "run-fuzzer: $(basename "$fuzzer") failed; inputs kept in $work/artifacts/" >&2
fi
exit "$status"
