#!/usr/bin/env bash
# private-display.sh OWNER_PID: starts a virtual display (Xvfb) with a window
# manager (openbox), prints the display number, and stops both once the
# process OWNER_PID has ended. The display must outlive its owner's exit: the
# web engine's threads still draw on it while the process is going away.
set -u
owner=$1
numberfile=$(mktemp)
Xvfb -displayfd 4 -screen 0 1600x1200x24 -nolisten tcp 4>"$numberfile" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 1 200); do
  [ -s "$numberfile" ] && break
  sleep 0.02
done
number=$(head -n1 "$numberfile")
rm -f "$numberfile"
DISPLAY=":$number" openbox --sm-disable >/dev/null 2>&1 &
wm=$!
for _ in $(seq 1 200); do
  DISPLAY=":$number" wmctrl -m >/dev/null 2>&1 && break
  sleep 0.02
done
echo "$number"
exec 1>/dev/null
while kill -0 "$owner" 2>/dev/null; do sleep 0.2; done
kill "$wm" "$xvfb" 2>/dev/null
wait 2>/dev/null
