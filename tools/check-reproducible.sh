#!/usr/bin/env bash
# Builds the release zip twice with tools/package.sh, each from scratch in a fresh copy of the checkout
# at another path, in another time zone and under another umask, and fails unless the two zips are the
# same bytes: a rebuild must give the zip whose hash the manifests carry (as root, as the test account).
set -euo pipefail
cd -P "$(dirname "${BASH_SOURCE[0]}")/.."

tools/deps.sh unzip python3
. tools/as-test-account.sh
bd_as_test_account tools/check-reproducible.sh "$@"
# Unset, since GNU ld would take it for the program's time stamp: the
# program must have none of its own. Both zips are then dated 1980-01-01.
unset SOURCE_DATE_EPOCH

scratch=$(cd "$(mktemp -d)" && pwd -P)
trap 'rm -rf -- "$scratch"' EXIT
copies=("$scratch/one/backdrift" "$scratch/two/second-level/backdrift-again")
zones=(UTC0 EAST-14) # POSIX zone strings, which need no time zone data
masks=(022 077)
for i in 0 1; do
    mkdir -p "${copies[i]}"
    (
        umask "${masks[i]}"
        tar -C "$PWD" --exclude=./build --exclude=./.git -cf - . | tar -C "${copies[i]}" -xf -
        TZ=${zones[i]} "${copies[i]}/tools/package.sh" >/dev/null
    )
done
zips=("${copies[0]}"/build/release/package/*.zip "${copies[1]}"/build/release/package/*.zip)
sha256sum "${zips[@]}"
if ! cmp "${zips[@]}"; then
    cmp "${copies[0]}/build/release/bin/Backdrift.exe" "${copies[1]}/build/release/bin/Backdrift.exe" ||
        echo "check-reproducible: the two builds link different programs" >&2
    echo "check-reproducible: the two builds give different zips" >&2
    exit 1
fi
echo "check-reproducible: both builds give the same zip"
