#!/usr/bin/env bash
# private-display.sh OWNER_PID: starts a virtual display (Xvfb) with a window
# manager (openbox), prints the display number, and stops both once the
# process OWNER_PID has ended. The display must outlive its owner's exit: the
# web engine's threads still draw on it while the process is going away.
# Prints "no-window-manager" when no display with a window manager could be
# started.
set -u
owner=$1

# start_display: sets xvfb, wm and number, or fails. Servers started at the
# same moment can race for a display number, and a window manager can find
# its display gone; the caller then tries again.
start_display() {
  local numberfile
  numberfile=$(mktemp)
  Xvfb -displayfd 4 -screen 0 1600x1200x24 -nolisten tcp 4>"$numberfile" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 1 1500); do
    [ -s "$numberfile" ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.02
  done
  number=$(head -n1 "$numberfile")
  rm -f "$numberfile"
  if [ -z "$number" ] || ! DISPLAY=":$number" xdpyinfo >/dev/null 2>&1; then
    kill "$xvfb" 2>/dev/null
    return 1
  fi
  DISPLAY=":$number" openbox --sm-disable >/dev/null 2>&1 &
  wm=$!
  # On a loaded machine the window manager can take seconds to come up; a
  # test that starts without it fails in ways that say nothing about it.
  for _ in $(seq 1 1500); do
    DISPLAY=":$number" wmctrl -m >/dev/null 2>&1 && return 0
    kill -0 "$wm" 2>/dev/null || break
    sleep 0.02
  done
  kill "$wm" "$xvfb" 2>/dev/null
  return 1
}

started=0
for _ in 1 2 3 4 5; do
  if start_display; then
    started=1
    break
  fi
  sleep 0.2
done
if [ "$started" != 1 ]; then
  echo "no-window-manager"
  exit 1
fi
echo "$number"
exec 1>/dev/null
while kill -0 "$owner" 2>/dev/null; do sleep 0.2; done
kill "$wm" "$xvfb" 2>/dev/null
wait 2>/dev/null
