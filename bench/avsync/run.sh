#!/bin/sh
# Picture and sound in step, measured from outside the program.
#
#   bench/avsync/run.sh [build dir] [minutes, 10] [sizes, "1280x720 1920x1080"]
#
# For each size, FFmpeg makes a reference movie: a black picture that flashes white for
# four frames while a 1 kHz tone sounds, six times in every ten seconds at irregular
# gaps (1.2 to 2.4 s, so that no slip of whole frames or gaps can hide). Its pictures
# play through the emulated camera (tests/support/camera-emulator, movie-start: the
# movie runs on the wall clock as a scene in front of the camera) and its sound, from
# the same instant, into the null sink of a private PulseAudio server (avsync_play: the
# sink renders each sample at its instant, and its monitor hears it as a microphone
# hears the room). Two recorders film that scene at the same time, each with its own
# emulated camera (an emulator serves the process it is preloaded into, so these are
# two cameras on one scene, not two streams of one camera, which a real camera would
# refuse) and the sink's monitor:
#   kelvanor --record ours.avi --sound            MJPEG as the camera sends it, in AVI
#   ffmpeg -f v4l2 -input_format mjpeg -i NODE -f pulse -i MONITOR -c:v copy  (Matroska)
# avsync_measure then finds each flash and beep in each file and prints the offset
# (sound minus picture, ms) at the start, the middle and the end side by side.
# Goal: |offset| below one frame (33 ms) all along, no drift.
#
# AVSYNC_OTHER=/path/to/kelvanor records with a second build of the program as well (a
# column "other": an older build against this one, in the same run); AVSYNC_KEEP=DIR
# keeps the recordings, every flash's offset and the logs there.
#
# Needs ffmpeg (with libx264), pulseaudio and pulseaudio-utils (scripts/deps.sh test).
set -eu
build=${1:-build}
minutes=${2:-10}
sizes=${3:-"1280x720 1920x1080"}
kelvanor="$build/src/app/kelvanor"
emulator="$build/tests/support/camera-emulator/libkv_camera_emulator.so"
play="$build/bench/avsync/avsync_play"
measure="$build/bench/avsync/avsync_measure"
for f in "$kelvanor" "$emulator" "$play" "$measure"; do
    [ -e "$f" ] || { echo "missing: $f (build with -DKV_BUILD_TESTS=ON -DKV_BUILD_BENCH=ON)"; exit 1; }
done
for tool in ffmpeg pulseaudio pactl; do
    command -v "$tool" >/dev/null || { echo "missing: $tool"; exit 1; }
done
kelvanor=$(readlink -f "$kelvanor")
emulator=$(readlink -f "$emulator")
seconds=$((minutes * 60))

work=$(mktemp -d)
pa=
player=
cleanup() {
    [ -n "$player" ] && kill "$player" 2>/dev/null
    [ -n "$pa" ] && kill "$pa" 2>/dev/null && wait "$pa" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM || true

# The private sound server: a null sink at 48000 samples per second.
runtime="$work/pulse"
mkdir -p "$runtime"
XDG_RUNTIME_DIR="$runtime" HOME="$runtime" pulseaudio --daemonize=no --exit-idle-time=-1 -n --use-pid-file=no \
    --load="module-null-sink sink_name=avsync rate=48000" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$runtime/native" >"$runtime/log" 2>&1 &
pa=$!
export PULSE_SERVER="unix:$runtime/native" PULSE_SOURCE=avsync.monitor PULSE_SINK=avsync
tries=0
until pactl info >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ $tries -gt 50 ]; then echo "pulseaudio does not answer"; exit 1; fi
    sleep 0.2
done

# Flashes at these frames of every 300 (ten seconds), four frames each; the tone sounds
# over the same frames' time.
flashes="15 57 93 145 186 242"
picture=
sound=
for f in $flashes; do
    picture="$picture${picture:+ + }between(mod(n,300),$f,$((f + 3)))"
    sound="$sound${sound:+ + }gte(ld(0),$f)*lt(ld(0),$((f + 4)))"
done
other=
if [ -n "${AVSYNC_OTHER:-}" ]; then
    other=$(readlink -f "$AVSYNC_OTHER")
fi
files="ours.avi${other:+ other.avi} ffmpeg.mkv"

