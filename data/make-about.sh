#!/bin/sh
# Makes data/about0.png to about3.png, the About window's slide show (150 x 220),
# with ImageMagick: a camera, a film strip, a clock and a stamped picture.
cd "$(dirname "$0")" || exit 1
bg() { convert -size 150x220 gradient:"$1" "$2"; }
caption() { convert "$1" -font DejaVu-Sans-Bold -pointsize 17 -fill white -gravity south -annotate +0+14 "$2" "$1"; }

bg '#1d3557-#457b9d' about0.png
convert about0.png -fill '#2b2d42' -draw "roundrectangle 22,70 128,140 8,8" -draw "rectangle 40,60 70,72" \
 -fill '#8d99ae' -draw "circle 75,105 75,78" -fill '#1d3557' -draw "circle 75,105 75,86" \
 -fill '#a8dadc' -draw "circle 68,98 68,93" -fill '#e63946' -draw "circle 114,82 114,78" about0.png
caption about0.png 'Capture'

bg '#2b2d42-#5c677d' about1.png
convert about1.png -fill '#111111' -draw "rectangle 35,20 115,180" -fill '#f1c453' \
 -draw "rectangle 50,30 100,70" -draw "rectangle 50,80 100,120" -draw "rectangle 50,130 100,170" \
 -fill '#dddddd' \
 -draw "rectangle 38,28 45,36" -draw "rectangle 38,52 45,60" -draw "rectangle 38,76 45,84" \
 -draw "rectangle 38,100 45,108" -draw "rectangle 38,124 45,132" -draw "rectangle 38,148 45,156" \
 -draw "rectangle 105,28 112,36" -draw "rectangle 105,52 112,60" -draw "rectangle 105,76 112,84" \
 -draw "rectangle 105,100 112,108" -draw "rectangle 105,124 112,132" -draw "rectangle 105,148 112,156" about1.png
caption about1.png 'Record'

bg '#264653-#2a9d8f' about2.png
convert about2.png -fill white -stroke '#1d3557' -strokewidth 4 -draw "circle 75,95 75,45" \
 -stroke '#1d3557' -strokewidth 5 -draw "line 75,95 75,60" -draw "line 75,95 100,105" \
 -stroke '#e63946' -strokewidth 2 -draw "line 75,95 60,130" -stroke none -fill '#1d3557' -draw "circle 75,95 75,90" about2.png
caption about2.png 'Interval'

bg '#87ceeb-#e0f7ff' about3.png
convert about3.png -fill '#f1c453' -draw "circle 110,50 110,32" -fill '#3a5a40' -draw "polygon 0,180 45,95 90,180" \
 -fill '#588157' -draw "polygon 50,180 100,110 150,180" -fill '#2b2d42' -draw "rectangle 0,180 150,220" \
 -font DejaVu-Sans-Mono-Bold -pointsize 13 -fill '#e63946' -annotate +8+22 '12:00:00' about3.png
caption about3.png 'Stamp'
