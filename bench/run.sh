#!/usr/bin/env bash
# Runs the benchmarks of a built test tree (default build/test) and prints
# ratios against baselines measured in the same run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/test}

exe=$(stat -c %s "$build/bin/Backdrift.exe")
base=$(stat -c %s "$build/bin/size_baseline.exe")
icon=$(stat -c %s "$root/res/backdrift.ico")
echo "Backdrift.exe      $exe bytes (icon $icon)"
echo "hidden-window stub $base bytes"
awk -v a="$exe" -v b="$base" 'BEGIN { printf "ratio exe/stub     %.2f\n", a / b }'
echo
"$root/tools/wine-run.sh" "$build/bin/scan_bench.exe"
