#!/usr/bin/env bash
# Builds Backdrift and its benchmarks (build/bench), runs them under that build tree's own Wine
# environment and prints one table: each figure against a baseline of the same run, its target and
# whether it is met (exits 1 when one is not). Leaves nothing running; puts back the settings file.
#   tools/bench.sh [swaps [kills]]    (soak swaps, at least 2000, default 10000; kill-run starts, default 300)
set -euo pipefail
cd -P "$(dirname "${BASH_SOURCE[0]}")/.."
swaps=${1:-10000}
kills=${2:-300}
began=$SECONDS

tools/deps.sh bsdextrautils # column, for the table
. tools/as-test-account.sh
bd_as_test_account tools/bench.sh "$@"
. tools/wine-env.sh
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)"

build=$(cd build/bench && pwd -P)
bin=$build/bin
log=$build/bench-output.txt
# The picture folders: made by this run, in a folder of its own, removed with it.
data=$(mktemp -d "$build/bench-data.XXXXXX")
saved=$build/bench-settings-before # a copy, or .none when there was no file
bd_wine_init "$build"
settings=$(bd_settings_file)

# Puts back the settings file as it was before the run (also one left by a run cut short).
restore_settings() {
    if [ -e "$saved" ]; then
        mkdir -p "$(dirname "$settings")"
        mv -f "$saved" "$settings"
    elif [ -e "$saved.none" ]; then
        rm -f "$settings" "$saved.none"
    fi
}
cleanup() {
    local status=$?
    trap - EXIT INT TERM
    bd_wine_stop # every Wine program of the prefix, its server and display
    restore_settings
    rm -rf -- "$data"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

restore_settings
if [ -e "$settings" ]; then cp -p "$settings" "$saved"; else : >"$saved.none"; fi
: >"$log"

row() { # <figure> <measured> <target> <met: yes, NO or ->
    printf 'row\t%s\t%s\t%s\t%s\n' "$@" | tee -a "$log"
}

# Runs a benchmark program in a Wine session of its own: what each start of the program leaves in
# Wine's desktop and server (a hundred starts make later swaps several times slower) would weigh on the next.
bench() { # <program> [arguments...]
    echo "== $1"
    bd_wine_stop
    bd_wine_boot
    tools/wine-run.sh "$bin/$1" "${@:2}" | tee -a "$log" || row "$1" "did not finish (status $?)" "-" "NO"
}

# A folder as a camera, a phone and downloads fill it: pictures under mixed names and cases, one
# other file for every ten. Made from here, far faster than through Wine; Wine sees it under Z:.
make_folder() { # <new folder in $data> <pictures>
    mkdir "$1"
    awk -v pictures="$2" 'BEGIN {
        n = split("IMG_%04d.JPG|DSC%05d.png|Beach Sunset %02d.jpeg|PXL_20230714_%06d.jpg|Screenshot (%d).PNG|" \
                  "photo-%d.webp|Scan %03d.bmp|P%07d.JPG|holiday_%d.gif|Wallpaper %d.TIFF|img%d.Jpg|%d.jfif", \
                  picture, "|")
        m = split("notes %d.txt|VID_%04d.mp4|desktop %d.ini|IMG_%04d.MOV|%d.jpg.part", other, "|")
        for (i = 0; i < pictures; i++) printf picture[i % n + 1] "\n", i
        for (i = 0; i < pictures / 10; i++) printf other[i % m + 1] "\n", i
    }' | (cd "$1" && xargs -d '\n' touch)
}
# 0.jpg, 1.jpg, ...: the swap and click benchmarks' pictures (the floor's names).
make_pictures() { # <new folder in $data> <pictures>
    local i
    mkdir "$1"
    for ((i = 0; i < $2; i++)); do echo "small picture" >"$1/$i.jpg"; done
}
windows_path() { echo "Z:${1//\//\\}"; }

echo "== size"
exe=$bin/Backdrift.exe
bytes=$(stat -c %s "$exe")
minimal=$(stat -c %s "$bin/size_baseline.exe")
objdump=x86_64-w64-mingw32-objdump
# Stripped: no symbol table. Icon included: the resources hold at least its images.
icons=$(od -An -tu2 -j4 -N2 res/backdrift.ico | tr -d ' ')
icon_bytes=$(($(stat -c %s res/backdrift.ico) - 6 - 16 * icons))
rsrc=$($objdump -h "$exe" | awk '$2 == ".rsrc" { print $3 }')
problems=""
$objdump -t "$exe" | grep -q '^no symbols' || problems+="; not stripped"
[ $((16#${rsrc:-0})) -ge "$icon_bytes" ] || problems+="; icon missing"
limit_kb=160
met=NO
[ -z "$problems" ] && [ "$bytes" -le $((limit_kb * 1024)) ] && met=yes
row "Size: Backdrift.exe" "$(awk -v a="$bytes" -v b="$minimal" 'BEGIN { printf "%.1f KB (minimal %.1f KB)", a / 1024, b / 1024 }')$problems" \
    "<= $limit_kb KB, stripped, icon in" "$met"
breakdown=$(awk -v file_size="$bytes" -v top=10 -f bench/map-breakdown.awk "$bin/Backdrift.map")
echo "$breakdown"

echo "== making picture folders"
scan_args=()
for pictures in 1000 10000 100000; do
    make_folder "$data/scan-$pictures" "$pictures"
    scan_args+=("$(windows_path "$data/scan-$pictures")" "$pictures")
done
make_pictures "$data/swap" 20
make_pictures "$data/click" 5

bench scan_bench.exe "${scan_args[@]}"
bench swap_bench.exe "$(windows_path "$data/swap")"
bench startup_bench.exe "$(windows_path "$data/scan-10000")" 10000
bench click_bench.exe "$(windows_path "$data/click")" "$swaps" "$kills"

echo
echo "Backdrift benchmarks (${BACKDRIFT_REVISION:-$(git log -1 --format=%h 2>/dev/null || echo unknown)}, $(date -u '+%Y-%m-%d %H:%M UTC'))"
{ printf 'Figure\tMeasured\tTarget\tMet\n'; sed -n $'s/^row\t//p' "$log" | tr -d '\r'; } |
    column -t -s $'\t' -o ' | ' | sed '1{p;s/[^|]/-/g}'
echo
echo "What takes the space in Backdrift.exe (linker map $bin/Backdrift.map):"
echo "$breakdown"
echo
echo "Took $(((SECONDS - began) / 60)) min $(((SECONDS - began) % 60)) s."
! grep -qE $'^row\t.*\tNO\r?$' "$log" # the rows come from Windows programs, with CRLF
