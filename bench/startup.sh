#!/usr/bin/env bash
# Start-up time to first paint, Flashgate's main dialog beside a bare Qt dialog, alternating
# runs in one go; prints the median of each.   bench/startup.sh [build-dir] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-15}
probe="$build/bench/first_paint"
hive=$(mktemp -d)
trap 'rm -rf "$hive"' EXIT
export FLASHGATE_REGISTRY="$hive/registry.reg"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

measure() {
  local start end
  start=$(python3 -c 'import time; print(time.clock_gettime_ns(time.CLOCK_MONOTONIC))')
  end=$("$probe" "$1" 2>/dev/null)
  echo $(((end - start) / 1000))
}

flashgate=()
bare=()
for _ in $(seq "$runs"); do
  flashgate+=("$(measure flashgate)")
  bare+=("$(measure bare)")
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
echo "platform: $QT_QPA_PLATFORM, runs: $runs"
echo "first paint, median: Flashgate main dialog $(median "${flashgate[@]}") us, bare Qt dialog $(median "${bare[@]}") us"
