#!/usr/bin/env bash
# Builds res/backdrift.ico (committed; run again only after changing an .svg).
# Each size is rendered from backdrift-small.svg (drawn on a 16 px grid) up to
# 24 px, from backdrift.svg above, as 32-bit RGBA PNG; recompressed losslessly
# (optipng picks the filters, advpng the deflate stream; both keep the 8-bit
# RGBA Windows expects), checked pixel for pixel, and stored as a PNG entry,
# smallest first. Run as root, installs the tools it needs with apt-get.
set -euo pipefail
res_dir=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd -P)/res
out_ico=$res_dir/backdrift.ico

missing=()
for tool in rsvg-convert:librsvg2-bin icotool:icoutils optipng:optipng advpng:advancecomp pngtopam:netpbm; do
    command -v "${tool%%:*}" >/dev/null 2>&1 || missing+=("${tool#*:}")
done
if ((${#missing[@]} > 0)); then
    if [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null 2>&1; then
        echo "build-icon: installing ${missing[*]}" >&2
        apt-get update
        DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
    else
        echo "build-icon: missing tools; install the Debian packages: ${missing[*]}" >&2
        echo "  e.g.  sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
fi

for f in "$res_dir/backdrift.svg" "$res_dir/backdrift-small.svg"; do
    [[ -f $f ]] || { echo "build-icon: source not found: $f" >&2; exit 1; }
done

tmp_dir=$(mktemp -d)
trap 'rm -rf -- "$tmp_dir"' EXIT

ico_args=()
for size in 16 20 24 32 40 48 64 128 256; do
    src=$res_dir/backdrift.svg
    ((size > 24)) || src=$res_dir/backdrift-small.svg
    rendered=$tmp_dir/rendered-$size.png
    png=$tmp_dir/backdrift-$size.png
    rsvg-convert --format=png --width="$size" --height="$size" --output="$rendered" "$src"
    optipng -quiet -o7 -nb -nc -np -strip all -out "$png" "$rendered"
    advpng --recompress --shrink-insane --quiet "$png"
    cmp -s <(pngtopam -alphapam "$rendered") <(pngtopam -alphapam "$png") ||
        { echo "build-icon: the recompressed $size px image differs from the rendered one" >&2; exit 1; }
    echo "build-icon: $size px: $(stat -c %s "$rendered") -> $(stat -c %s "$png") bytes"
    ico_args+=("--raw=$png")
done

# --raw stores each PNG as it is (PNG-compressed entry); order is kept.
icotool --create --output="$tmp_dir/backdrift.ico" "${ico_args[@]}"
mv -f -- "$tmp_dir/backdrift.ico" "$out_ico"

echo "build-icon: wrote $out_ico"
icotool --list "$out_ico"
