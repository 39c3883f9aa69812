#!/bin/sh
# Picture preparation benchmark: our preparation against the plain Qt way and
# against the preparation before decodes were planned at 1.5x the result
# (resize-2x), its bytes and quality against a Lanczos3 reference next to the
# preparation before the Lanczos filter and vipsthumbnail, the preview from the
# embedded Exif thumbnail, and vipsthumbnail and ImageMagick on the same,
# locally generated camera-like photos (bench/photos.sh).
#
#   bench/run.sh                 build if needed, generate pictures, measure
#   RUNS=9 bench/run.sh          more runs per case (default 5)
#   BUILD_DIR=... DATA_DIR=...   where to build and where to keep the pictures
#   SIZES="6000x4000 8000x6000"  which photos to generate and measure
#   LIMITS=1000x1000             the limits of the timed preparation (default 1600x1200)
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build-bench}
DATA_DIR=${DATA_DIR:-$BUILD_DIR/bench-pictures}
RUNS=${RUNS:-5}
LIMITS=${LIMITS:-1600x1200}
SIZES=${SIZES:-"6000x4000 8000x6000 12240x8160"}
BENCH=$BUILD_DIR/bench/imagebench

div() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }

# --- tools ---------------------------------------------------------------------------
missing=""
command -v vipsthumbnail >/dev/null 2>&1 || missing="$missing libvips-tools"
command -v exiv2 >/dev/null 2>&1 || missing="$missing exiv2"
[ -x /usr/bin/convert ] || command -v convert >/dev/null 2>&1 || missing="$missing imagemagick"
[ -x /usr/bin/time ] || missing="$missing time"
if [ -n "$missing" ]; then
    echo "installing:$missing"
    if [ "$(id -u)" = 0 ]; then
        apt-get install -y $missing >/dev/null || { apt-get update >/dev/null && apt-get install -y $missing >/dev/null; }
    else
        sudo apt-get install -y $missing >/dev/null
    fi
fi
# The real ImageMagick binary, not a wrapper that may sit earlier in PATH.
if [ -x /usr/bin/convert ]; then CONVERT=/usr/bin/convert; else CONVERT=$(command -v convert); fi

# --- build ---------------------------------------------------------------------------
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$BUILD_DIR" --target imagebench >/dev/null

# --- pictures ------------------------------------------------------------------------
mkdir -p "$DATA_DIR"
FILES=""
for size in $SIZES; do
    FILES="$FILES $("$ROOT/bench/photos.sh" "$BENCH" "$DATA_DIR" 1 "$size")"
done
TINY=$DATA_DIR/tiny.jpg
[ -s "$TINY" ] || "$BENCH" generate "$TINY" 64 48 92
echo
echo "pictures:"
for f in $FILES; do
    printf '  %-32s %6.1f MB\n' "$(basename "$f")" "$(div "$(stat -c %s "$f")" 1048576)"
done
echo "machine: $(nproc) CPU(s), load $(cut -d' ' -f1-3 /proc/loadavg)"

# --- quality against a Lanczos3 downscale of the full decode -------------------------
# (bench/quality.sh does the same on 20 photos, and on real photographs.)
SENT=$(mktemp -d)
for lim in 1600x1200 1000x1000; do
    rm -rf "$SENT"/*
    mkdir "$SENT/before" "$SENT/vemo" "$SENT/vips"
    "$BENCH" prepare --limits "$lim" --before "$SENT/before" $FILES
    "$BENCH" prepare --limits "$lim" "$SENT/vemo" $FILES
    for f in $FILES; do
        vipsthumbnail "$f" --size "$lim" -o "$SENT/vips/%s.jpg[Q=75,strip,optimize_coding]"
    done
    echo
    echo "== quality at $lim: against ImageMagick -filter Lanczos of the full decode"
    CONVERT=$CONVERT "$BENCH" quality \
        --sent "vemo before=$SENT/before,vemo=$SENT/vemo,vipsthumbnail=$SENT/vips" $FILES
done
rm -rf "$SENT"

# --- our preparation against the plain way -------------------------------------------
set -- $FILES
BATCH_FILES=$1
[ $# -ge 2 ] && BATCH_FILES="$1,$2"
echo
echo "== in-process, median of $RUNS runs; peak = peak RSS above the idle program; limits $LIMITS, box 100"
"$BENCH" --runs "$RUNS" --limits "$LIMITS" --box 100 --batch 5,100 --batch-files "$BATCH_FILES" $FILES

# --- external tools ------------------------------------------------------------------
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# measure <runs> <command...>: prints "<median ms> <max peak KB>" over the runs.
measure() {
    n=$1
    shift
    : >"$TMP/times"
    : >"$TMP/peaks"
    i=0
    while [ $i -lt "$n" ]; do
        start=$(date +%s%N)
        if ! /usr/bin/time -f %M -o "$TMP/peak" "$@" >/dev/null 2>"$TMP/err"; then
            echo "failed failed"
            return
        fi
        end=$(date +%s%N)
        echo $(((end - start) / 1000)) >>"$TMP/times"
        cat "$TMP/peak" >>"$TMP/peaks"
        i=$((i + 1))
    done
    med=$(sort -n "$TMP/times" | awk '{a[NR]=$1} END {if (NR%2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}')
    peak=$(sort -n "$TMP/peaks" | tail -1)
    echo "$((med / 1000)) $peak"
}

# row <label> <tool> <file> <start-up ms> <start-up KB> <command...>
row() {
    label=$1 tool=$2 file=$3 base_ms=$4 base_kb=$5
    shift 5
    set -- $(measure "$RUNS" "$@")
    if [ "$1" = failed ]; then
        printf '%-32s %-16s %10s %10s %10s %10s  %s\n' "$label" "$tool" - - - - \
            "failed: $(head -c 80 "$TMP/err" | tr '\n' ' ')"
        return
    fi
    printf '%-32s %-16s %10s %10s %10.1f %10.1f\n' "$label" "$tool" "$1" "$(($1 - base_ms))" \
        "$(div "$2" 1024)" "$(div "$(($2 - base_kb))" 1024)"
}

echo
echo "== external tools, $LIMITS, median of $RUNS runs (net = less the same tool on a 64x48 picture)"
printf '%-32s %-16s %10s %10s %10s %10s\n' picture tool "ms" "net ms" "peak MB" "net MB"
set -- $(measure "$RUNS" vipsthumbnail "$TINY" --size "$LIMITS" -o "$TMP/v.jpg")
VIPS_MS=$1 VIPS_KB=$2
set -- $(measure "$RUNS" "$CONVERT" "$TINY" -resize "$LIMITS" "$TMP/c.jpg")
IM_MS=$1 IM_KB=$2
printf '%-32s %-16s %10s %10s %10.1f %10s\n' "tiny.jpg (start-up)" vipsthumbnail "$VIPS_MS" 0 \
    "$(div "$VIPS_KB" 1024)" 0
printf '%-32s %-16s %10s %10s %10.1f %10s\n' "tiny.jpg (start-up)" "convert" "$IM_MS" 0 \
    "$(div "$IM_KB" 1024)" 0
for f in $FILES; do
    label=$(basename "$f")
    row "$label" vipsthumbnail "$f" "$VIPS_MS" "$VIPS_KB" \
        vipsthumbnail "$f" --size "$LIMITS" -o "$TMP/v.jpg"
    row "$label" "convert -resize" "$f" "$IM_MS" "$IM_KB" \
        "$CONVERT" "$f" -resize "$LIMITS" "$TMP/c.jpg"
done
