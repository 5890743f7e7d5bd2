#!/usr/bin/env bash
# Builds Backdrift.exe and runs it under Wine, on the current X display or a virtual one, until it
# ends or Ctrl+C; then ends the program and whatever of Xvfb and the wineserver this run started.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)
cd "$root"

tools/deps.sh
. tools/as-test-account.sh
bd_as_test_account tools/run.sh "$@" # on a virtual display: root's X display is not the account's
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"

[ -n "${DISPLAY:-}" ] && export BACKDRIFT_USE_DISPLAY=1
. tools/wine-env.sh
bd_wine_init "$root/build/release"

program=
stop() {
    [ -z "$program" ] || bd_wine_end_program "$program" Backdrift.exe
}
bd_wine_boot_for_run stop

# A first run gets settings that point at the demo pictures (the user's own are left alone).
settings=$(bd_settings_file)
if [ ! -e "$settings" ]; then
    bd_write_demo_settings "$settings"
    echo "First run: Backdrift shows the demo pictures in res/demo; left-click its icon to swap, or right-click it and choose \"Pick folder…\" for your own."
fi
echo "Backdrift is running (display $DISPLAY, Wine prefix $WINEPREFIX); press Ctrl+C to stop it."
# In the background, so that the traps run as soon as Ctrl+C arrives.
wine "$root/build/release/bin/Backdrift.exe" &
program=$!
status=0
wait "$program" || status=$?
program=
exit $status
