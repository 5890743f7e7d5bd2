#!/usr/bin/env bash
# Runs a Windows program of a build tree under Wine: CMake's cross-compiling
# emulator, so CTest and test discovery use it transparently.
#   tools/wine-run.sh <program.exe> [arguments...]
set -euo pipefail
# Until the program starts, a failure is ours and says so: CTest would show a failure with no output at all.
trap 'status=$?; [ "$status" = 0 ] || echo "wine-run: could not prepare Wine for $1 (status $status)" >&2' EXIT
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

build=$(cd "$(dirname "$1")" && pwd)
while [ "$build" != / ] && [ ! -f "$build/CMakeCache.txt" ]; do build=$(dirname "$build"); done
[ -f "$build/CMakeCache.txt" ] || build=$PWD

bd_wine_init "$build"
bd_wine_boot
# With stderr on a pipe (as under CTest), Wine holds the process's end back
# by about a second; a file does not, so relay stderr through one.
err=$(mktemp) out=$(mktemp)
trap 'rm -f "$err" "$out"' EXIT
for try in 1 2 3; do
    status=0
    wine "$@" 2>"$err" | tee "$out" || status=$?
    cat "$err" >&2
    # A test program prints before its first test, and a benchmark before it measures: one that failed having
    # printed nothing never got to run its own code, as when Wine, under load, fails to start a process at all.
    [ "$status" != 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ] && [ "$try" -lt 3 ] || exit "$status"
    echo "wine-run: $1 ended with status $status before printing anything; starting it again" >&2
done
