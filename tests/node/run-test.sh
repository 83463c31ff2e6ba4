#!/usr/bin/env bash
# run-test.sh NODE FILE: runs one test file of the Node package with
# `node --test` on a virtual display of its own (with a window manager),
# stopped when the test process ends. As root, Chromium needs its sandbox off.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
node=$1
file=$2
if [ "$(id -u)" -eq 0 ]; then
  export QTWEBENGINE_DISABLE_SANDBOX=1
fi
# No session bus on a virtual display: an address that fails at once keeps
# the D-Bus library from forking to launch one.
export DBUS_SESSION_BUS_ADDRESS=${DBUS_SESSION_BUS_ADDRESS:-unix:path=/nonexistent/kivtest-no-session-bus}
# The display lives until this process, which becomes the test runner, ends.
exec 3< <(exec "$here/../support/private-display.sh" $$)
read -r -u 3 number || number=""
exec 3<&-
case "$number" in
  '' | *[!0-9]*) echo "run-test: no virtual display with a window manager ($number)" >&2; exit 1 ;;
esac
export DISPLAY=":$number" QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
exec "$node" --test "$file"
