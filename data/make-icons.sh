#!/bin/sh
# Makes the program's icons for the hicolor theme (icons/hicolor/<size>/apps/) and the
# window icon (kelvanor.qrc) from icons/video-kelvanor.svg, which is installed as the
# scalable one; with rsvg-convert (librsvg2-bin).
set -e
cd "$(dirname "$0")/icons"
for size in 16 24 32 48 64 128 256; do
    mkdir -p "hicolor/${size}x${size}/apps"
    rsvg-convert -w "$size" -h "$size" video-kelvanor.svg -o "hicolor/${size}x${size}/apps/video-kelvanor.png"
done
