#!/usr/bin/env bash
# Runs the README's minimal C host on a virtual display of its own, clicks its
# button as a user would, and checks that it printed the JavaScript result and
# the button's event, and ended by itself with status 0.
#   check_hello_example.sh WITH_DISPLAY_SCRIPT EXAMPLE_PROGRAM
set -u
if [ "${KIV_HELLO_INNER:-}" != 1 ]; then
  exec env -u DISPLAY KIV_HELLO_INNER=1 "$1" "$0" "$@"
fi
example=$2
out=$(mktemp)
trap 'rm -f "$out"' EXIT
stdbuf -oL "$example" >"$out" 2>/dev/null &
pid=$!

fail() {
  echo "FAILED: $*"
  echo "--- example output ---"
  cat "$out"
  kill "$pid" 2>/dev/null
  exit 1
}

for _ in $(seq 1 300); do
  grep -q '^result ' "$out" && break
  kill -0 "$pid" 2>/dev/null || fail "the example ended before printing its result"
  sleep 0.2
done
grep -qx 'result 0: {"exn":false,"oke":true,"result":42}' "$out" || fail "no result 42"

# The page has no title of its own: the window shows "Untitled". The window
# manager may still be starting (it lists no clients until it has): ask
# until it lists the window.
id=
for _ in $(seq 1 100); do
  id=$(wmctrl -l 2>/dev/null | awk '/ Untitled$/ {print $1}' | head -n1)
  [ -n "$id" ] && break
  sleep 0.2
done
[ -n "$id" ] || fail "no window on the display"
# The button is the page's first element, at its top left.
for _ in $(seq 1 10); do
  xdotool mousemove --window "$id" 30 18 click 1
  for _ in $(seq 1 25); do
    kill -0 "$pid" 2>/dev/null || break 2
    sleep 0.2
  done
done
kill -0 "$pid" 2>/dev/null && fail "the example did not end after its button was clicked"
wait "$pid"
status=$?
[ "$status" -eq 0 ] || fail "exit status $status"
grep -qx 'window 1: {"event":"js-evt","js-evt":{"clicked":true}}' "$out" \
  || fail "no js-evt event from the button"
grep -qx 'window 1: {"event":"closed"}' "$out" || fail "no closed event"
echo "example ok"
