#!/usr/bin/env bash
# Runs our programs beside the standard tools on one machine and prints the ratios:
# wall time (hyperfine medians) and peak memory (maximum resident set size).
# Needs a release build in build/ (scripts/build.sh) and djpeg, vipsthumbnail and
# hyperfine (apt-get install libjpeg-turbo-progs libvips-tools hyperfine).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KV_BUILD_DIR:-build}
cli=$build/src/shell/kvphoto-cli
runs=${KV_COMPARE_RUNS:-7}
for tool in djpeg vipsthumbnail hyperfine; do
  command -v "$tool" >/dev/null || { echo "compare: $tool is missing (see the top of $0)" >&2; exit 2; }
done
cmake --build "$build" --target kvphoto-cli kv_camera_jpeg >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export KVPR_HOME=$work/home KVPR_DRIVE_C=$work/c KVPR_SYSTEM_DIR=$work/system
export KVPR_PORT=sim KVPR_SIM_OUT=$work/out KVPR_SIM_WARMUP_MS=0 XDG_RUNTIME_DIR=$work
picture=$("$build/bench/kv_camera_jpeg" "$work/pictures")

# Median wall time in seconds of a command, with an optional command run before each.
median() {
  local prepare=$1; shift
  local args=(--runs "$runs" --warmup 1 --export-json "$work/h.json" --style none)
  [ -n "$prepare" ] && args+=(--prepare "$prepare")
  hyperfine "${args[@]}" "$*" >/dev/null 2>&1
  python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["median"])' "$work/h.json"
}
# Peak resident memory in MB of one run.
peak() {
  /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>&1 || true
  echo "$(( $(cat "$work/rss") / 1024 ))"
}
row() { # name ours yardstick oursMB yardMB
  python3 -c 'import sys
n,o,y,om,ym=sys.argv[1],float(sys.argv[2]),float(sys.argv[3]),float(sys.argv[4]),float(sys.argv[5])
print(f"| {n} | {o:.3f} s | {y:.3f} s | {o/y:.2f} x | {om:.0f} MB / {ym:.0f} MB ({om/ym:.2f} x) |")' "$@"
}

echo "| Work | Ours | Yardstick | Time ratio | Peak memory ours / yardstick |"
echo "|---|---|---|---|---|"

fresh_album="rm -rf $work/home && $cli album add A >/dev/null"
ours=$(median "$fresh_album" "$cli picture add A $picture")
yard=$(median "" "djpeg -bmp -outfile $work/djpeg.bmp $picture")
eval "$fresh_album"; ours_mb=$(peak "$cli" picture add A "$picture")
yard_mb=$(peak djpeg -bmp -outfile "$work/djpeg.bmp" "$picture")
row "picture add, 24 MP JPEG vs djpeg -bmp" "$ours" "$yard" "$ours_mb" "$yard_mb"

ours=$(median "" "$cli render $picture --bmx $work/sheet.bmx")
yard=$(median "" "vipsthumbnail $picture -s 640x480 -o $work/thumb.jpg")
ours_mb=$(peak "$cli" render "$picture" --bmx "$work/sheet.bmx")
yard_mb=$(peak vipsthumbnail "$picture" -s 640x480 -o "$work/thumb.jpg")
row "render, 24 MP JPEG vs vipsthumbnail -s 640x480" "$ours" "$yard" "$ours_mb" "$yard_mb"

echo
echo "$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(date -u +%Y-%m-%d)"
