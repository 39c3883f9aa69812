#!/usr/bin/env bash
# Camera-like photos for the benchmarks, made here (nothing is downloaded):
# imagebench draws the scene, with sensor-like noise so that it compresses like
# a real photo; ImageMagick encodes it as JPEG with 4:2:2 chroma at quality 92
# (about 8.5 MB at 6000x4000); the exiv2 tool adds what a camera writes: date
# and time taken, make and model, a GPS position and an embedded 160x120
# thumbnail (letterboxed, as cameras make them).
#
#   bench/photos.sh <imagebench> <dir> <count> [WxH] [--turned]
#       Writes <dir>/photo-<WxH>-<n>.jpg for n = 01..count (keeping those already
#       there) and prints their paths. With --turned every fourth photo carries
#       orientation 6 (taken upright), the others orientation 1.
set -euo pipefail
bench=$1 dir=$2 count=$3
size=${4:-6000x4000}
turned=${5:-}
w=${size%x*}
h=${size#*x}
convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert
command -v exiv2 >/dev/null || { echo "photos.sh: the exiv2 tool is missing (scripts/deps --extra)" >&2; exit 1; }

mkdir -p "$dir"
for n in $(seq 1 "$count"); do
    i=$(printf %02d "$n")
    name=photo-$size-$i
    [ "$turned" = --turned ] && name=$name-t
    f=$dir/$name.jpg
    if [ ! -s "$f" ]; then
        "$bench" generate "$dir/$name.ppm" "$w" "$h" 100 "$((10#$i))"
        "$convert" "$dir/$name.ppm" -sampling-factor 2x1 -quality 92 "$dir/$name.tmp.jpg"
        rm "$dir/$name.ppm"
        # exiv2 -it takes the thumbnail from <name>-thumb.jpg beside the photo.
        "$convert" -define jpeg:size=320x240 "$dir/$name.tmp.jpg" -thumbnail 160x120 \
            -background black -gravity center -extent 160x120 -quality 85 "$dir/$name.tmp-thumb.jpg"
        orientation=1
        [ "$turned" = --turned ] && [ $((10#$i % 4)) -eq 1 ] && orientation=6
        exiv2 -M"set Exif.Image.Make Orva Bench" -M"set Exif.Image.Model Camera 24" \
            -M"set Exif.Image.Orientation $orientation" \
            -M"set Exif.Photo.DateTimeOriginal 2024:05:01 10:00:$i" \
            -M"set Exif.Photo.DateTimeDigitized 2024:05:01 10:00:$i" \
            -M"set Exif.GPSInfo.GPSLatitudeRef N" -M"set Exif.GPSInfo.GPSLatitude 48/1 8/1 30/1" \
            -M"set Exif.GPSInfo.GPSLongitudeRef E" -M"set Exif.GPSInfo.GPSLongitude 11/1 34/1 0/1" \
            mo "$dir/$name.tmp.jpg"
        exiv2 -it insert "$dir/$name.tmp.jpg"
        rm "$dir/$name.tmp-thumb.jpg"
        mv "$dir/$name.tmp.jpg" "$f"
    fi
    echo "$f"
done
