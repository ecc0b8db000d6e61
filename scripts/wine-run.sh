#!/usr/bin/env bash
# Runs a Windows program of a build under Wine: wine-run.sh <build folder> <program> [args...]
set -euo pipefail
build="$1"; shift
# shellcheck source=/dev/null
. "$build/wine-env.sh"
exec "$WINELOADER" "$@"
