#!/usr/bin/env bash
# Takes the README's screenshot of the demo: runs the demo on a virtual display
# of its own, waits until both of its windows and the developer tools are open
# (pass 14 of its timeline), and saves the screen, 1000 px wide, as
# docs/demo-screenshot.png. Builds the demo first, like scripts/run-demo.sh.
#   scripts/screenshot.sh [OUTPUT.png]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIV_BUILD_DIR:-$root/build}
output=$(realpath -m "${1:-$root/docs/demo-screenshot.png}")

if [ "${KIV_SCREENSHOT_INNER:-}" != 1 ]; then
  "$root/scripts/setup.sh"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${KIV_CMAKE_ARGS:-} >/dev/null
  cmake --build "$build" --target webview_demo
  mkdir -p "$(dirname "$output")"
  # Always a display of its own: the screenshot shows the whole screen.
  exec env -u DISPLAY KIV_SCREENSHOT_INNER=1 KIV_BUILD_DIR="$build" \
    "$root/scripts/with-display.sh" "$0" "$output"
fi

# On the virtual display: run the demo and shoot at pass 14.
log=$(mktemp)
"$build/demo/webview_demo" >"$log" 2>/dev/null &
demo=$!
trap 'kill $demo 2>/dev/null || true; wait $demo 2>/dev/null || true; rm -f "$log"' EXIT
for _ in $(seq 1 600); do
  grep -q '^Waiting\.\.\.14$' "$log" && break
  kill -0 $demo 2>/dev/null || { echo "screenshot: the demo ended early" >&2; exit 1; }
  sleep 0.2
done
grep -q '^Waiting\.\.\.14$' "$log" || { echo "screenshot: the demo did not reach pass 14" >&2; exit 1; }
# 64 colours keep the image small; the windows stay legible.
import -window root -resize 1000x +dither -colors 64 -define png:compression-level=9 "$output"
echo "screenshot: $output"
