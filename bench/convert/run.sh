#!/bin/sh
# Builds and runs the conversion benchmark. Usage: bench/convert/run.sh [build-dir] [frames]
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
[ -f "$build/build.ninja" ] || cmake -S "$here/../.." -B "$build" -G Ninja -DKV_BUILD_BENCH=ON >/dev/null
ninja -C "$build" -j2 bench_convert >/dev/null
QT_QPA_PLATFORM=offscreen exec "$build/bench/convert/bench_convert" "${2:-120}"
