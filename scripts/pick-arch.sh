#!/usr/bin/env bash
# Which build the tests and the demo run: the 32-bit one we ship wherever this machine can run
# 32-bit Windows programs, else the 64-bit build of the same sources. $ARCH, when set, decides.
# Prints the architecture on the first line and the reason on the second.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
if [ -n "${ARCH:-}" ]; then
  printf '%s\nchosen with ARCH=%s\n' "$ARCH" "$ARCH"
elif reason=$("$here/probe-32bit.sh"); then
  printf 'i686\n%s\n' "$reason"
else
  printf 'x86_64\n%s; the same sources built for 64-bit Windows run instead\n' "$reason"
fi
