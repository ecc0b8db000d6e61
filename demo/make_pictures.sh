#!/usr/bin/env bash
# Draws the wizard's two pictures into a folder, at 96 dots per inch:
#   BackGround.bmp  the frame's client area. Under Wine it is 436 x 394 pixels: a header band
#                   above the pages (which start at y 92), the pages' area, and a footer band
#                   from y 351 holding the buttons (y 357 to 382); the progress bar ends at
#                   y 349. The picture runs on to y 422 so that a taller client area (a dialog
#                   font with other metrics) is still covered; Wine clips the rest.
#   Preloader.jpg   the download page: 411 x 219 pixels at (21, 92) of the client area, on
#                   the same gradient as the background there, so that no edge shows.
# demo/walker prints these places as it finds them.
set -euo pipefail
out="$1"
font="DejaVu-Sans-Bold"

gradient="gradient:#12523d-#061f16"

convert -size 436x422 "$gradient" \
  -fill '#0a2e22' -draw 'rectangle 0,0 436,83' \
  -fill '#d9b650' -draw 'rectangle 0,84 436,85' \
  -font "$font" -fill '#f3e3a3' -pointsize 30 -annotate +22+50 'Corvana Poker' \
  -font DejaVu-Sans -fill '#c9d8d0' -pointsize 12 -annotate +24+72 'Tables that never close' \
  -font DejaVu-Sans -pointsize 40 -fill '#d9b650' -annotate +330+58 $'\u2660' \
  -fill '#c0392b' -annotate +370+58 $'\u2665' \
  -fill '#d9b650' -draw 'rectangle 0,351 436,351' \
  -fill '#0a2e22' -draw 'rectangle 0,352 436,422' \
  -type TrueColor BMP3:"$out/BackGround.bmp"

convert -size 436x422 "$gradient" -crop 411x219+21+92 +repage \
  -fill '#0f6b4b' -stroke '#d9b650' -strokewidth 6 -draw 'roundrectangle 16,14 395,205 95,95' \
  -stroke none -fill '#128058' -draw 'roundrectangle 40,36 371,183 72,72' \
  -font DejaVu-Sans -pointsize 44 \
  -fill white -draw 'roundrectangle 114,80 154,140 6,6' -fill black -annotate +119+125 $'\u2660' \
  -fill white -draw 'roundrectangle 162,80 202,140 6,6' -fill '#c0392b' -annotate +167+125 $'\u2665' \
  -fill white -draw 'roundrectangle 210,80 250,140 6,6' -fill '#c0392b' -annotate +217+125 $'\u2666' \
  -fill white -draw 'roundrectangle 258,80 298,140 6,6' -fill black -annotate +263+125 $'\u2663' \
  -quality 90 "$out/Preloader.jpg"
