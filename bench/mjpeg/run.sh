#!/bin/sh
# MJPEG preview and passthrough recording CPU, against decoding every frame and
# against ffmpeg's stream copy.
# Usage: bench/mjpeg/run.sh <build dir> [seconds per case] [preview]
# ("preview": the 1080p preview decoded when shown, alone, to profile it)
set -e
build=${1:?usage: run.sh <build dir> [seconds]}
seconds=${2:-6}
ninja -C "$build" bench_mjpeg >/dev/null
QT_QPA_PLATFORM=offscreen "$build/bench/mjpeg/bench_mjpeg" "$seconds" "$3"
