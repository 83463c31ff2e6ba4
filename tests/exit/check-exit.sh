#!/usr/bin/env bash
# check-exit.sh RUNS EXPECTED_STATUS COMMAND...: runs a host RUNS times, one
# after the other, and fails unless every run ended with EXPECTED_STATUS (a
# crash ends with a signal's status instead). Run it on a display.
set -u
runs=$1 expected=$2
shift 2
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
bad=0
for i in $(seq 1 "$runs"); do
  timeout 120 "$@" >/dev/null 2>"$errors"
  status=$?
  if [ "$status" != "$expected" ]; then
    bad=$((bad + 1))
    echo "run $i ended with status $status, expected $expected; its standard error ends:"
    tail -n 15 "$errors"
  fi
done
echo "$((runs - bad)) of $runs runs ended with status $expected"
[ "$bad" -eq 0 ]
