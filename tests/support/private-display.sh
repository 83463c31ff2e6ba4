#!/usr/bin/env bash
# private-display.sh OWNER_PID: starts a virtual display (Xvfb) with a window
# manager (openbox), prints the display number, and stops both once the
# process OWNER_PID has ended. The display must outlive its owner's exit: the
# web engine's threads still draw on it while the process is going away.
# Prints "no-window-manager" when no display with a window manager could be
# started, and on its standard error why each attempt failed; it closes both
# streams once the display is up, so that they do not outlive the start.
set -u
owner=$1

# start_display: sets xvfb, wm and number, or fails. Servers started at the
# same moment can race for a display number, and a window manager can find
# its display gone; the caller then tries again.
start_display() {
  local numberfile
  numberfile=$(mktemp)
  : >"$xvfblog"
  : >"$wmlog"
  Xvfb -displayfd 4 -screen 0 1600x1200x24 -nolisten tcp 4>"$numberfile" >"$xvfblog" 2>&1 &
  xvfb=$!
  for _ in $(seq 1 1500); do
    [ -s "$numberfile" ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.02
  done
  number=$(head -n1 "$numberfile")
  rm -f "$numberfile"
  if [ -z "$number" ]; then
    failure "Xvfb gave no display number" "$xvfblog"
    kill "$xvfb" 2>/dev/null
    return 1
  fi
  if ! DISPLAY=":$number" xdpyinfo >/dev/null 2>&1; then
    failure "display :$number does not answer" "$xvfblog"
    kill "$xvfb" 2>/dev/null
    return 1
  fi
  DISPLAY=":$number" openbox --sm-disable >"$wmlog" 2>&1 &
  wm=$!
  # On a loaded machine the window manager can take seconds to come up; a
  # test that starts without it fails in ways that say nothing about it.
  for _ in $(seq 1 1500); do
    DISPLAY=":$number" wmctrl -m >/dev/null 2>&1 && return 0
    if ! kill -0 "$wm" 2>/dev/null; then
      wait "$wm"
      failure "openbox on :$number ended with status $?" "$wmlog"
      kill "$xvfb" 2>/dev/null
      return 1
    fi
    sleep 0.02
  done
  failure "openbox on :$number did not answer within 30 s" "$wmlog"
  kill "$wm" "$xvfb" 2>/dev/null
  return 1
}

# failure WHAT LOG: says on standard error why an attempt failed, with the
# last lines its program wrote.
failure() {
  echo "private-display.sh: $1" >&2
  tail -n 5 "$2" 2>/dev/null | sed 's/^/  | /' >&2
}

xvfblog=$(mktemp)
wmlog=$(mktemp)

started=0
for _ in 1 2 3 4 5; do
  if start_display; then
    started=1
    break
  fi
  sleep 0.2
done
# The programs keep their logs open; the names can go.
rm -f "$xvfblog" "$wmlog"
if [ "$started" != 1 ]; then
  echo "no-window-manager"
  exit 1
fi
echo "$number"
exec 1>/dev/null 2>/dev/null
while kill -0 "$owner" 2>/dev/null; do sleep 0.2; done
kill "$wm" "$xvfb" 2>/dev/null
wait 2>/dev/null
