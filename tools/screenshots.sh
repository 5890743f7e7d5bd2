#!/usr/bin/env bash
# Takes the README's screenshots into docs/ (tools/screenshot_tour.cpp) under Wine, on a virtual display
# of their own, with settings that point at res/demo; stops all it started, also on Ctrl+C.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)
cd "$root"
names=(tray-tooltip tray-menu hotkey-dialog about)

tools/deps.sh
. tools/as-test-account.sh
if [ "$(id -u)" -eq 0 ]; then
    # Taken as the test account in its copy; the pictures are then written
    # into the checkout's own files as their owner, so modes and owners stay.
    bd_run_in_test_copy tools/screenshots.sh
    copy=$(bd_test_copy "$root")
    for name in "${names[@]}"; do
        runuser -u "$(stat -c %U "docs/$name.png")" -- sh -c 'cat >"$1"' _ "$root/docs/$name.png" <"$copy/docs/$name.png"
        echo "$root/docs/$name.png"
    done
    exit 0
fi
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target Backdrift screenshot_tour

# Own display and prefix: the pictures must not depend on what else is on screen or on a run's settings.
unset BACKDRIFT_USE_DISPLAY
. tools/wine-env.sh
bd_wine_init "$root/build/release" wine-screenshots

shots=$(mktemp -d)
bd_wine_boot_for_run rm -rf -- "$shots"

# Debian's Wine 8 finds its own fonts (Marlett draws the caption buttons,
# Tahoma is the dialog font) only in the Windows fonts folder.
fonts_dir="$WINEPREFIX/drive_c/windows/Fonts"
for font in /usr/share/wine/fonts/*.ttf; do
    [ -f "$font" ] && [ ! -e "$fonts_dir/$(basename "$font")" ] && cp -- "$font" "$fonts_dir/"
done

# Fresh settings each time: the demo folder and every other value at its default.
settings=$(bd_settings_file)
rm -rf -- "$(dirname "$settings")"
bd_write_demo_settings "$settings"

wine build/release/bin/screenshot_tour.exe "$(winepath -w build/release/bin/Backdrift.exe 2>/dev/null)" \
    "$(winepath -w "$shots" 2>/dev/null)" </dev/null

mkdir -p docs
for name in "${names[@]}"; do
    cp -- "$shots/$name.png" "docs/$name.png"
    echo "$root/docs/$name.png"
done
