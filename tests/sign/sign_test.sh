#!/usr/bin/env bash
# tools/sign.sh with a throwaway certificate: without one the files stay as they are and it
# says so; with one, osslsigncode verifies both executables, and the signed installer still
# starts and shows its wizard under Wine (on the test run's display).
#   sign_test.sh <build folder>
set -euo pipefail
build="$(cd "$1" && pwd)"
source="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
pid=""
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir "$work/package"
cp "$build/Wendrake.exe" "$build/WendrakeCheck.exe" "$work/package/"
cd "$work/package"

out="$(SIGN_CERT='' SIGN_KEY='' "$source/tools/sign.sh" Wendrake.exe WendrakeCheck.exe)"
grep -q "NOT SIGNED" <<<"$out" || fail "no word that the files stay unsigned: $out"
cmp -s "$build/Wendrake.exe" Wendrake.exe || fail "Wendrake.exe changed without a certificate"
if osslsigncode verify -in Wendrake.exe >/dev/null 2>&1; then fail "an unsigned file verifies"; fi

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Wendrake Test Signer" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
SIGN_CERT="$work/cert.pem" SIGN_KEY="$work/key.pem" "$source/tools/sign.sh" Wendrake.exe WendrakeCheck.exe
for exe in Wendrake.exe WendrakeCheck.exe; do
  osslsigncode verify -CAfile "$work/cert.pem" -in "$exe" >"$work/verify.txt" 2>&1 ||
    { cat "$work/verify.txt"; fail "$exe does not verify"; }
  grep -q "Wendrake Test Signer" "$work/verify.txt" || fail "$exe: the signer is not named"
done
cmp -s "$build/Wendrake.exe" Wendrake.exe && fail "Wendrake.exe did not change when signed"

# The release package of this build, signed: the packed sample verifies, and holds the samples.
SIGN_CERT="$work/cert.pem" SIGN_KEY="$work/key.pem" "$source/tools/dist.sh" "$build" Wendrake-test "$work/dist" \
  "$build" >"$work/dist.txt" 2>&1 || { cat "$work/dist.txt"; fail "dist.sh failed"; }
dist="$work/dist/Wendrake-test"
listing="$(unzip -l "$work/dist/Wendrake-test.zip")"
for file in Wendrake.exe WendrakeCheck.exe CorvanaPokerWebSetup.exe ConfigParams.ini Language.ini BackGround.bmp \
            Preloader.jpg DISTRIBUTING.md; do
  grep -q "Wendrake-test/$file\$" <<<"$listing" || fail "the zip lacks $file"
done
osslsigncode verify -CAfile "$work/cert.pem" -in "$dist/CorvanaPokerWebSetup.exe" >/dev/null 2>&1 ||
  fail "the packed installer does not verify"
grep -aq "InstallerDownloadURL=http://127.0.0.1:8765/" "$dist/CorvanaPokerWebSetup.exe" ||
  fail "the packed installer does not hold the sample settings"
echo "dist.sh packs and signs CorvanaPokerWebSetup.exe"

# The signed installer beside the sample package, without tracking (no server answers here).
grep -v '^OmnitureLink=' "$source/demo/ConfigParams.ini" >ConfigParams.ini
cp "$source/demo/Language.ini" .
"$source/demo/make_pictures.sh" .
# shellcheck source=/dev/null
. "$build/wine-env.sh"
"$WINELOADER" Wendrake.exe </dev/null >/dev/null 2>&1 &
pid=$!
# A generous bound for a busy machine; the window normally shows within seconds.
for _ in $(seq 240); do
  if xdotool search --onlyvisible --name '^Corvana Poker Setup$' >/dev/null 2>&1; then
    echo "signed Wendrake.exe shows its window"
    exit 0
  fi
  kill -0 "$pid" 2>/dev/null || fail "signed Wendrake.exe ended without a window"
  sleep 0.5
done
fail "signed Wendrake.exe showed no window within two minutes"
