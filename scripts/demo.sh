#!/usr/bin/env bash
# make demo: builds, then runs the demo on the build scripts/pick-arch.sh chooses (the shipped
# 32-bit executable wherever this machine runs 32-bit programs).
#   scripts/demo.sh [build root]
set -euo pipefail
cd "$(dirname "$0")/.."
root="${1:-build}"
{ read -r arch; read -r reason; } < <(scripts/pick-arch.sh)
echo "== Demo on the $arch build: $reason"
scripts/build.sh "$root" "$arch"
dir="$root/win32"; [ "$arch" = i686 ] || dir="$root/win64"
exec demo/run.sh "$dir"
