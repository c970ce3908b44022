#!/bin/sh
# Makes data/logo.png, the splash and about picture (397 x 283), with ImageMagick.
cd "$(dirname "$0")" && convert -size 397x283 gradient:'#1d3557-#457b9d' \
 \( -size 397x283 xc:none -fill 'rgba(255,255,255,0.08)' -draw "circle 320,60 420,60" -draw "circle 60,250 140,250" \) -composite \
 -fill '#e63946' -draw "circle 58,70 80,70" -fill white -draw "circle 58,70 66,70" \
 -font DejaVu-Sans-Bold -pointsize 34 -fill white -annotate +98+82 'Video Kelvanor' \
 -font DejaVu-Sans-Bold -pointsize 64 -fill '#f1c453' -annotate +98+150 '2000' \
 -font DejaVu-Sans -pointsize 15 -fill '#dde7f0' -annotate +24+215 'Movies, stamped stills and interval shots' \
 -annotate +24+238 'from any camera on Linux' \
 -stroke '#f1c453' -strokewidth 3 -draw "line 24,170 373,170" logo.png
