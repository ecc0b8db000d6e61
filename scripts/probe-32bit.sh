#!/usr/bin/env bash
# Can this machine run 32-bit Windows programs? Builds a tiny one and runs it under 32-bit Wine
# in a throwaway prefix. Prints one line saying why, and exits 0 when it ran.
#   scripts/probe-32bit.sh
set -uo pipefail
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
out=$(WINEPREFIX="$work/prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
      timeout 300 /usr/lib/wine/wine "$work/probe.exe" 2>"$work/run.log" </dev/null)
if [ "$out" = "32-bit ok 4" ]; then
  echo "this machine runs 32-bit Windows programs (a 32-bit probe ran under 32-bit Wine)"
  exit 0
fi
why=$(grep -m1 -v '^$' "$work/run.log" || true)
grep -qi 'IA-32 emulation off' <(dmesg 2>/dev/null) && why="the kernel runs no 32-bit code (IA-32 emulation off)"
echo "this machine cannot run 32-bit Windows programs: a 32-bit probe did not run under 32-bit Wine (${why:-no output})"
exit 1
