#!/usr/bin/env bash
# Builds res/backdrift.ico (committed; run again only after changing an .svg). Each size is
# rendered as 32-bit RGBA PNG from backdrift-small.svg (drawn on a 16 px grid) up to 24 px, from
# backdrift.svg above; recompressed losslessly (optipng picks the filters, advpng the deflate
# stream; both keep the 8-bit RGBA Windows expects), checked pixel for pixel, and stored as a PNG
# entry, smallest first. Installs the tools it needs with tools/deps.sh.
set -euo pipefail
res_dir=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd -P)/res
out_ico=$res_dir/backdrift.ico

"$(dirname -- "${BASH_SOURCE[0]}")/deps.sh" --only librsvg2-bin icoutils optipng advancecomp netpbm

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
