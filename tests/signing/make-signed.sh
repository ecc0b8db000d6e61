#!/usr/bin/env bash
# Makes the signed installers that the signer tests download, from a program of ours:
#   make-signed.sh <program.exe> <output folder> [<Wendrake.exe>]
# Writes into the folder:
#   TestRoot.cer     the test root (DER), which the tests add to the Wine prefix's root store
#   Signed.exe       signed by "Corvana Test Publisher", issued by that root
#   Impostor.exe     signed by a certificate of the same name from a root nobody trusts
#   Tampered.exe     Signed.exe with one byte of its code changed after signing
#   SignedWendrake.exe  the installer itself signed by the same publisher (when it is given)
# Everything is made fresh with openssl and osslsigncode; no key leaves the folder.
set -euo pipefail
program=$1
out=$2
installer=${3:-}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

cat > leaf.ext <<'X'
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=codeSigning
authorityKeyIdentifier=keyid
X

# root <name> <file stem>; leaf <root stem> <common name> <file stem>
root() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$2.key" -out "$2.pem" -days 3650 \
    -subj "/CN=$1" -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    2>/dev/null
}
leaf() {
  openssl req -new -newkey rsa:2048 -nodes -keyout "$3.key" -out "$3.csr" -subj "/CN=$2" 2>/dev/null
  openssl x509 -req -in "$3.csr" -CA "$1.pem" -CAkey "$1.key" -CAcreateserial -out "$3.pem" -days 3650 \
    -extfile leaf.ext 2>/dev/null
}
# osslsigncode refuses to overwrite: a rebuild (the recorder changed) replaces the old files.
sign() {
  rm -f "$2"  # osslsigncode will not overwrite a file made by an earlier build
  osslsigncode sign -certs "$1.pem" -key "$1.key" -h sha256 -n "Wendrake test" -in "${3:-$program}" -out "$2" >/dev/null
}

root "Wendrake Test Root" trusted
leaf trusted "Corvana Test Publisher" publisher
root "Wendrake Test Root" untrusted
leaf untrusted "Corvana Test Publisher" impostor

sign publisher "$out/Signed.exe"
sign impostor "$out/Impostor.exe"
if [ -n "$installer" ]; then sign publisher "$out/SignedWendrake.exe" "$installer"; fi
openssl x509 -in trusted.pem -outform DER -out "$out/TestRoot.cer"
# One byte inside the image (past the headers, well before the signature) turned over.
cp "$out/Signed.exe" "$out/Tampered.exe"
python3 - "$out/Tampered.exe" <<'X'
import sys
with open(sys.argv[1], "r+b") as f:
    f.seek(0x1000)
    b = f.read(1)
    f.seek(0x1000)
    f.write(bytes([b[0] ^ 0xFF]))
X
