#!/bin/sh
# Builds and runs the thousand windows. Usage: bench/windows/run.sh [build dir] [rounds]
# The movie it plays is made here with FFmpeg: two seconds of MJPEG, 320x240.
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
[ -f "$build/build.ninja" ] || cmake -S "$here/../.." -B "$build" -G Ninja >/dev/null
ninja -C "$build" -j2 bench_windows >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=15 -t 2 -c:v mjpeg "$scratch/movie.avi"
QT_QPA_PLATFORM=offscreen "$build/bench/windows/bench_windows" "$scratch/movie.avi" "${2:-1000}"
