#!/usr/bin/env bash
# check-installed-package.sh CMAKE BUILD_DIR CONSUMER_DIR WORK_DIR
# Installs the build into a fresh prefix, then builds and runs a consumer
# through find_package and another through pkg-config.
set -euo pipefail
cmake=$1 build=$2 consumer=$3 work=$4
rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"

"$cmake" --install "$build" --prefix "$prefix" --component Unspecified >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'libkivwebview_qt.so' | head -n1)")
test -f "$prefix/include/kivwebview_qt/kivwebview_qt.h"

# find_package(kivwebview_qt) and its imported target.
"$cmake" -S "$consumer" -B "$work/cmake-consumer" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
"$cmake" --build "$work/cmake-consumer" >/dev/null
LD_LIBRARY_PATH="$libdir" "$work/cmake-consumer/consumer"

# pkg-config.
export PKG_CONFIG_PATH="$libdir/pkgconfig"
cc -std=c99 -Wall -Werror -o "$work/pc-consumer" "$consumer/consumer.c" \
   $(pkg-config --cflags --libs kivwebview_qt)
LD_LIBRARY_PATH="$libdir" "$work/pc-consumer"

# Exactly the C interface and the central class's public members are
# exported, as listed in exported-symbols.txt beside this script.
expected="$(dirname "$0")/exported-symbols.txt"
actual=$(nm -D --defined-only "$libdir/libkivwebview_qt.so" | c++filt \
         | sed 's/^[0-9a-f]* [A-Za-z] //' | sort -u)
if ! diff <(echo "$actual") "$expected" >/dev/null; then
  echo "exported symbols differ from $expected:"
  diff <(echo "$actual") "$expected" || true
  exit 1
fi
count=$(nm -D --defined-only "$libdir/libkivwebview_qt.so" | grep -c ' T kiv_webview_')
[ "$count" -eq 26 ] || { echo "expected 26 C functions, found $count"; exit 1; }
echo "installed package consumed through CMake and pkg-config"
