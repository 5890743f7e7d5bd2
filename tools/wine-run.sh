#!/usr/bin/env bash
# Runs a Windows program of a build tree under Wine: CMake's cross-compiling
# emulator, so CTest and test discovery use it transparently.
#   tools/wine-run.sh <program.exe> [arguments...]
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

build=$(cd "$(dirname "$1")" && pwd)
while [ "$build" != / ] && [ ! -f "$build/CMakeCache.txt" ]; do build=$(dirname "$build"); done
[ -f "$build/CMakeCache.txt" ] || build=$PWD

bd_wine_init "$build"
bd_wine_boot
# With stderr on a pipe (as under CTest), Wine holds the process's end back
# by about a second; a file does not, so relay stderr through one.
err=$(mktemp)
trap 'cat "$err" >&2; rm -f "$err"' EXIT
wine "$@" 2>"$err"
