#!/usr/bin/env bash
# Runs a command where browser windows can open: on the current display when
# one is set, otherwise on a virtual display (Xvfb) with a small window
# manager, both stopped afterwards. As root, Chromium needs its sandbox off.
set -euo pipefail

if [ "$(id -u)" -eq 0 ]; then
  export QTWEBENGINE_DISABLE_SANDBOX=1
fi
# Without a session bus address the D-Bus library forks to launch a bus (and
# a forked child of a sanitizer build can hang there). With none set, give
# one that fails at once: nothing here needs a session bus.
export DBUS_SESSION_BUS_ADDRESS=${DBUS_SESSION_BUS_ADDRESS:-unix:path=/nonexistent/kiv-no-session-bus}

if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi

started=()
cleanup() {
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${started[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

displayfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$displayfile" 2>/dev/null &
started+=($!)
for _ in $(seq 1 600); do
  [ -s "$displayfile" ] && break
  sleep 0.05
done
display=$(head -n1 "$displayfile")
rm -f "$displayfile"
if [ -z "$display" ]; then
  echo "with-display: Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=":$display"

if command -v openbox >/dev/null 2>&1; then
  openbox --sm-disable >/dev/null 2>&1 &
  started+=($!)
  for _ in $(seq 1 600); do
    wmctrl -m >/dev/null 2>&1 && break
    sleep 0.05
  done
fi

set +e
"$@"
status=$?
set -e
exit $status
