#!/usr/bin/env bash
# make test: builds everything, checks that the shipped executable loads on Windows XP, and runs
# every test program under Wine on the build scripts/pick-arch.sh chooses.
#   scripts/test.sh [build root]
set -euo pipefail
cd "$(dirname "$0")/.."
root="${1:-build}"
{ read -r arch; read -r reason; } < <(scripts/pick-arch.sh)
echo "== Testing the $arch build: $reason"
mkdir -p "$root"
# .ci/run holds the choice to account.
echo "$arch" > "$root/tested-arch"

scripts/build.sh "$root" i686
[ "$arch" = i686 ] || scripts/build.sh "$root" "$arch"

echo "== Can the shipped executables load on Windows XP SP3?"
scripts/check-xp-imports.py "$root/win32/Wendrake.exe" "$root/win32/WendrakeCheck.exe"

dir="$root/win32"; [ "$arch" = i686 ] || dir="$root/win64"
echo "== Running the tests of $dir ($arch)"
scripts/run-tests.sh "$dir"
