#!/bin/sh
# Builds and runs the thousand windows. Usage: bench/windows/run.sh [build dir] [rounds] [kinds]
# The movie it plays is made here with FFmpeg: two seconds of MJPEG, 320x240.
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
[ -f "$build/build.ninja" ] || cmake -S "$here/../.." -B "$build" -G Ninja >/dev/null
ninja -C "$build" -j2 bench_windows >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=15 -t 2 -c:v mjpeg "$scratch/movie.avi"
# FFmpeg's scaler and decoder warn at every opening (the JPEG pixel format, no hardware
# decoder), and the offscreen platform about window calls it cannot do.
rc=0
QT_QPA_PLATFORM=offscreen "$build/bench/windows/bench_windows" "$scratch/movie.avi" "${2:-1000}" ${3:+"$3"} \
    2>"$scratch/err" || rc=$?
grep -vE "deprecated pixel format|hw context|HW context|HW accelerators|HW acceleration|hardware|hwaccel|CUDA|cuda|This plugin does not support" \
    "$scratch/err" >&2 || true
exit $rc
