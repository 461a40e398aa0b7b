#!/usr/bin/env bash
# Runs our programs beside the standard tools on one machine and prints the ratios:
# wall time (hyperfine medians) and peak memory (maximum resident set size).
# Needs a release build in build/ (scripts/build.sh) and djpeg, vips, vipsthumbnail,
# dcraw_emu and hyperfine (apt-get install libjpeg-turbo-progs libvips-tools libraw-bin
# hyperfine).
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

# 99 two-megapixel JPEGs added at once (decoded on every core, the album written in
# order) against a loop of djpeg over the same files at the scale the program decodes
# them (whole: the temporary copy is the picture at its own size).
mkdir -p "$work/many"
"$build/bench/kv_camera_jpeg" "$work/many" 1600 1200 >/dev/null
for i in $(seq -w 1 99); do cp "$work/many/camera-1600x1200.jpg" "$work/many/p$i.jpg"; done
rm "$work/many/camera-1600x1200.jpg"
fresh_album_many="rm -rf $work/home $work/c && $cli album add A >/dev/null"
ours=$(median "$fresh_album_many" "$cli picture add A $work/many/*.jpg")
yard=$(median "" "for f in $work/many/*.jpg; do djpeg -bmp -outfile $work/djpeg.bmp \$f; done")
eval "$fresh_album_many"; ours_mb=$(peak "$cli" picture add A "$work"/many/*.jpg)
yard_mb=$(peak djpeg -bmp -outfile "$work/djpeg.bmp" "$work/many/p01.jpg")
row "picture add, 99 x 2 MP JPEG vs a djpeg -bmp loop" "$ours" "$yard" "$ours_mb" "$yard_mb"

# Today's formats, made from the camera JPEG by vips: adding one against vipsthumbnail.
command -v vips >/dev/null || { echo "compare: vips is missing (libvips-tools)" >&2; exit 2; }
vips copy "$picture" "$work/camera.png"
vips webpsave "$picture" "$work/camera.webp"
vips heifsave "$picture" "$work/camera.heic" --compression hevc
vips heifsave "$picture" "$work/camera.avif" --compression av1 --effort 0
for format in png webp heic avif; do
  file=$work/camera.$format
  ours=$(median "$fresh_album" "$cli picture add A $file")
  yard=$(median "" "vipsthumbnail $file -s 640x480 -o $work/thumb.jpg")
  eval "$fresh_album"; ours_mb=$(peak "$cli" picture add A "$file")
  yard_mb=$(peak vipsthumbnail "$file" -s 640x480 -o "$work/thumb.jpg")
  row "picture add, 24 MP ${format^^} vs vipsthumbnail -s 640x480" "$ours" "$yard" "$ours_mb" "$yard_mb"
done

# A camera raw (a 6000 x 4000 DNG with a JPEG preview): its thumbnail against LibRaw's
# own preview extraction, its print against LibRaw's half-size develop.
command -v dcraw_emu >/dev/null || { echo "compare: dcraw_emu is missing (libraw-bin)" >&2; exit 2; }
cmake --build "$build" --target kv_camera_dng >/dev/null
raw=$("$build/bench/kv_camera_dng" "$work/raw")
ours=$(median "$fresh_album" "$cli picture add A $raw")
yard=$(median "" "simple_dcraw -e $raw")
eval "$fresh_album"; ours_mb=$(peak "$cli" picture add A "$raw")
yard_mb=$(peak simple_dcraw -e "$raw")
row "picture add, 24 MP DNG vs simple_dcraw -e" "$ours" "$yard" "$ours_mb" "$yard_mb"
ours=$(median "" "$cli render $raw --bmx $work/sheet.bmx")
yard=$(median "" "dcraw_emu -h $raw")
ours_mb=$(peak "$cli" render "$raw" --bmx "$work/sheet.bmx")
yard_mb=$(peak dcraw_emu -h "$raw")
row "render, 24 MP DNG vs dcraw_emu -h" "$ours" "$yard" "$ours_mb" "$yard_mb"

ours=$(median "" "$cli render $picture --bmx $work/sheet.bmx")
yard=$(median "" "vipsthumbnail $picture -s 640x480 -o $work/thumb.jpg")
ours_mb=$(peak "$cli" render "$picture" --bmx "$work/sheet.bmx")
yard_mb=$(peak vipsthumbnail "$picture" -s 640x480 -o "$work/thumb.jpg")
row "render, 24 MP JPEG vs vipsthumbnail -s 640x480" "$ours" "$yard" "$ours_mb" "$yard_mb"

# The window program, on Qt's offscreen platform for ours and the yardstick alike (the
# same display for both, no display server to vary). The album on show at start, the
# default one, holds 99 small JPEGs; a second album "A" adds its tab.
command -v cjpeg >/dev/null || { echo "compare: cjpeg is missing (libjpeg-turbo-progs)" >&2; exit 2; }
cmake --build "$build" --target kvphoto kv_empty_window >/dev/null
export QT_QPA_PLATFORM=offscreen
kvphoto=$build/src/shell/kvphoto empty=$build/bench/kv_empty_window
rm -rf "$work/home" && "$cli" album add A >/dev/null
mkdir -p "$work/small"
python3 - "$work/small" <<'EOF'
import sys
for i in range(99):
    line = bytes(v for x in range(640) for v in ((x * 3 + i * 7) & 255, (x + i * 29) & 255, x & 255))
    rows = b"".join(line[3 * y:3 * y + 960] for y in range(240))
    open(f"{sys.argv[1]}/p{i:02d}.ppm", "wb").write(b"P6 320 240 255\n" + rows)
EOF
for ppm in "$work"/small/*.ppm; do cjpeg -quality 85 "$ppm" >"${ppm%.ppm}.jpg"; done
"$cli" picture add My_Album "$work"/small/*.jpg >/dev/null

# Start to first paint: KVPR_EXIT_AFTER_FIRST_PAINT=1 closes the window the normal way
# right after its first paint (before the port set-up, which comes after that paint),
# so the run is start, first paint, clean-up and exit; kv_empty_window does the same.
ours=$(median "" "env KVPR_EXIT_AFTER_FIRST_PAINT=1 $kvphoto")
yard=$(median "" "$empty")
ours_mb=$(peak env KVPR_EXIT_AFTER_FIRST_PAINT=1 "$kvphoto")
yard_mb=$(peak "$empty")
row "window painted, 99-picture album vs empty Qt 6 window" "$ours" "$yard" "$ours_mb" "$yard_mb"

# Ending: the program is started and left to finish its start-up (ours: the port search
# has written kvprn.ini, then one second more; the yardstick: its marker file after its
# first paint), then SIGTERM, timed until the process is reaped. kvphoto turns SIGTERM
# into the same clean-up as closing the window (Session::cleanUp), then its message
# loop ends and the rest (scanner, port library) is released as after a close;
# kv_empty_window closes its window on SIGTERM. Median of the runs after one warm-up;
# peak memory of the whole run.
ending() { # marker command...
  python3 - "$runs" "$@" <<'EOF'
import os, signal, statistics, subprocess, sys, time
runs, marker, cmd = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
times, peak = [], 0
for i in range(runs + 1):
    if os.path.exists(marker):
        os.remove(marker)
    p = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 60
    while not os.path.exists(marker):
        if time.monotonic() > deadline or p.poll() is not None:
            sys.exit(f"compare: {cmd[0]} did not come up")
        time.sleep(0.01)
    time.sleep(1.0)
    start = time.monotonic()
    p.send_signal(signal.SIGTERM)
    _, status, usage = os.wait4(p.pid, 0)
    p.returncode = status
    if i:
        times.append(time.monotonic() - start)
    peak = max(peak, usage.ru_maxrss)
print(statistics.median(times), peak // 1024)
EOF
}
read -r ours ours_mb < <(ending "$KVPR_SYSTEM_DIR/kvprn.ini" "$kvphoto")
read -r yard yard_mb < <(ending "$work/painted" "$empty" --stay "$work/painted")
row "closing the window to process gone" "$ours" "$yard" "$ours_mb" "$yard_mb"

# A sheet's colour stages and its 774 raster lines, our own work with no yardstick:
# together at most 10 ms.
cmake --build "$build" --target bench_colour bench_raster >/dev/null
bench_ms() { # binary filter
  "$1" --benchmark_filter="$2" --benchmark_min_time=0.5 --benchmark_format=json 2>/dev/null |
    python3 -c 'import json,sys; b=json.load(sys.stdin)["benchmarks"][0]; print(b["real_time"] * {"ns": 1e-6, "us": 1e-3, "ms": 1}[b["time_unit"]])'
}
colour=$(bench_ms "$build/bench/bench_colour" '^colourStages$')
raster=$(bench_ms "$build/bench/bench_raster" 'RasterLinesOfASheet')
python3 -c 'import sys
c,r=float(sys.argv[1]),float(sys.argv[2])
print(f"| colour stages + raster lines of a sheet | {c:.2f} + {r:.2f} = {c+r:.2f} ms | (goal: at most 10 ms) | | |")' "$colour" "$raster"

echo
echo "$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(date -u +%Y-%m-%d)"
