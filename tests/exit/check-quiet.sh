#!/usr/bin/env bash
# check-quiet.sh HOST: runs the host and fails unless it ended with status 0
# and wrote nothing at all to standard output or standard error.
set -u
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
timeout 240 "$1" >"$out" 2>"$err"
status=$?
ok=1
if [ "$status" != 0 ]; then echo "the host ended with status $status"; ok=0; fi
if [ -s "$out" ]; then echo "standard output:"; head -c 3000 "$out"; ok=0; fi
if [ -s "$err" ]; then echo "standard error:"; head -c 3000 "$err"; ok=0; fi
[ "$ok" = 1 ] && echo "nothing written, status 0"
[ "$ok" = 1 ]
