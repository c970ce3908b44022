#!/bin/sh
# Runs the recording benchmark: bench/record/run.sh [build dir] [seconds]
# or the long recording alone:    bench/record/run.sh <build dir> long [minutes, 60]
# The real-time run takes its sound from a private PulseAudio null sink playing a
# tone (so it needs no sound card); the server is stopped by its pid at the end.
set -eu
build=${1:-build}
mode=realtime
if [ "${2:-}" = long ]; then
    mode=long
    minutes=${3:-60}
    seconds=$((minutes * 60))
else
    seconds=${2:-60}
fi
bin="$build/bench/record/bench_record"
export QT_QPA_PLATFORM=offscreen

if [ $mode = realtime ]; then
    "$bin" throughput
    "$bin" opendml
fi

if ! command -v pulseaudio >/dev/null; then
    echo "pulseaudio is not installed: real-time run skipped"
    [ $mode = realtime ]
    exit
fi
runtime=$(mktemp -d)
XDG_RUNTIME_DIR="$runtime" HOME="$runtime" pulseaudio --daemonize=no --exit-idle-time=-1 -n --use-pid-file=no \
    --load="module-null-sink sink_name=kvbench" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$runtime/native" >"$runtime/log" 2>&1 &
pa=$!
export PULSE_SERVER="unix:$runtime/native" PULSE_SOURCE=kvbench.monitor PULSE_SINK=kvbench
tries=0
until pactl info >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ $tries -gt 50 ]; then echo "pulseaudio does not answer"; kill $pa; exit 1; fi
    sleep 0.2
done
ffmpeg -v error -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$((seconds + 30))" -f s16le -ac 1 - 2>/dev/null |
    pacat --playback --raw --format=s16le --rate=44100 --channels=1 2>/dev/null &
tone=$!
status=0
if [ $mode = long ]; then
    "$bin" long "$minutes" || status=$?
else
    "$bin" realtime "$seconds" || status=$?
fi
kill $tone 2>/dev/null || true
kill $pa
wait $pa 2>/dev/null || true
rm -rf "$runtime"
exit $status
