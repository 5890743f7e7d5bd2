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

bd_wine_init "${BACKDRIFT_WINE_DIR:-$build/wine}"
bd_wine_boot
exec wine "$program" "$@"
