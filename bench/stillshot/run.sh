#!/bin/sh
# Builds and runs the still-shot benchmark. Usage: bench/stillshot/run.sh [build-dir]
# fswebcam is optional (apt-get install fswebcam); without it that column is skipped.
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
[ -f "$build/build.ninja" ] || cmake -S "$here/../.." -B "$build" -G Ninja >/dev/null
ninja -C "$build" -j2 bench_stillshot >/dev/null
QT_QPA_PLATFORM=offscreen exec "$build/bench/stillshot/bench_stillshot"
