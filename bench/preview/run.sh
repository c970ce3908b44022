#!/bin/sh
# Preview CPU per displayed frame, on a virtual X display when one can be started
# (closest to a desktop), else on the offscreen platform.
# Usage: bench/preview/run.sh <build dir> [seconds per case]
set -e
build=${1:?usage: run.sh <build dir> [seconds]}
seconds=${2:-5}
ninja -C "$build" bench_preview >/dev/null
bin="$build/bench/preview/bench_preview"
if command -v xvfb-run >/dev/null 2>&1; then
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24" "$bin" "$seconds"
fi
QT_QPA_PLATFORM=offscreen "$bin" "$seconds"
