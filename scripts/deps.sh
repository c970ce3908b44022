#!/bin/sh
# Installs the Debian packages that building, running and testing need, when any is
# missing. As root it runs apt-get; otherwise it prints the one line to run.
# Usage: scripts/deps.sh [build|test|ci]   (ci: also the sanitizer and fuzzing toolchain)
set -e
BUILD="build-essential cmake ninja-build pkg-config ccache
 qt6-base-dev qt6-multimedia-dev qt6-qpa-plugins libgl-dev libxkbcommon-dev
 libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
 libv4l-dev libturbojpeg0-dev libpulse-dev
 gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav fonts-dejavu-core
 xvfb xauth imagemagick"
# The desktop entry's and the metainfo's validators, the man page's checker; Wayland
# (a headless Weston and Qt's client) and PipeWire's PulseAudio server for the tests that
# run the program there; dpkg-dev and lintian for the Debian package.
TEST="xdotool ffmpeg v4l-utils fswebcam pulseaudio pulseaudio-utils poppler-utils clang-format
 desktop-file-utils appstream man-db weston qt6-wayland pipewire pipewire-pulse wireplumber
 dpkg-dev file lintian"
# clang with its sanitizer and libFuzzer runtimes; llvm-symbolizer for readable reports.
CI="clang-14 libclang-rt-14-dev llvm-14"
want="$BUILD"
[ "${1:-build}" = test ] && want="$BUILD $TEST"
[ "${1:-build}" = ci ] && want="$BUILD $TEST $CI"

missing=""
for p in $want; do
    if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" = 0 ]; then
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
else
    echo "These packages are missing. Install them, then run this command again:"
    echo "  sudo apt-get install -y --no-install-recommends$missing"
    exit 1
fi
