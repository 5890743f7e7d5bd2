#!/usr/bin/env bash
# Runs the benchmarks of a test tree (default build/test, built first when it
# is the default) and prints ratios against baselines measured in the same
# run. Stops the Xvfb and wineserver it started.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-}
if [ -z "$build" ]; then
    build=$root/build/test
    (cd "$root" && tools/deps.sh && cmake --preset test >/dev/null &&
        cmake --build --preset test -j "$(nproc)" --target Backdrift size_baseline scan_bench >/dev/null)
fi
build=$(cd "$build" && pwd)

exe=$(stat -c %s "$build/bin/Backdrift.exe")
base=$(stat -c %s "$build/bin/size_baseline.exe")
icon=$(stat -c %s "$root/res/backdrift.ico")
echo "Backdrift.exe      $exe bytes (icon $icon)"
echo "hidden-window stub $base bytes"
awk -v a="$exe" -v b="$base" 'BEGIN { printf "ratio exe/stub     %.2f\n", a / b }'
echo

. "$root/tools/wine-env.sh"
bd_wine_init "$build"
trap 'bd_wine_stop_started' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
bd_wine_mark
bd_wine_boot
"$root/tools/wine-run.sh" "$build/bin/scan_bench.exe"
