#!/bin/sh
# Builds and runs the compressed interval soak run. Usage: bench/soak/run.sh [build-dir] [hours]
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
[ -f "$build/build.ninja" ] || cmake -S "$here/../.." -B "$build" -G Ninja >/dev/null
ninja -C "$build" -j2 bench_soak >/dev/null
QT_QPA_PLATFORM=offscreen exec "$build/bench/soak/bench_soak" "${2:-10}"
