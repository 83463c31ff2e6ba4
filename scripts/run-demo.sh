#!/usr/bin/env bash
# Builds and runs the demo: installs what is missing, configures and builds the
# demo and its library in build/ (incrementally, the same build directory as
# scripts/run-tests.sh), and runs it on the current display, or on a virtual
# display when none is set.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIV_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${KIV_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" --target webview_demo

# Chromium refuses to run as root with its sandbox on.
if [ "$(id -u)" -eq 0 ]; then
  export QTWEBENGINE_DISABLE_SANDBOX=1
fi
exec "$root/scripts/with-display.sh" "$build/demo/webview_demo"
