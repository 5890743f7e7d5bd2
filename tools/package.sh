#!/usr/bin/env bash
# Builds the release Backdrift.exe and packs it with README.md and LICENSE into
# build/release/package/Backdrift-<version>-win64.zip, beside its SHA-256 file and the Scoop and
# winget manifests; prints their paths (as root, in the test account's copy). The same commit gives
# the same zip: its entries are dated SOURCE_DATE_EPOCH, by default the commit's time (1980-01-01
# where there is no git to ask).
set -euo pipefail
cd -P "$(dirname "${BASH_SOURCE[0]}")/.."

tools/deps.sh unzip python3
. tools/as-test-account.sh
bd_as_test_account tools/package.sh "$@"
epoch=${SOURCE_DATE_EPOCH:-$(bd_commit_time "$PWD")}
[ -z "$epoch" ] || export SOURCE_DATE_EPOCH=$epoch
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
out=build/release/package
mkdir -p "$out"
out=$(cd "$out" && pwd -P)
rm -f "$out"/Backdrift-*-win64.zip "$out"/Backdrift-*-win64.zip.sha256
cmake --build --preset release --target package >/dev/null

zips=("$out"/Backdrift-*-win64.zip)
[ ${#zips[@]} -eq 1 ] && [ -f "${zips[0]}" ] || { echo "package: expected one zip in $out" >&2; exit 1; }
zip=${zips[0]}
name=$(basename "$zip")

# What a user downloads must verify and hold the program just built, its
# README and licence at the top, and nothing else.
(cd "$out" && sha256sum --quiet -c "$name.sha256")
listing=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$listing" = "Backdrift.exe LICENSE README.md " ] || { echo "package: unexpected contents: $listing" >&2; exit 1; }
unzip -p "$zip" Backdrift.exe | cmp -s - build/release/bin/Backdrift.exe ||
    { echo "package: Backdrift.exe in the zip is not the one just built" >&2; exit 1; }

printf '%s\n' "$zip" "$zip.sha256"
# Only the manifests an earlier run wrote here, then the folders they leave empty.
rm -f "$out/scoop/backdrift.json" "$out"/winget/manifests/v/Velmaro/Backdrift/*/Velmaro.Backdrift*.yaml
find "$out/scoop" "$out/winget" -depth -type d -empty -delete 2>/dev/null || true
tools/manifests.sh "$zip" "$out"
