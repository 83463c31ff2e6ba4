#!/usr/bin/env bash
# Installs every Debian package that building, testing and running the demo need
# (and Node.js with npm when no node is on the PATH).
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools qt6-positioning-dev
  libqt6webenginecore6-bin libgl-dev libxcb1-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth openbox xdotool wmctrl xclip x11-utils x11-apps imagemagick
  openssl python3 python3-pytest python3-venv python3-pip
  fonts-dejavu-core procps
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# Node.js for the Node package and its tests: Debian's own when there is
# none (a Node from elsewhere, with its own npm, is used as it is).
if ! command -v node >/dev/null 2>&1; then
  missing+=(nodejs)
fi
if ! command -v npm >/dev/null 2>&1; then
  missing+=(npm)
fi

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
