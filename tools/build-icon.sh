#!/usr/bin/env bash
# Builds res/backdrift.ico from the vector icon sources in res/.
#
# Renders the icon at 16, 20, 24, 32, 40, 48, 64, 128 and 256 px (32-bit
# RGBA PNG) with rsvg-convert, recompresses each image losslessly (optipng
# picks the filters, advpng the deflate stream; both keep 8-bit RGBA, the
# form Windows expects in an icon), checks that every pixel is still the one
# rendered, and packs the nine images, smallest first, into one .ico in
# which every entry is stored as PNG.
#
#   16, 20, 24 px  <- res/backdrift-small.svg (simplified, drawn on a 16 px grid)
#   32 px and up   <- res/backdrift.svg
#
# The generated res/backdrift.ico is kept in the repository, so a normal build
# needs neither tool; run this script again only after changing an .svg.
#
# Needs: rsvg-convert (Debian package librsvg2-bin), icotool (package icoutils),
# optipng, advpng (package advancecomp), pngtopam (package netpbm).
# Run as root, the script installs them with apt-get if they are missing.
set -euo pipefail

script_dir="$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")" && pwd -P)"
repo_root="$(cd -- "$script_dir/.." && pwd -P)"
res_dir="$repo_root/res"

large_svg="$res_dir/backdrift.svg"
small_svg="$res_dir/backdrift-small.svg"
out_ico="$res_dir/backdrift.ico"

sizes=(16 20 24 32 40 48 64 128 256)
small_max=24   # sizes up to this one use the small-size drawing

need_tools() {
    local missing=()
    command -v rsvg-convert >/dev/null 2>&1 || missing+=(librsvg2-bin)
    command -v icotool >/dev/null 2>&1 || missing+=(icoutils)
    command -v optipng >/dev/null 2>&1 || missing+=(optipng)
    command -v advpng >/dev/null 2>&1 || missing+=(advancecomp)
    command -v pngtopam >/dev/null 2>&1 || missing+=(netpbm)
    if ((${#missing[@]} == 0)); then
        return 0
    fi
    if [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null 2>&1; then
        echo "build-icon: installing ${missing[*]}" >&2
        apt-get update
        DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
    else
        echo "build-icon: missing tools; install the Debian packages: ${missing[*]}" >&2
        echo "  e.g.  sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
}

need_tools

for f in "$large_svg" "$small_svg"; do
    if [[ ! -f $f ]]; then
        echo "build-icon: source not found: $f" >&2
        exit 1
    fi
done

tmp_dir="$(mktemp -d)"
trap 'rm -rf -- "$tmp_dir"' EXIT

ico_args=()
for size in "${sizes[@]}"; do
    if ((size <= small_max)); then
        src="$small_svg"
    else
        src="$large_svg"
    fi
    png="$tmp_dir/backdrift-$size.png"
    rsvg-convert --format=png --width="$size" --height="$size" \
        --output="$tmp_dir/rendered-$size.png" "$src"
    optipng -quiet -o7 -nb -nc -np -strip all -out "$png" "$tmp_dir/rendered-$size.png"
    advpng --recompress --shrink-insane --quiet "$png"
    if ! cmp -s <(pngtopam -alphapam "$tmp_dir/rendered-$size.png") <(pngtopam -alphapam "$png"); then
        echo "build-icon: the recompressed $size px image differs from the rendered one" >&2
        exit 1
    fi
    echo "build-icon: $size px: $(stat -c %s "$tmp_dir/rendered-$size.png") -> $(stat -c %s "$png") bytes"
    ico_args+=("--raw=$png")
done

# --raw stores each PNG as it is (PNG-compressed entry); order is kept.
icotool --create --output="$tmp_dir/backdrift.ico" "${ico_args[@]}"
mv -f -- "$tmp_dir/backdrift.ico" "$out_ico"

echo "build-icon: wrote $out_ico"
icotool --list "$out_ico"
