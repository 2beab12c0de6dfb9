#!/usr/bin/env bash
# Draws the popup's bitmaps with ImageMagick (run again only to change them;
# the .bmp files are kept in the tree).
#   alert_picture.bmp  bitmap 207: 48 x 48, 24 bits, a shield with a check mark
#                      on RGB(236, 233, 216), the colour the popup leaves
#                      transparent (its edge is drawn without antialiasing so
#                      that no blend of that colour remains around it)
#   alert_picture_72.bmp, alert_picture_96.bmp
#                      bitmaps 208 and 209: the same picture drawn at 150 % and
#                      200 % for screens of 144 and 192 DPI, 8 bits (palette,
#                      run-length encoded: the module stays small)
#   alert_banner.bmp   bitmap 204: 135 x 43, 8 bits (palette), a name banner
set -euo pipefail
cd "$(dirname "$0")"

# picture SIZE OUTPUT-OPTIONS...: the shield drawn on a SIZE x SIZE square
# (its coordinates are those of the 48 x 48 picture, scaled).
picture() {
  local size=$1 scale
  shift
  scale=$(awk -v s="$size" 'BEGIN { printf "%g", s / 48 }')
  /usr/bin/convert -size "${size}x${size}" 'xc:rgb(236,233,216)' \
    +antialias -fill 'rgb(34,78,150)' -stroke 'rgb(20,48,96)' -strokewidth 2 \
    -draw "scale $scale,$scale path 'M 24,3 L 42,10 L 42,24 C 42,34 34,41 24,46 C 14,41 6,34 6,24 L 6,10 Z'" \
    -antialias -fill none -stroke white -strokewidth 5 \
    -draw "scale $scale,$scale stroke-linecap round stroke-linejoin round polyline 14,24 21,32 34,16" \
    "$@"
}
picture 48 -type TrueColor BMP3:alert_picture.bmp
picture 72 -type Palette -depth 8 -define bmp:format=bmp3 BMP3:alert_picture_72.bmp
picture 96 -type Palette -depth 8 -define bmp:format=bmp3 BMP3:alert_picture_96.bmp

/usr/bin/convert -size 135x43 gradient:'rgb(44,94,168)-rgb(20,48,96)' \
  -fill white -font DejaVu-Sans-Bold -pointsize 22 -gravity center -annotate +0+0 'Zaduze' \
  -type Palette -depth 8 -define bmp:format=bmp3 BMP3:alert_banner.bmp
