#!/usr/bin/env bash
# Makes a delay-import library for one system DLL from the cross toolchain's import library:
# every function it exports, called through a stub that loads the DLL on first use (through
# the program's own hook, framework/SystemLibraries.cpp) instead of at the program's start.
#   scripts/make-delaylib.sh <i686|x86_64> <dll base name, e.g. wininet> <output .a>
set -euo pipefail
arch="$1"; dll="$2"; out="$3"
cross="$arch-w64-mingw32"
implib="/usr/$cross/lib/lib$dll.a"
[ -f "$implib" ] || { echo "make-delaylib.sh: no $implib" >&2; exit 1; }
# 32-bit names carry the C prefix underscore (and stdcall's @N, which -k drops from the DLL's
# import names but keeps for linking).
prefix=__imp_; [ "$arch" = i686 ] && prefix=__imp__
def="$out.def"
{
  echo "LIBRARY $(echo "$dll" | tr '[:lower:]' '[:upper:]').dll"
  echo "EXPORTS"
  "$cross-nm" "$implib" | sed -n "s/^[0-9a-f]* I $prefix//p" | sort -u
} > "$def"
rm -f "$out"
"$cross-dlltool" -k --input-def "$def" --output-delaylib "$out" \
  --dllname "$(echo "$dll" | tr '[:lower:]' '[:upper:]').dll"
