#!/usr/bin/env bash
# Runs a Windows program of a build tree under Wine: CMake's cross-compiling
# emulator, so CTest and test discovery use it transparently.
#   tools/wine-run.sh <program.exe> [arguments...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh"

program=$1
shift
build=$(cd "$(dirname "$program")" && pwd)
while [ "$build" != / ] && [ ! -f "$build/CMakeCache.txt" ]; do build=$(dirname "$build"); done
[ -f "$build/CMakeCache.txt" ] || build=$PWD

bd_wine_init "$build"
bd_wine_boot
# With stderr on a pipe (as under CTest), Wine holds the process's end back
# by about a second; a file does not, so relay stderr through one.
err=$(mktemp)
trap 'rm -f "$err"' EXIT
status=0
wine "$program" "$@" 2>"$err" || status=$?
cat "$err" >&2
exit $status
