#!/usr/bin/env bash
# Makes the build's private Wine prefix once: fonts with the right metrics, and shell
# folders that stay inside the prefix instead of pointing into the home folder.
#   prefix-init.sh <build folder> [wow64]
# With wow64, the build's prefix of 64-bit Windows instead (see wow64-env.sh).
set -euo pipefail
build="$1"
# shellcheck source=/dev/null
. "$build/wine-env.sh"
# shellcheck source=/dev/null
[ "${2:-}" != wow64 ] || . "$(dirname "$0")/wow64-env.sh"
loader="${WENDRAKE_SETUP_LOADER:-$WINELOADER}"
stamp="$WINEPREFIX/.wendrake-ready-3"
[ -f "$stamp" ] && exit 0

rm -rf "$WINEPREFIX"
"$loader" wineboot -i >/dev/null 2>&1
"$WINESERVER" -w

users="$WINEPREFIX/drive_c/users"
for user in "$users"/*; do
  for link in "$user"/*; do
    if [ -L "$link" ]; then rm "$link"; mkdir -p "$link"; fi
  done
done

reg="$WINEPREFIX/wendrake-setup.reg"
cat > "$reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Arial"="Liberation Sans"
"Verdana"="DejaVu Sans"
"Tahoma"="DejaVu Sans"
"MS Shell Dlg"="Liberation Sans"
"MS Shell Dlg 2"="Liberation Sans"

; Without a window manager, managed windows make every hide wait two seconds.
[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

; Wine's menu builder runs on every shortcut save and rewrites the shell folders behind the
; tests' backs; nothing here needs menu entries.
[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"winemenubuilder.exe"=""
REG
"$loader" regedit /S "$reg" >/dev/null 2>&1
"$WINESERVER" -w
touch "$stamp"
