#!/usr/bin/env bash
# Profiles the idle process tree with perf: starts kiv_benchmark in its
# "hold" group (the library) or a "hold-floor" group (the floor program,
# plain or pumping in the library's slices) with N windows, waits until they
# are open and settled, then records the host thread alone (host) or every
# process of the tree (tree) for S seconds.
#
#   benchmarks/profile-idle.sh library|floor|sliced-floor host|tree [WINDOWS] [SECONDS] [OUT]
#
# OUT.data is the perf recording, OUT.json the group's own figures for the
# same interval (CPU by process kind and thread, polls). Read it with e.g.
#   perf report -i OUT.data --children --sort sym --stdio -g none
#   perf report -i OUT.data --sort comm,dso --stdio
# perf comes with Debian's linux-perf package. Without hardware counters
# (as in most virtual machines) it samples the cpu-clock event.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIV_BUILD_DIR:-$root/build}
which=${1:?library, floor or sliced-floor}; scope=${2:?host or tree}
windows=${3:-10}; seconds=${4:-20}; out=${5:-idle-$which-$scope}
case $which in
  library) mode=hold ;;
  floor) mode=hold-floor ;;
  sliced-floor) mode=hold-floor-sliced ;;
  *) echo "library, floor or sliced-floor" >&2; exit 2 ;;
esac
command -v perf >/dev/null || { echo "perf is missing: apt-get install linux-perf" >&2; exit 2; }

log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$root/scripts/with-display.sh" "$build/benchmarks/kiv_benchmark" --mode "$mode" \
  --windows "$windows" --seconds $((seconds + 4)) >"$out.json" 2>"$log" &
group=$!
for _ in $(seq 1 1200); do
  grep -q '^holding' "$log" && break
  kill -0 $group 2>/dev/null || { cat "$log" >&2; exit 1; }
  sleep 0.1
done
host=$(awk '/^holding/ {print $2}' "$log")
descendants() { echo "$1"; for c in $(pgrep -P "$1"); do descendants "$c"; done; }
if [ "$scope" = host ]; then
  target=(-t "$host" --call-graph dwarf,32768 -F 4000)
else
  target=(-p "$(descendants "$host" | paste -sd,)" -F 2000)
fi
perf record -q -e cpu-clock -o "$out.data" "${target[@]}" -- sleep "$seconds"
wait $group
echo "recorded $out.data; the group's figures are in $out.json"
