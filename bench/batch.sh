#!/usr/bin/env bash
# A batch of camera photos scaled and sent to the bundled test site, by the
# uploader and by the usual tools, measured side by side, alternating:
#   (a) vemo --upload --resize 1600x1200, without a window;
#   (b) vipsthumbnail --size 1600x1200 (quality 75, metadata stripped, Huffman
#       tables optimised) on one file after the other, then one curl process
#       doing the login and the multipart posts (cookie jar);
#   (c) the same with vipsthumbnail on every core at once (xargs -P nproc);
#   (d) vemo through the window, when the build can start the upload at once
#       (vemo --upload-now); otherwise skipped;
#   (e) the decode floor: libjpeg-turbo's half-scale decode of the same photos
#       (djpeg -scale 1/2) on every core at once, nothing scaled, encoded or sent.
# Prints the median wall time of each, the ratios (a) / (c) and (a) / (e) and the
# peak resident size of (a); then (a) and (c) again with the test site reading
# uploads at 5 and 20 Mbit/s (a home uplink); then bytes per picture, PSNR and
# SSIM of what (a) and (c) sent, against a Lanczos3 downscale of the full decode.
#
#   bench/batch.sh                 RUNS=5 PICTURES=20 SIZE=6000x4000 by default
#   THROTTLED_RUNS=3 RATES="5 20"  runs and rates (Mbit/s) of the throttled upload
#   DELAYED=1 bench/batch.sh       the site answers each upload 1 s late
#                                  (fault upload:stall:0:1); 10 pictures
#   BUILD_DIR=... DATA_DIR=...     an existing build (default: build); where the
#                                  photos are kept (default: $BUILD_DIR/bench-photos)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
[ -x "$build/vemo" ] || build=$("$root/scripts/build" release | tail -n 1)
[ -x "$build/bench/imagebench" ] || cmake --build "$build" --target imagebench >/dev/null
runs=${RUNS:-5}
throttled_runs=${THROTTLED_RUNS:-3}
rates=${RATES:-5 20}
vips_out='[Q=75,strip,optimize_coding]'
delayed=${DELAYED:-0}
default_count=20
[ "$delayed" = 1 ] && default_count=10
count=${PICTURES:-$default_count}
size=${SIZE:-6000x4000}
limits=1600x1200
data=${DATA_DIR:-$build/bench-photos}
for tool in vipsthumbnail curl exiv2 djpeg /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/deps --extra)" >&2; exit 1; }
done

# A quarter of the photos are taken upright (orientation 6).
mapfile -t photos < <("$root/bench/photos.sh" "$build/bench/imagebench" "$data" "$count" "$size" --turned)
bytes=$(cat "${photos[@]}" | wc -c)

work=$(mktemp -d)
site_pids=()
trap 'for p in "${site_pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"' EXIT
# start_site <name> [options...]: a test site storing into $work/<name>; sets $url.
start_site() {
    local name=$1
    shift
    "$build/orva-testsite" --port 0 --store "$work/$name" "$@" >"$work/$name.out" 2>/dev/null &
    site_pids+=($!)
    url=
    for _ in $(seq 1 100); do
        url=$(sed -n 's/^listening on //p' "$work/$name.out")
        [ -n "$url" ] && return 0
        sleep 0.1
    done
    echo "the test site did not start" >&2
    exit 1
}
fault=()
[ "$delayed" = 1 ] && fault=(--fault upload:stall:0:1)
declare -A site_url
for rate in $rates; do
    start_site "store$rate" --upload-rate "$rate"
    site_url[$rate]=$url
done
start_site store "${fault[@]}"

# The uploader's settings: the window run (d) takes the limits from here.
mkdir -p "$work/run"
printf '[General]\nwebsite=%s\nusername=admin\npassword=secret\ncategory=7\nresize=2\nmaxwidth=%s\nmaxheight=%s\n' \
    "$url" "${limits%x*}" "${limits#*x}" >"$work/run/vemo.ini"
export VEMO_PASSWORD=secret QT_QPA_PLATFORM=offscreen

