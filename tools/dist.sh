#!/usr/bin/env bash
# Lays out and zips the release package: tools/dist.sh <shipped build folder> <package name> <output folder>
# The package: the shipped installer and package checker (signed when SIGN_CERT and SIGN_KEY are
# set, see sign.sh), the sample settings and texts with Windows line ends (for Notepad), the two
# pictures and the distributor's guide.
set -euo pipefail
ship="$1"; package="$2"; out="$3"
source="$(cd "$(dirname "$0")/.." && pwd)"
folder="$out/$package"

rm -rf "$folder" "$folder.zip"
mkdir -p "$folder"
cp "$ship/Wendrake.exe" "$ship/WendrakeCheck.exe" "$source/docs/DISTRIBUTING.md" "$folder/"
sed 's/$/\r/' "$source/demo/ConfigParams.ini" > "$folder/ConfigParams.ini"
sed 's/$/\r/' "$source/demo/Language.ini" > "$folder/Language.ini"
"$source/demo/make_pictures.sh" "$folder"
"$source/tools/sign.sh" "$folder/Wendrake.exe" "$folder/WendrakeCheck.exe"
(cd "$out" && zip -q -X -r "$package.zip" "$package")
unzip -l "$folder.zip"
