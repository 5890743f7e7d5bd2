#!/usr/bin/env bash
# GetExePath must return the executable's whole path, also at exactly 259 characters (the first buffer is then
# just too small) and beyond MAX_PATH. Wine's CreateProcess refuses such paths, so the probe is started from a
# long Unix path, which Wine maps to Z:\...
#   exe_path_test.sh <wine-run.sh> <exe_path_probe.exe> <folder for a scratch folder>
set -euo pipefail
run=$1 probe=$2
mkdir -p "$3"
scratch=$(cd "$(mktemp -d "$3/run.XXXXXX")" && pwd -P) # this run's own, removed with it
trap 'rm -rf -- "$scratch"' EXIT
status=0 name=exe_path_probe.exe
for length in 200 259 260 261 520 700; do
    dir="$scratch/$length"
    # Folders of 20 characters, then one of 1 to 21 that makes the Windows path (Z: + the Unix path) $length long.
    while [ $((length - 4 - ${#dir} - ${#name})) -gt 21 ]; do dir="$dir/twenty-characters-xx"; done
    dir="$dir/$(printf 'p%.0s' $(seq $((length - 4 - ${#dir} - ${#name}))))"
    install -D "$probe" "$dir/$name"
    expected="Z:${dir//\//\\}\\$name"
    [ ${#expected} -eq "$length" ] || { echo "test set-up: made ${#expected} characters, not $length" >&2; exit 2; }
    "$run" "$dir/$name" 'Z:'"${scratch//\//\\}"'\reported.txt'
    reported=$(iconv -f UTF-16LE -t UTF-8 "$scratch/reported.txt")
    [ "$reported" = "$expected" ] && echo "ok   $length characters" ||
        { echo "FAIL $length characters: got ${#reported}: $reported" >&2; status=1; }
done
exit $status
