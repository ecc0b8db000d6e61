#!/usr/bin/env bash
# Can this machine run 32-bit Windows programs? Builds a tiny one and runs it under 32-bit Wine
# in a throwaway prefix. Prints one line saying why, and exits 0 when it ran.
#   scripts/probe-32bit.sh
# WENDRAKE_WINE32 names the 32-bit Wine loader (default /usr/lib/wine/wine); the harness's own
# test points it at stand-ins that answer as Wine does.
set -uo pipefail
wine="${WENDRAKE_WINE32:-/usr/lib/wine/wine}"
work="$(mktemp -d)"
trap 'WINEPREFIX="$work/prefix" /usr/lib/wine/wineserver32 -k >/dev/null 2>&1; rm -rf "$work"' EXIT

cat > "$work/probe.c" <<'C'
#include <stdio.h>
int main(void) { printf("32-bit ok %d\n", (int)sizeof(void*)); return 0; }
C
if ! i686-w64-mingw32-gcc-win32 -o "$work/probe.exe" "$work/probe.c" 2>"$work/cc.log"; then
  echo "the 32-bit compiler cannot build a program: $(head -n1 "$work/cc.log")"
  exit 1
fi
# Through bash, not timeout's own exec: where the kernel refuses a 32-bit loader, C library
# exec functions hand the file to /bin/sh, which answers with a meaningless syntax error.
WINEPREFIX="$work/prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
  timeout 300 bash -c 'exec "$@"' _ "$wine" "$work/probe.exe" >"$work/out.log" 2>"$work/run.log" </dev/null
rc=$?
# Wine's C runtime writes a console program's "\n" as "\r\n".
out="$(tr -d '\r' <"$work/out.log")"
if [ $rc -eq 0 ] && [ "$out" = "32-bit ok 4" ]; then
  echo "this machine runs 32-bit Windows programs (a 32-bit probe ran under 32-bit Wine)"
  exit 0
fi
# The first start in a new prefix reports that it made the prefix: that is no error.
said=$(grep -v -e '^[[:space:]]*$' -e 'created the configuration directory' "$work/run.log" | head -n1 | tr -d '\r')
if [ $rc -eq 126 ] || [ $rc -eq 127 ]; then
  why="the 32-bit Wine loader $wine cannot be started (${said:-exit $rc})"
  grep -qi 'IA-32 emulation off' <(dmesg 2>/dev/null) && why="$why: the kernel runs no 32-bit code (IA-32 emulation off)"
elif [ $rc -eq 124 ]; then
  why="the probe did not end within 300 s"
elif [ -n "$out" ]; then
  why="the probe printed '$(head -n1 <<<"$out")' instead of '32-bit ok 4'${said:+ ($said)}"
else
  why="${said:-Wine exited with status $rc and said nothing}"
fi
echo "this machine cannot run 32-bit Windows programs: $why"
exit 1
