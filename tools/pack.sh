#!/usr/bin/env bash
# Packs a package folder into a copy of an installer with the package checker, under Wine:
#   tools/pack.sh <Wendrake.exe> <build folder whose checker runs here> <package folder> <out.exe>
# The checker packs the Wendrake.exe beside it, so both go into a folder of their own first: the
# shipped 32-bit installer can then be packed by the 64-bit checker on a machine that cannot run
# 32-bit programs. Prints the checker's findings; fails when it wrote nothing.
set -euo pipefail
installer="$1"; runner="$2"; package="$3"; out="$4"
source="$(cd "$(dirname "$0")/.." && pwd)"

windows_path() { local path; path="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; printf 'Z:%s' "${path//\//\\}"; }

tools="$(mktemp -d)"
trap 'rm -rf "$tools"' EXIT
cp "$installer" "$runner/WendrakeCheck.exe" "$tools/"
rm -f "$out"
"$source/scripts/prefix-init.sh" "$runner" >/dev/null 2>&1
display=(); [ -n "${DISPLAY:-}" ] || display=(xvfb-run -a)
# The checker lays out the wizard's windows to check the pictures and headings: it needs a display.
"${display[@]}" "$source/scripts/wine-run.sh" "$runner" "$tools/WendrakeCheck.exe" \
  --pack "$(windows_path "$out")" "$(windows_path "$package")" </dev/null 2>/dev/null | tr -d '\r' || true
[ -f "$out" ] || { echo "pack: $out was not written" >&2; exit 1; }
