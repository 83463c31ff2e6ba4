#!/usr/bin/env bash
# Installs the Node package's dependencies (bindings/node/node_modules) from
# its lockfile with `npm ci`, unless the installed tree already matches the
# lockfile (a stamp holds the lockfile's checksum): quick when nothing changed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
package=$root/bindings/node
stamp=$package/node_modules/.kiv-lockfile-sum
sum=$(sha256sum "$package/package-lock.json" | cut -d' ' -f1)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$sum" ]; then
  exit 0
fi
cd "$package"
npm ci --no-audit --no-fund --loglevel=error
echo "$sum" >"$stamp"
