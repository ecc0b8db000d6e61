#!/usr/bin/env bash
# Configures and builds one architecture's programs: the installer, the test programs, the fetch
# driver, the recorder and the demo's programs.
#   scripts/build.sh <build root> <i686|x86_64>
# i686 builds into <root>/win32 (its Wendrake.exe is the one we ship), x86_64 into <root>/win64.
set -euo pipefail
root="$1"; arch="$2"
case "$arch" in
  i686) dir="$root/win32" ;;
  x86_64) dir="$root/win64" ;;
  *) echo "build.sh: unknown architecture '$arch' (i686 or x86_64)" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$dir" -j "${JOBS:-$(nproc)}"