# curl_upload <dir> [url]: one login and one multipart post per picture in <dir>, in one process.
curl_upload() {
    local to=${2:-$url}
    local args=(-s -o /dev/null -c "$work/jar" -b "$work/jar"
                -d "name=admin&pass=secret&user_login_sub=Login" "$to/admin.php")
    for f in "$1"/*.jpg; do
        args+=(--next -s -o /dev/null -b "$work/jar" -F "file[]=@$f" -F "besch[]="
               -F "hochladen=yes" -F "submit=Absenden" "$to/admin.php?gallery-uploadImages-7")
    done
    curl "${args[@]}"
}

# vips_parallel <url>: (c), vipsthumbnail on every core, then curl.
vips_parallel() {
    rm -rf "$work/small" && mkdir "$work/small"
    printf '%s\0' "${photos[@]}" |
        xargs -0 -P "$(nproc)" -I{} vipsthumbnail {} --size "$limits" -o "$work/small/%s.jpg$vips_out"
    curl_upload "$work/small" "$1"
}

window=0
"$build/vemo" --help 2>/dev/null | grep -q -- '--upload-now' && window=1

now() { date +%s.%N; }
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
: >"$work/a.times"; : >"$work/b.times"; : >"$work/c.times"; : >"$work/d.times"; : >"$work/e.times"
: >"$work/a.kb"
for _ in $(seq 1 "$runs"); do
    # (a)
    t0=$(now)
    (cd "$work/run" && /usr/bin/time -f %M -o "$work/a.peak" \
        "$build/vemo" --upload --resize "$limits" "${photos[@]}" >/dev/null 2>&1)
    t1=$(now)
    echo "$t1 - $t0" | bc >>"$work/a.times"
    cat "$work/a.peak" >>"$work/a.kb"
    # (b)
    rm -rf "$work/small" && mkdir "$work/small"
    t0=$(now)
    for f in "${photos[@]}"; do
        vipsthumbnail "$f" --size "$limits" -o "$work/small/%s.jpg$vips_out"
    done
    curl_upload "$work/small"
    t1=$(now)
    echo "$t1 - $t0" | bc >>"$work/b.times"
    # (c)
    t0=$(now)
    vips_parallel "$url"
    t1=$(now)
    echo "$t1 - $t0" | bc >>"$work/c.times"
    # (d) vemo through the window: only with a build that can start the upload at once.
    if [ "$window" = 1 ]; then
        t0=$(now)
        (cd "$work/run" && QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
            "$build/vemo" --upload-now "${photos[@]}" >/dev/null 2>&1)
        t1=$(now)
        echo "$t1 - $t0" | bc >>"$work/d.times"
    fi
    # (e)
    t0=$(now)
    printf '%s\0' "${photos[@]}" | xargs -0 -P "$(nproc)" -n 1 djpeg -scale 1/2 -outfile /dev/null
    t1=$(now)
    echo "$t1 - $t0" | bc >>"$work/e.times"
done
# What the first run of (a) sent, for the quality table.
mkdir "$work/sent"
for n in $(seq 1 "$count"); do cp "$work/store/7/${n}_"*.jpg "$work/sent/"; done

# The same through a throttled uplink.
for rate in $rates; do
    : >"$work/a$rate.times"; : >"$work/c$rate.times"
    for _ in $(seq 1 "$throttled_runs"); do
        t0=$(now)
        (cd "$work/run" && "$build/vemo" --upload --site "${site_url[$rate]}" --resize "$limits" \
            "${photos[@]}" >/dev/null 2>&1)
        t1=$(now)
        echo "$t1 - $t0" | bc >>"$work/a$rate.times"
        t0=$(now)
        vips_parallel "${site_url[$rate]}"
        t1=$(now)
        echo "$t1 - $t0" | bc >>"$work/c$rate.times"
    done
done
stored=$(find "$work/store" -type f -name '*.jpg' | wc -l)
expected=$((runs * count * (3 + window)))
[ "$stored" -eq "$expected" ] || { echo "only $stored of $expected pictures arrived" >&2; exit 1; }

a=$(median <"$work/a.times")
b=$(median <"$work/b.times")
c=$(median <"$work/c.times")
e=$(median <"$work/e.times")
peak=$(sort -n "$work/a.kb" | tail -n 1)
what="$count photos of $size ($((bytes / 1048576)) MB in all), scaled to fit $limits"
[ "$delayed" = 1 ] && what="$what, each upload answered 1 s late"
printf '%s; %d CPU(s); median of %d runs each:\n' "$what" "$(nproc)" "$runs"
printf '  (a) vemo --upload --resize                     %7.2f s   peak RSS %d MB\n' "$a" $((peak / 1024))
printf '  (b) vipsthumbnail one by one, then curl        %7.2f s\n' "$b"
printf '  (c) vipsthumbnail on %d core(s), then curl      %7.2f s\n' "$(nproc)" "$c"
if [ "$window" = 1 ]; then
    printf '  (d) vemo through the window                    %7.2f s\n' "$(median <"$work/d.times")"
else
    echo "  (d) window run: not available"
fi
printf '  (e) decode floor: djpeg -scale 1/2, %d core(s) %7.2f s\n' "$(nproc)" "$e"
printf '  ratio (a) / (c)                                %7.2f\n' "$(echo "$a / $c" | bc -l)"
printf '  ratio (a) / (e)                                %7.2f\n' "$(echo "$a / $e" | bc -l)"
if [ "$window" = 1 ]; then
    printf '  ratio (d) / (a)                                %7.2f\n' "$(echo "$(median <"$work/d.times") / $a" | bc -l)"
fi
echo
printf 'through a throttled uplink (the test site reading at the rate), median of %d runs:\n' "$throttled_runs"
printf '  %-10s %10s %24s %8s\n' rate "(a) vemo" "(c) vipsthumbnail + curl" "(a)/(c)"
for rate in $rates; do
    ta=$(median <"$work/a$rate.times")
    tc=$(median <"$work/c$rate.times")
    printf '  %-10s %8.2f s %22.2f s %8.2f\n' "$rate Mbit/s" "$ta" "$tc" "$(echo "$ta / $tc" | bc -l)"
done
echo
echo "what (a) and (c) sent, against a Lanczos3 downscale of the full decode:"
"$build/bench/imagebench" quality --sent "vemo=$work/sent,vipsthumbnail=$work/small" "${photos[@]}"
