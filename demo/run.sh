#!/usr/bin/env bash
# The demo: lays out a demo folder as a distributor would (Wendrake.exe, Language.ini and the two
# pictures; ConfigParams.ini follows once the server's port is known) and a web-server folder
# with the sample full installer, the content, terms and later pages and a tracking address,
# then runs demo/session.sh beside nginx on 127.0.0.1.
#
#   demo/run.sh [build folder]
#
# With $DISPLAY the wizard is there to click through; without one it is walked headless on a
# private X display, and a picture of each step goes to <build>/demo-shots/.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
demo="$build/demo"
www="$build/demo-www"

# A few megabytes through nginx's rate-limited /slow/: the download takes about ten seconds,
# long enough to watch it and to leave it for the features page half-way.
installer_size=6M
slow_rate=640k

for file in "$build/Wendrake.exe" "$build/demo-programs/installer/SampleInstaller.exe" \
            "$build/demo-programs/walker/DemoWalker.exe"; do
  [ -f "$file" ] || { echo "demo: $file is missing; run 'make build BUILD=$build' first" >&2; exit 1; }
done

rm -rf "$demo" "$www"
mkdir -p "$demo" "$www/poker"
cp "$build/Wendrake.exe" "$here/Language.ini" "$demo/"
"$here/make_pictures.sh" "$demo" --sharp

cp "$here"/site/*.html "$www/"
echo "counted" > "$www/track"
# Windows ignores bytes after a program's last section, so zeros make it a realistic size.
cp "$build/demo-programs/installer/SampleInstaller.exe" "$www/poker/CorvanaPokerSetup.exe"
truncate -s "$installer_size" "$www/poker/CorvanaPokerSetup.exe"

if [ -n "${DISPLAY:-}" ]; then
  session=("$here/session.sh" "$build" person)
else
  # Room for the wizard at 192 dots per inch (twice its 96-dpi size) and the folder browser.
  session=(xvfb-run -a -s "-screen 0 1600x1200x24" "$here/session.sh" "$build" walk)
fi
exec python3 "$root/tests/support/with_nginx.py" --root "$www" --slow-rate "$slow_rate" -- "${session[@]}"
