#!/usr/bin/env bash
# Runs a program of a build under Wine as 64-bit Windows runs it, in the build's prefix of 64-bit
# Windows (made once, see wow64-env.sh): wow64-run.sh <build folder> <program> [args...]
# The prefix gets a wineserver of its own for the run, stopped again at the end.
set -euo pipefail
build="$1"; shift
here="$(cd "$(dirname "$0")" && pwd)"
"$here/prefix-init.sh" "$build" wow64
# shellcheck source=/dev/null
. "$build/wine-env.sh"
# shellcheck source=/dev/null
. "$here/wow64-env.sh"
# Started detached, with the prefix's services: a Wine process that inherited the caller's
# output would hold a test runner's pipe open after the test.
"$WINESERVER" -p </dev/null >/dev/null 2>&1
"$WENDRAKE_SETUP_LOADER" wineboot </dev/null >/dev/null 2>&1
set +e
"$WINELOADER" "$@"
rc=$?
set -e
"$WINESERVER" -k 2>/dev/null || true
exit $rc
