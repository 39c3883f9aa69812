#!/usr/bin/env bash
# Bytes per picture, PSNR and SSIM of prepared pictures, against a Lanczos3
# downscale of the full decode (ImageMagick), side by side:
#   vemo before   the preparation before the Lanczos filter and the tuned JPEG
#                 writer (Qt's smooth scaling, Qt's JPEG writer at quality 75)
#   vemo          the preparation now, at the default settings (what is sent)
#   vipsthumbnail at quality 75, metadata stripped, Huffman tables optimised
# for the benchmark's camera-like photos (bench/photos.sh; a quarter of them
# upright) and, with REAL=1, real photographs from Debian packages
# (bench/realphotos.sh), at each of the limits. Deterministic: one run is enough.
#
#   bench/quality.sh                  PICTURES=20 SIZE=6000x4000 LIMITS="1600x1200 1000x1000"
#   REAL=1 bench/quality.sh           real photographs too
#   BUILD_DIR=... DATA_DIR=...        an existing build (default: build); where the
#                                     photos are kept (default: $BUILD_DIR/bench-photos)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
[ -x "$build/vemo" ] || build=$("$root/scripts/build" release | tail -n 1)
cmake --build "$build" --target imagebench >/dev/null
bench=$build/bench/imagebench
count=${PICTURES:-20}
size=${SIZE:-6000x4000}
limits=${LIMITS:-1600x1200 1000x1000}
data=${DATA_DIR:-$build/bench-photos}
for tool in vipsthumbnail exiv2; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/deps --extra)" >&2; exit 1; }
done
[ -x /usr/bin/convert ] || { echo "missing ImageMagick (/usr/bin/convert)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -t camera < <("$root/bench/photos.sh" "$bench" "$data" "$count" "$size" --turned)
sets=(camera)
if [ "${REAL:-0}" = 1 ]; then
    mapfile -t real < <("$root/bench/realphotos.sh" "$data/real")
    sets+=(real)
fi

for set in "${sets[@]}"; do
    declare -n photos=$set
    for lim in $limits; do
        rm -rf "$work/before" "$work/vemo" "$work/vips"
        mkdir "$work/before" "$work/vemo" "$work/vips"
        "$bench" prepare --limits "$lim" --before "$work/before" "${photos[@]}"
        "$bench" prepare --limits "$lim" "$work/vemo" "${photos[@]}"
        for f in "${photos[@]}"; do
            vipsthumbnail "$f" --size "$lim" -o "$work/vips/%s.jpg[Q=75,strip,optimize_coding]" 2>/dev/null
        done
        echo
        if [ "$set" = camera ]; then
            echo "== ${#photos[@]} camera-like photos of $size, scaled to fit $lim"
        else
            echo "== ${#photos[@]} real photographs (1920x1200 to 6028x3391), scaled to fit $lim"
        fi
        "$bench" quality --sent "vemo before=$work/before,vemo=$work/vemo,vipsthumbnail=$work/vips" \
            "${photos[@]}"
    done
done
