#!/usr/bin/env bash
# The cost of the record of what was sent in a batch of camera photos (with
# and without it, scaled and as they are) and of a list of 10,000 rows.
#
#   bench/history.sh                RUNS=5 PICTURES=20 SIZE=6000x4000 by default
#   BUILD_DIR=... DATA_DIR=...      an existing build (default: build); where the
#                                   photos are kept (default: $BUILD_DIR/bench-photos)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
[ -x "$build/vemo" ] || build=$("$root/scripts/build" release | tail -n 1)
cmake --build "$build" --target imagebench historybench >/dev/null
mapfile -t photos < <("$root/bench/photos.sh" "$build/bench/imagebench" \
    "${DATA_DIR:-$build/bench-photos}" "${PICTURES:-20}" "${SIZE:-6000x4000}" --turned)
"$build/bench/historybench" "${RUNS:-5}" "${photos[@]}"
