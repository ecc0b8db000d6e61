#!/usr/bin/env bash
# Lays out and zips the release package:
#   tools/dist.sh <shipped build folder> <package name> <output folder> [<build folder that runs here>]
# The package: the shipped installer and package checker, the sample settings and texts with
# Windows line ends (for Notepad), the two pictures and the distributor's guide; and the same
# sample package packed, as a distributor ships it: CorvanaPokerWebSetup.exe, the shipped
# Wendrake.exe with the sample files inside it, made by the package checker under Wine (the build
# of it that runs on this machine, beside the shipped Wendrake.exe). The three executables are
# signed when SIGN_CERT and SIGN_KEY are set (see sign.sh).
set -euo pipefail
ship="$1"; package="$2"; out="$3"; runner="${4:-$1}"
source="$(cd "$(dirname "$0")/.." && pwd)"
folder="$out/$package"
packed=CorvanaPokerWebSetup.exe

rm -rf "$folder" "$folder.zip"
mkdir -p "$folder"
cp "$ship/Wendrake.exe" "$ship/WendrakeCheck.exe" "$source/docs/DISTRIBUTING.md" "$folder/"
sed 's/$/\r/' "$source/demo/ConfigParams.ini" > "$folder/ConfigParams.ini"
sed 's/$/\r/' "$source/demo/Language.ini" > "$folder/Language.ini"
"$source/demo/make_pictures.sh" "$folder"

"$source/tools/pack.sh" "$ship/Wendrake.exe" "$runner" "$folder" "$folder/$packed"

"$source/tools/sign.sh" "$folder/Wendrake.exe" "$folder/WendrakeCheck.exe" "$folder/$packed"
(cd "$out" && zip -q -X -r "$package.zip" "$package")
unzip -l "$folder.zip"
