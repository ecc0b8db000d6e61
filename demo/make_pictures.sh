#!/usr/bin/env bash
# Draws the wizard's two pictures into a folder, designed at 96 dots per inch, and with --sharp
# each again with twice the pixels ("@2x"), which the wizard takes from 120 dots per inch on (and
# scales down smoothly where it needs less). The sample package leaves them out: they would make a packed
# installer, which carries its pictures, much larger.
#   demo/make_pictures.sh <folder> [--sharp]
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

# draw <multiple> <suffix>: both pictures, every length in design pixels times the multiple.
draw() {
  local m="$1" suffix="$2"
  s() { echo $(($1 * m)); }
  local w h
  w=$(s 436); h=$(s 422)
  convert -size "${w}x${h}" "$gradient" \
    -fill '#0a2e22' -draw "rectangle 0,0 $w,$(($(s 84) - 1))" \
    -fill '#d9b650' -draw "rectangle 0,$(s 84) $w,$(($(s 86) - 1))" \
    -font "$font" -fill '#f3e3a3' -pointsize "$(s 30)" -annotate "+$(s 22)+$(s 50)" 'Corvana Poker' \
    -font DejaVu-Sans -fill '#c9d8d0' -pointsize "$(s 12)" -annotate "+$(s 24)+$(s 72)" 'Tables that never close' \
    -font DejaVu-Sans -pointsize "$(s 40)" -fill '#d9b650' -annotate "+$(s 330)+$(s 58)" $'\u2660' \
    -fill '#c0392b' -annotate "+$(s 370)+$(s 58)" $'\u2665' \
    -fill '#d9b650' -draw "rectangle 0,$(s 351) $w,$(($(s 352) - 1))" \
    -fill '#0a2e22' -draw "rectangle 0,$(s 352) $w,$h" \
    -type TrueColor BMP3:"$out/BackGround$suffix.bmp"

  convert -size "${w}x${h}" "$gradient" -crop "$(s 411)x$(s 219)+$(s 21)+$(s 92)" +repage \
    -fill '#0f6b4b' -stroke '#d9b650' -strokewidth "$(s 6)" \
    -draw "roundrectangle $(s 16),$(s 14) $(s 395),$(s 205) $(s 95),$(s 95)" \
    -stroke none -fill '#128058' -draw "roundrectangle $(s 40),$(s 36) $(s 371),$(s 183) $(s 72),$(s 72)" \
    -font DejaVu-Sans -pointsize "$(s 44)" \
    -fill white -draw "roundrectangle $(s 114),$(s 80) $(s 154),$(s 140) $(s 6),$(s 6)" \
    -fill black -annotate "+$(s 119)+$(s 125)" $'\u2660' \
    -fill white -draw "roundrectangle $(s 162),$(s 80) $(s 202),$(s 140) $(s 6),$(s 6)" \
    -fill '#c0392b' -annotate "+$(s 167)+$(s 125)" $'\u2665' \
    -fill white -draw "roundrectangle $(s 210),$(s 80) $(s 250),$(s 140) $(s 6),$(s 6)" \
    -fill '#c0392b' -annotate "+$(s 217)+$(s 125)" $'\u2666' \
    -fill white -draw "roundrectangle $(s 258),$(s 80) $(s 298),$(s 140) $(s 6),$(s 6)" \
    -fill black -annotate "+$(s 263)+$(s 125)" $'\u2663' \
    -quality 90 "$out/Preloader$suffix.jpg"
}

draw 1 ""
if [ "${2:-}" = --sharp ]; then draw 2 "@2x"; fi
