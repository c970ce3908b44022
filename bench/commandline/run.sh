#!/bin/sh
# The program's command line against the tools people use, on the emulated camera
# (tests/support/camera-emulator, preloaded into every process): one run prints
#   - a still's whole process, wall time: kelvanor --shot against fswebcam with its
#     banner, both taking one 640x480 picture from the camera's MJPEG stream;
#   - a 10-second recording, CPU time (user + system): kelvanor --record against
#     ffmpeg -f v4l2 -input_format mjpeg -i <node> -c copy, both storing the camera's
#     640x480 JPEG frames unchanged in an AVI;
# and the ratios (kelvanor / the other; below 1 is better).
#
#   bench/commandline/run.sh [build dir] [shots]
#
# Needs /usr/bin/time, fswebcam and ffmpeg (scripts/deps.sh test). Each shot is taken
# `shots` times (5 by default) and the median kept; the recordings run once each.
set -eu
build=${1:-build}
shots=${2:-5}
kelvanor="$build/src/app/kelvanor"
emulator="$build/tests/support/camera-emulator/libkv_camera_emulator.so"
for f in "$kelvanor" "$emulator"; do
    [ -e "$f" ] || { echo "missing: $f (build with -DKV_BUILD_TESTS=ON)"; exit 1; }
done
for tool in fswebcam ffmpeg /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing: $tool"; exit 1; }
done
kelvanor=$(readlink -f "$kelvanor")
emulator=$(readlink -f "$emulator")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/cameras.conf" <<CONF
camera /dev/video42
card = Kelvanor Bench Camera
driver = uvcvideo
bus = usb-0000:00:14.0-9
format = MJPG 640x480@30
CONF
export KV_CAMERA_EMULATOR_CONFIG="$work/cameras.conf"
export KELVANOR_FOLDER="$work/data"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM || true

# timed <out file> <command...>: "wall user system" in seconds of the whole process.
timed() {
    out=$1
    shift
    LD_PRELOAD="$emulator" /usr/bin/time -f "%e %U %S" -o "$out" "$@" >"$work/stdout" 2>"$work/stderr" || {
        echo "failed: $*"
        cat "$work/stderr"
        exit 1
    }
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

echo "Video Kelvanor 2000 command line against fswebcam and ffmpeg, on the emulated camera"
echo "(MJPG 640x480 at 30 frames per second), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo

: >"$work/k.shots"
: >"$work/f.shots"
i=0
while [ $i -lt "$shots" ]; do
    timed "$work/t" "$kelvanor" --shot "$work/k$i.jpg" --device /dev/video42 --size 640x480 \
        --time bottom-right --date bottom-right --text "Bench camera"
    cut -d' ' -f1 "$work/t" >>"$work/k.shots"
    timed "$work/t" fswebcam --quiet --device /dev/video42 --input 0 --resolution 640x480 --palette MJPEG \
        --title "Bench camera" --jpeg 90 "$work/f$i.jpg"
    cut -d' ' -f1 "$work/t" >>"$work/f.shots"
    i=$((i + 1))
done
kshot=$(median <"$work/k.shots")
fshot=$(median <"$work/f.shots")
echo "still, whole process (median of $shots), wall seconds:"
echo "  kelvanor --shot                 $kshot   (all: $(tr '\n' ' ' <"$work/k.shots"))"
echo "  fswebcam (banner)               $fshot   (all: $(tr '\n' ' ' <"$work/f.shots"))"
echo "  ratio kelvanor / fswebcam       $(ratio "$kshot" "$fshot")   (goal: at most 1)"
echo

timed "$work/t" "$kelvanor" --record "$work/k.avi" --device /dev/video42 --size 640x480 --rate 30 \
    --seconds 10 --no-sound
read -r kwall kuser ksys <"$work/t"
timed "$work/t" ffmpeg -nostdin -v error -f v4l2 -input_format mjpeg -video_size 640x480 -framerate 30 \
    -i /dev/video42 -t 10 -c copy -y "$work/f.avi"
read -r fwall fuser fsys <"$work/t"
kcpu=$(awk -v u="$kuser" -v s="$ksys" 'BEGIN { printf "%.2f", u + s }')
fcpu=$(awk -v u="$fuser" -v s="$fsys" 'BEGIN { printf "%.2f", u + s }')
frames() { ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets -of csv=p=0 "$1"; }
echo "10-second recording, CPU seconds (user + system) of the whole process:"
echo "  kelvanor --record               $kcpu   (wall $kwall s, $(frames "$work/k.avi") frames, $(stat -c %s "$work/k.avi") bytes)"
echo "  ffmpeg -c copy                  $fcpu   (wall $fwall s, $(frames "$work/f.avi") frames, $(stat -c %s "$work/f.avi") bytes)"
echo "  ratio kelvanor / ffmpeg         $(ratio "$kcpu" "$fcpu")   (goal: at most 1.2)"
