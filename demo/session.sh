#!/usr/bin/env bash
# One demo run beside the web server: demo/run.sh starts it through with_nginx.py, which gives
# the server's address in WENDRAKE_NGINX_URL. Writes ConfigParams.ini for that address, runs
# the wizard for a person ("person") or has DemoWalker.exe walk it on the current X display,
# taking a picture of each step ("walk"), and ends with what the server was asked for.
#
#   demo/session.sh <build folder> person|walk
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
build="$1"
mode="$2"
demo="$build/demo"
temp="$build/demo-temp"
shots="$build/demo-shots"
walker="$build/demo-programs/walker/DemoWalker.exe"

windows_path() { local path="$1"; printf 'Z:%s' "${path//\//\\}"; }

# The sample settings pointed at this server; the installer comes through the rate-limited
# /fail-once/, which answers the first request with 404: the demo shows a failure and its retry.
sed -e "s#http://127\.0\.0\.1:8765/#$WENDRAKE_NGINX_URL/#g" \
    -e "s#^InstallerDownloadURL=$WENDRAKE_NGINX_URL/#&fail-once/#" \
    "$here/ConfigParams.ini" > "$demo/ConfigParams.ini"

# A temporary folder of the demo's own, so that every run downloads afresh.
rm -rf "$temp" "$shots"
mkdir -p "$temp" "$shots"

# A Wine prefix of the demo's own, made like the tests' one: the demo and the tests of one build
# can run at the same time, and what the demo changes stays out of the tests' prefix.
wine="$build/demo-wine"
mkdir -p "$wine"
cat > "$wine/wine-env.sh" <<ENV
. "$build/wine-env.sh"
export WINEPREFIX="$wine/prefix"
ENV
"$root/scripts/prefix-init.sh" "$wine"
# shellcheck source=/dev/null
. "$wine/wine-env.sh"
trap '"$WINESERVER" -k 2>/dev/null || true' EXIT

exe="$(windows_path "$demo/Wendrake.exe")"
wine_log="$wine/wine.log"
status=0

if [ "$mode" = person ]; then
  echo "The wizard is open; the demo ends when it and the sample installer's window are closed."
  "$WINELOADER" "$walker" person "$exe" "$(windows_path "$temp")" 2>"$wine_log" || status=$?
  "$WINESERVER" -w
else
  # The walk at the usual density, then at 120, 144 and 192 dots per inch (a new density takes
  # effect when the wineserver starts again); each walk downloads afresh, its pictures in a
  # folder of their own beside the first walk's.
  for dpi in 96 120 144 192; do
    out="$shots"; [ "$dpi" = 96 ] || out="$shots/${dpi}dpi"
    mkdir -p "$out"
    rm -rf "$temp" && mkdir -p "$temp"
    # Every walk meets the server's one failure: forget that it was already served.
    nginx_log="${WENDRAKE_NGINX_LOG#Z:}"
    rm -f "$(dirname "${nginx_log//\\//}")/failed-once"
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w
    "$WINELOADER" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    "$WINESERVER" -w
    # One wineserver for the whole walk: every Wine process start is then quicker.
    "$WINESERVER" -p
    "$WINELOADER" wineboot </dev/null >/dev/null 2>&1
    echo "Walking the wizard headless at $dpi dots per inch; pictures:"
    timeout 300 "$WINELOADER" "$walker" walk "$exe" "$(windows_path "$temp")" "$(windows_path "$out")" \
      </dev/null 2>>"$wine_log" |
      while IFS= read -r -t 120 line; do
        line="${line%$'\r'}"
        case "$line" in
          "SHOT "*)
            read -r _ name geometry <<<"$line"
            # xwd now and then loses the root window to a window being mapped at that moment
            # (BadDrawable): the picture is taken again.
            for try in 1 2 3; do
              xwd -root -silent 2>/dev/null | convert xwd:- -crop "$geometry" +repage -strip "$out/.$name.png" \
                2>/dev/null && break
              sleep 1
            done
            mv "$out/.$name.png" "$out/$name.png"
            echo "  $out/$name.png"
            ;;
          *) echo "$line" ;;
        esac
      done || status=$?
    [ "$status" -eq 0 ] || break
  done
  "$WINELOADER" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
fi

record="$temp/SampleInstaller-record.txt"
if [ -f "$record" ]; then
  echo "The sample installer was started with: $(sed '1s/^\xEF\xBB\xBF//' "$record")"
fi
log="${WENDRAKE_NGINX_LOG#Z:}"
echo "The web server answered (status, bytes sent, request, range asked for):"
awk -F'\t' '{ printf "  %s %9s  %s%s\n", $2, $3, $1, ($5 == "" || $5 == "-") ? "" : "  [" $5 "]" }' "${log//\\//}"
if [ "$mode" = walk ]; then
  echo "Pictures of each step are in $shots/"
fi
[ "$status" -eq 0 ] || echo "The demo did not complete (exit code $status); Wine's messages are in $wine_log"
exit "$status"
