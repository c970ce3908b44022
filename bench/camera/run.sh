#!/bin/sh
# Recording the emulated camera's MJPEG at 1920x1080 and 3840x2160, 30 frames per
# second, the camera's JPEGs stored unchanged, in one run on the same camera:
#   - kelvanor --record (no window: no preview);
#   - the same recording with the main window shown (bench_camera_window), its capture
#     window painting the preview at the window's preview rate (10 frames/s);
#   - ffmpeg -f v4l2 -input_format mjpeg -framerate 30 -video_size WxH -i <node> -c copy.
# For each: CPU seconds (user + system) per second of movie, of the whole process and
# of its steady part (from 4 s after the start to 2 s before the end, read from
# /proc/<pid>/stat); the frames in the file against 30 a second; dropped frames as the
# program counts them; and the camera's own count (the emulator's producer: frames
# sent while no buffer was queued are lost to the program). Ratios are against ffmpeg
# (below 1 is better).
#
#   bench/camera/run.sh [build dir] [seconds, 20] [sizes, "1920x1080 3840x2160"]
#
# The emulator runs inside each measured process (it is preloaded), so its own work
# (a copy of each frame into the buffer) is in every figure alike. Needs
# /usr/bin/time, ffmpeg and ffprobe (scripts/deps.sh test).
set -eu
build=${1:-build}
seconds=${2:-20}
sizes=${3:-"1920x1080 3840x2160"}
kelvanor="$build/src/app/kelvanor"
window="$build/bench/camera/bench_camera_window"
emulator="$build/tests/support/camera-emulator/libkv_camera_emulator.so"
for f in "$kelvanor" "$window" "$emulator"; do
    [ -e "$f" ] || { echo "missing: $f (build with -DKV_BUILD_TESTS=ON -DKV_BUILD_BENCH=ON)"; exit 1; }
done
for tool in ffmpeg ffprobe /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing: $tool"; exit 1; }
done
[ "$seconds" -ge 8 ] || { echo "seconds: at least 8"; exit 1; }
kelvanor=$(readlink -f "$kelvanor")
window=$(readlink -f "$window")
emulator=$(readlink -f "$emulator")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Two pictures in the camera's cycle: the emulator encodes each once, at the start.
cat >"$work/cameras.conf" <<CONF
camera /dev/video42
card = Kelvanor Bench Camera
driver = uvcvideo
bus = usb-0000:00:14.0-9
pattern-frames = 2
format = MJPG 3840x2160@30 1920x1080@30 1280x720@30 640x480@30
CONF
export KV_CAMERA_EMULATOR_CONFIG="$work/cameras.conf"
export KV_CAMERA_EMULATOR_STATS="$work/stats"
export KELVANOR_FOLDER="$work/data"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM || true
tick=$(getconf CLK_TCK)

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
now() { date +%s.%N; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
frames() { ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets -of csv=p=0 "$1"; }

# measure <name> <command...>: runs it under /usr/bin/time with the emulator; sets
# whole (CPU s per movie second), steady (the same over the steady part).
measure() {
    name=$1
    shift
    : >"$work/stats"
    LD_PRELOAD="$emulator" /usr/bin/time -f "%e %U %S" -o "$work/$name.time" "$@" \
        >"$work/$name.out" 2>"$work/$name.err" &
    tpid=$!
    pid=
    while [ -z "$pid" ]; do
        sleep 0.1
        pid=$(pgrep -P "$tpid" | head -n 1 || true)
    done
    sleep 3.9
    t0=$(now)
    c0=$(ticks "$pid")
    sleep $((seconds - 6))
    t1=$(now)
    c1=$(ticks "$pid")
    if ! wait "$tpid"; then
        echo "failed: $*"
        cat "$work/$name.err"
        exit 1
    fi
    read -r wall user sys <"$work/$name.time"
    whole=$(awk -v u="$user" -v s="$sys" -v t="$seconds" 'BEGIN { printf "%.3f", (u + s) / t }')
    steady=$(awk -v a="$c0" -v b="$c1" -v t0="$t0" -v t1="$t1" -v hz="$tick" \
        'BEGIN { printf "%.3f", (b - a) / hz / (t1 - t0) }')
    camera=$(awk '{ for (i = 1; i <= NF; ++i) { split($i, kv, "="); v[kv[1]] += kv[2] } }
        END { printf "sent %d, lost for want of a buffer %d, late emulator %d",
              v["frames"], v["lost-no-buffer"], v["lost-late"] }' "$work/stats")
    eval "${name}_wall=\$wall ${name}_whole=\$whole ${name}_steady=\$steady"
    eval "${name}_camera=\"\$camera\""
}

echo "Recording the emulated camera's MJPEG, $seconds s a movie, the JPEGs stored unchanged"
echo "$(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg) at the start"
for size in $sizes; do
    record="--record $work/k.avi --device /dev/video42 --size $size --rate 30 --seconds $seconds --no-sound --progress"
    # shellcheck disable=SC2086
    measure k "$kelvanor" $record
    kdrop=$(tr '\r' '\n' <"$work/k.err" | sed -n 's/.*dropped \([0-9]*\).*/\1/p' | tail -n 1)
    kframes=$(frames "$work/k.avi")
    # shellcheck disable=SC2086
    measure w "$window" $(echo "$record" | sed "s|k.avi|w.avi|")
    wdrop=$(tr '\r' '\n' <"$work/w.err" | sed -n 's/.*dropped \([0-9]*\).*/\1/p' | tail -n 1)
    wframes=$(frames "$work/w.avi")
    read -r _ painted rate <<EOF2
$(grep '^PREVIEW ' "$work/w.out" || echo "PREVIEW ? ?")
EOF2
    measure f ffmpeg -nostdin -v error -f v4l2 -input_format mjpeg -framerate 30 -video_size "$size" \
        -i /dev/video42 -t "$seconds" -c copy -y "$work/f.avi"
    fframes=$(frames "$work/f.avi")
    expected=$((seconds * 30))
    echo
    echo "$size at 30 frames/s ($expected frames expected), CPU seconds per second of movie (whole process / steady part):"
    printf '  %-38s %6s / %6s   ratio %s / %s   %s frames, dropped %s (program), camera: %s\n' \
        "kelvanor --record, no preview" "$k_whole" "$k_steady" "$(ratio "$k_whole" "$f_whole")" \
        "$(ratio "$k_steady" "$f_steady")" "$kframes" "${kdrop:-?}" "$k_camera"
    printf '  %-38s %6s / %6s   ratio %s / %s   %s frames, dropped %s (program), camera: %s\n' \
        "window shown, preview $rate frames/s" "$w_whole" "$w_steady" "$(ratio "$w_whole" "$f_whole")" \
        "$(ratio "$w_steady" "$f_steady")" "$wframes" "${wdrop:-?}" "$w_camera"
    printf '  %-38s %6s / %6s   %s frames, camera: %s\n' \
        "ffmpeg -c copy" "$f_whole" "$f_steady" "$fframes" "$f_camera"
    echo "  preview: $painted pictures painted in ${w_wall} s (wall)"
    echo "  goals: no preview at most 1.0, with the 10 frames/s preview at most 1.5, 0 dropped"
done
