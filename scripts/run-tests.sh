#!/usr/bin/env bash
# Runs every test of a build under Wine on a private X display, with one wineserver
# kept alive for the whole run.
set -euo pipefail
build="${1:-build}"
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "$build" && pwd)"

xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -u
  . "$1/wine-env.sh"
  "$2/prefix-init.sh" "$1"
  "$WINESERVER" -p
  # Tests change the screen density for programs of their own and restore it; a run cut short
  # would leave its density behind for every later run.
  "$WINELOADER" reg delete "HKCU\\Control Panel\\Desktop" /v LogPixels /f >/dev/null 2>&1 </dev/null || true
  # Start the services of the prefix now, detached from the test runner: a Wine
  # service started by a test would hold the runner'"'"'s output open.
  "$WINELOADER" wineboot >/dev/null 2>&1 </dev/null
  ctest --test-dir "$1" --output-on-failure --timeout 600 ${CTEST_ARGS:-}
  rc=$?
  "$WINESERVER" -k || true
  exit $rc
' _ "$build" "$here"
