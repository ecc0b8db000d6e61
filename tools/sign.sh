#!/usr/bin/env bash
# Signs Windows executables in place with Authenticode: tools/sign.sh <file.exe>...
#
#   SIGN_CERT       the code-signing certificate (PEM; a chain may follow it in the same file)
#   SIGN_KEY        its private key (PEM, without a password)
#   SIGN_TIMESTAMP  optional: an RFC 3161 time-stamp server, so that the signature stays valid
#                   after the certificate expires
#
# Without SIGN_CERT and SIGN_KEY the files stay unsigned, and it says so: Windows then warns
# every user who starts them ("unknown publisher").
set -euo pipefail

if [ -z "${SIGN_CERT:-}" ] || [ -z "${SIGN_KEY:-}" ]; then
  echo "sign: NOT SIGNED (set SIGN_CERT and SIGN_KEY to sign): $*"
  exit 0
fi
for file in "$@"; do
  args=(sign -certs "$SIGN_CERT" -key "$SIGN_KEY" -h sha256 -n "$(basename "$file" .exe)")
  [ -n "${SIGN_TIMESTAMP:-}" ] && args+=(-ts "$SIGN_TIMESTAMP")
  rm -f "$file.signed"
  osslsigncode "${args[@]}" -in "$file" -out "$file.signed" >/dev/null
  mv "$file.signed" "$file"
  echo "sign: signed $file"
done