echo "Picture and sound in step: $minutes min, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
for size in $sizes; do
    width=${size%x*}
    height=${size#*x}
    length=$((seconds + 20))
    echo
    echo "$size at 30 frames per second: making the reference movie ($length s)"
    ffmpeg -nostdin -v error -f lavfi -i "color=c=black:s=$size:r=30:d=$length" \
        -f lavfi -i "aevalsrc=exprs='st(0,mod(t*30,300)); 0.5*cos(2*PI*1000*t)*($sound)':s=48000:d=$length" \
        -vf "drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='$picture'" \
        -c:v libx264 -preset ultrafast -g 300 -pix_fmt yuv420p -c:a pcm_s16le -y "$work/reference.mkv"
    ffmpeg -nostdin -v error -i "$work/reference.mkv" -map 0:a -f s16le -ac 1 -ar 48000 -y "$work/reference.pcm"

    # The scene starts in 4 s: the sound stream and the recorders are running by then.
    start=$(date +%s.%N | awk '{ printf "%.3f", $1 + 4 }')
    cat >"$work/cameras.conf" <<CONF
camera /dev/video42
card = Kelvanor Sync Camera
driver = uvcvideo
bus = usb-0000:00:14.0-9
format = MJPG $size@30
source = movie $work/reference.mkv
movie-start = $start
CONF
    export KV_CAMERA_EMULATOR_CONFIG="$work/cameras.conf"
    "$play" "$work/reference.pcm" "$start" >"$work/play.log" 2>&1 &
    player=$!
    rm -rf "$work"/data* "$work"/*.avi "$work"/*.mkv.* "$work"/*.avi.* "$work"/ffmpeg*.mkv
    KELVANOR_FOLDER="$work/data" LD_PRELOAD="$emulator" "$kelvanor" --record "$work/ours.avi" \
        --device /dev/video42 --size "$size" --rate 30 --seconds "$seconds" --sound >"$work/ours.log" 2>&1 &
    ours=$!
    others=
    if [ -n "$other" ]; then
        KELVANOR_FOLDER="$work/data-other" LD_PRELOAD="$emulator" "$other" --record "$work/other.avi" \
            --device /dev/video42 --size "$size" --rate 30 --seconds "$seconds" --sound >"$work/other.log" 2>&1 &
        others=$!
    fi
    LD_PRELOAD="$emulator" ffmpeg -nostdin -v error -f v4l2 -input_format mjpeg -video_size "$size" \
        -framerate 30 -i /dev/video42 -f pulse -i avsync.monitor -t "$seconds" -c:v copy -c:a pcm_s16le \
        -y "$work/ffmpeg.mkv" >"$work/ffmpeg.log" 2>&1 &
    theirs=$!
    echo "recording $seconds s with kelvanor,${other:+ $other,} and ffmpeg at the same time"
    status=0
    wait $ours || { status=1; echo "kelvanor failed:"; cat "$work/ours.log"; }
    if [ -n "$others" ]; then wait $others || { status=1; echo "$other failed:"; cat "$work/other.log"; }; fi
    wait $theirs || { status=1; echo "ffmpeg failed:"; cat "$work/ffmpeg.log"; }
    kill "$player" 2>/dev/null || true
    wait "$player" 2>/dev/null || true
    player=
    [ $status = 0 ] || exit 1

    echo "offset of sound against picture, ms (sound minus picture; goal: |offset| < 33 all along, no drift)"
    printf '%-22s %14s' "" "kelvanor"
    [ -n "$other" ] && printf ' %14s' "other"
    printf ' %14s\n' "ffmpeg"
    for f in $files; do
        "$measure" "$work/$f" >"$work/$f.pairs" 2>&1 || true
        sed -n 's/^figures: //p' "$work/$f.pairs" >"$work/$f.line"
    done
    row() {
        printf '%-22s' "$1"
        for f in $files; do
            printf ' %14s' "$(cut -d' ' -f"$2" "$work/$f.line")"
        done
        echo
    }
    row "flashes paired" 1
    row "flashes found" 2
    row "beeps found" 3
    row "start (first 5)" 4
    row "middle (5)" 5
    row "end (last 5)" 6
    row "least" 7
    row "greatest" 8
    row "drift per 10 min" 9
    frames() { ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets -of csv=p=0 "$1"; }
    printf 'frames:'
    for f in $files; do printf ' %s %s' "$f" "$(frames "$work/$f")"; done
    echo
    cat "$work/play.log"
    if [ -n "${AVSYNC_KEEP:-}" ]; then
        mkdir -p "$AVSYNC_KEEP/$size"
        cp "$work"/*.pairs "$work"/*.log "$work"/*.avi "$work"/*.mkv "$AVSYNC_KEEP/$size/"
    fi
done
