#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: does nothing when everything is already there.
set -euo pipefail

packages=(
  cmake make
  g++-mingw-w64-i686-win32 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine32:i386 wine64
  xvfb xauth x11-apps imagemagick xdotool
  fonts-liberation fonts-dejavu-core
  googletest
  nginx-light apache2 lighttpd squid curl python3 time
  openssl osslsigncode
  zip unzip
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq

# nginx, Apache, lighttpd and squid are only run by the tests, each on a port of its own. Their
# packages would start a system service (the web servers on port 80, squid on 3128): a
# policy-rc.d that refuses every start keeps them from it, with or without systemd (invoke-rc.d
# and deb-systemd-invoke both ask it). One that is already there (as in container images) is
# left as it is.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  trap '$sudo rm -f "$policy"' EXIT
  printf '#!/bin/sh\n# tools/install-deps.sh: no service starts while it installs packages\nexit 101\n' |
    $sudo tee "$policy" >/dev/null
  $sudo chmod 755 "$policy"
fi
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

# Where systemd runs, the packages just installed have enabled their services for the next boot:
# not wanted. (A server the machine had before is none of our business.)
if [ -d /run/systemd/system ]; then
  for p in "${missing[@]}"; do
    case "$p" in
      nginx-light) service=nginx ;;
      apache2 | lighttpd | squid) service="$p" ;;
      *) continue ;;
    esac
    $sudo systemctl disable --now "$service" >/dev/null 2>&1 || true
  done
fi
