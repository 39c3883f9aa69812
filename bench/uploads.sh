#!/usr/bin/env bash
# Wall time of a headless upload of 20 pictures to the bundled test site, next
# to curl doing the same exchanges (one login and 20 multipart posts, in one
# curl process with a cookie jar), measured side by side, alternating.
#
#   bench/uploads.sh              RUNS=7 PICTURES=20 SIZE=1600x1200 by default
#   BUILD_DIR=...                 an existing build (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
runs=${RUNS:-7}
count=${PICTURES:-20}
size=${SIZE:-1600x1200}
[ -x "$build/vemo" ] || build=$("$root/scripts/build" release | tail -n 1)

work=$(mktemp -d)
trap 'kill "$site_pid" 2>/dev/null; wait "$site_pid" 2>/dev/null; rm -rf "$work"' EXIT
"$build/orva-testsite" --port 0 --store "$work/store" >"$work/site.out" 2>/dev/null &
site_pid=$!
for _ in $(seq 1 100); do
    url=$(sed -n 's/^listening on //p' "$work/site.out")
    [ -n "$url" ] && break
    sleep 0.1
done

# Photo-like pictures, made here.
convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert
mkdir -p "$work/pics"
"$convert" -size "$size" plasma:orange-navy -blur 0x1 -quality 92 "$work/pics/base.jpg"
for i in $(seq -w 1 "$count"); do
    "$convert" "$work/pics/base.jpg" -modulate 100,100,$((80 + 10#$i)) -quality 92 "$work/pics/p$i.jpg"
done
rm "$work/pics/base.jpg"
bytes=$(cat "$work/pics"/*.jpg | wc -c)

printf '[General]\nwebsite=%s\nusername=admin\npassword=secret\ncategory=7\nresize=0\n' "$url" \
    >"$work/pics/vemo.ini"

curl_args=(-s -o /dev/null -c "$work/jar" -b "$work/jar"
           -d "name=admin&pass=secret&user_login_sub=Login" "$url/admin.php")
for f in "$work/pics"/p*.jpg; do
    curl_args+=(--next -s -o /dev/null -b "$work/jar" -F "file[]=@$f" -F "besch[]="
                -F "hochladen=yes" -F "submit=Absenden" "$url/admin.php?gallery-uploadImages-7")
done

now() { date +%s.%N; }
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
: >"$work/vemo.times"
: >"$work/vemo-resize.times"
: >"$work/curl.times"
for _ in $(seq 1 "$runs"); do
    t0=$(now)
    (cd "$work/pics" && "$build/vemo" --upload p*.jpg >/dev/null)
    t1=$(now)
    curl "${curl_args[@]}"
    t2=$(now)
    (cd "$work/pics" && "$build/vemo" --upload --resize 1024x768 p*.jpg >/dev/null)
    t3=$(now)
    echo "$t1 - $t0" | bc >>"$work/vemo.times"
    echo "$t2 - $t1" | bc >>"$work/curl.times"
    echo "$t3 - $t2" | bc >>"$work/vemo-resize.times"
done
stored=$(find "$work/store" -type f -name '*.jpg' | wc -l)
expected=$((runs * count * 3))
[ "$stored" -eq "$expected" ] || { echo "only $stored of $expected pictures arrived" >&2; exit 1; }

v=$(median <"$work/vemo.times")
c=$(median <"$work/curl.times")
r=$(median <"$work/vemo-resize.times")
printf '%d pictures of %s (%d bytes in all), median of %d runs each:\n' "$count" "$size" "$bytes" "$runs"
printf '  vemo --upload (files as they are)      %6.3f s\n' "$v"
printf '  curl, one process, same exchanges      %6.3f s\n' "$c"
printf '  ratio vemo / curl                      %6.2f\n' "$(echo "$v / $c" | bc -l)"
printf '  vemo --upload --resize 1024x768        %6.3f s\n' "$r"
