#!/usr/bin/env bash
# Lays out a demo folder (the executable, ConfigParams.ini, Language.ini) and runs the wizard
# under Wine: on $DISPLAY when there is one, otherwise headless, saving a screenshot.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
demo="$build/demo"

rm -rf "$demo"
mkdir -p "$demo"
cp "$build/Wendrake.exe" "$here/ConfigParams.ini" "$here/Language.ini" "$demo/"

if [ -n "${DISPLAY:-}" ]; then
  "$root/scripts/prefix-init.sh" "$build"
  # shellcheck source=/dev/null
  . "$build/wine-env.sh"
  cd "$demo"
  exec "$WINELOADER" Wendrake.exe
fi

shot="$build/demo-wizard.png"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -eu
  . "$1/wine-env.sh"
  "$2/scripts/prefix-init.sh" "$1"
  "$WINESERVER" -p
  "$WINELOADER" wineboot >/dev/null 2>&1 </dev/null
  cd "$1/demo"
  "$WINELOADER" Wendrake.exe >/dev/null 2>&1 &
  for _ in $(seq 1 60); do
    xdotool search --name "Corvana Poker Setup" >/dev/null 2>&1 && break
    sleep 0.5
  done
  sleep 2
  echo "Wizard window title: $(xdotool search --name "Corvana Poker Setup" getwindowname 2>/dev/null | head -n 1)"
  xwd -root -silent | convert xwd:- -crop 640x560+192+104 +repage "$3"
  "$WINESERVER" -k || true
' _ "$build" "$root" "$shot"
echo "The wizard ran headless; screenshot: $shot"
