#!/usr/bin/env bash
# Builds Backdrift.exe and starts it: under Wine here, on the current X
# display or, without one, on a virtual display. Runs until the program ends.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

tools/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"

[ -n "${DISPLAY:-}" ] && export BACKDRIFT_USE_DISPLAY=1
. tools/wine-env.sh
bd_wine_init "$root/build/release"
bd_wine_boot
echo "Backdrift is running (display $DISPLAY, Wine prefix $WINEPREFIX); press Ctrl+C to stop it."
exec wine "$root/build/release/bin/Backdrift.exe"
