#!/usr/bin/env bash
# Draws the wizard's two pictures into a folder: BackGround.bmp for the frame's client area
# and Preloader.jpg for the download page, both at 96 dots per inch.
set -euo pipefail
out="$1"
font="DejaVu-Sans-Bold"

convert -size 436x422 gradient:'#12523d'-'#051b13' \
  -fill '#0a2e22' -draw 'rectangle 0,0 436,84' \
  -fill '#d9b650' -draw 'rectangle 0,84 436,86' \
  -font "$font" -fill '#f3e3a3' -pointsize 30 -annotate +22+50 'Corvana Poker' \
  -font DejaVu-Sans -fill '#c9d8d0' -pointsize 12 -annotate +24+72 'Tables that never close' \
  -font DejaVu-Sans -pointsize 40 -fill '#d9b650' -annotate +330+58 $'\u2660' \
  -fill '#c0392b' -annotate +370+58 $'\u2665' \
  -fill '#0a2e22' -draw 'rectangle 0,350 436,422' \
  -fill '#d9b650' -draw 'rectangle 0,348 436,349' \
  -type TrueColor BMP3:"$out/BackGround.bmp"

convert -size 412x240 xc:'#051b13' \
  -fill '#0f6b4b' -stroke '#d9b650' -strokewidth 6 -draw 'roundrectangle 16,20 396,220 100,100' \
  -stroke none -fill '#128058' -draw 'roundrectangle 40,40 372,200 80,80' \
  -font DejaVu-Sans -pointsize 44 \
  -fill white -draw 'roundrectangle 128,86 168,146 6,6' -fill black -annotate +133+131 $'\u2660' \
  -fill white -draw 'roundrectangle 176,86 216,146 6,6' -fill '#c0392b' -annotate +181+131 $'\u2665' \
  -fill white -draw 'roundrectangle 224,86 264,146 6,6' -fill '#c0392b' -annotate +231+131 $'\u2666' \
  -fill white -draw 'roundrectangle 272,86 312,146 6,6' -fill black -annotate +277+131 $'\u2663' \
  -quality 90 "$out/Preloader.jpg"
