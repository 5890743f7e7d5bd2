#!/usr/bin/env bash
# Writes the Scoop and winget manifests for a release zip of tools/package.sh:
# portable, Backdrift.exe as the command, from the zip's GitHub release.
#   tools/manifests.sh <Backdrift-X.Y.Z-win64.zip> <output folder>
set -euo pipefail
zip=$1 out=$2
name=$(basename "$zip")
version=${name#Backdrift-}
version=${version%-win64.zip}
[[ $version =~ ^[0-9]+(\.[0-9]+)*$ ]] || { echo "manifests: not a release zip's name: $name" >&2; exit 1; }
hash=$(sha256sum "$zip" | cut -d' ' -f1)
home=https://github.com/velmaro/backdrift
url=$home/releases/download/v$version/$name
description="Tiny tray program that swaps the desktop wallpaper to the next picture of a folder."

mkdir -p "$out/scoop"
cat >"$out/scoop/backdrift.json" <<JSON
{
    "version": "$version",
    "description": "$description",
    "homepage": "$home",
    "license": "MIT",
    "architecture": {
        "64bit": {
            "url": "$url",
            "hash": "$hash"
        }
    },
    "bin": "Backdrift.exe",
    "shortcuts": [["Backdrift.exe", "Backdrift"]]
}
JSON

# The layout of the winget community repository: manifests/<letter>/<publisher>/<name>/<version>.
winget=$out/winget/manifests/v/Velmaro/Backdrift/$version
mkdir -p "$winget"
# One manifest of the set: the lines on input between those every type shares.
manifest() { # <manifest type> <file name>
    {
        echo "# yaml-language-server: \$schema=https://aka.ms/winget-manifest.$1.1.6.0.schema.json"
        echo "PackageIdentifier: Velmaro.Backdrift"
        echo "PackageVersion: \"$version\""
        cat
        echo "ManifestType: $1"
        echo "ManifestVersion: 1.6.0"
    } >"$winget/$2"
}
manifest version Velmaro.Backdrift.yaml <<<"DefaultLocale: en-US"
manifest installer Velmaro.Backdrift.installer.yaml <<YAML
InstallerType: zip
NestedInstallerType: portable
NestedInstallerFiles:
  - RelativeFilePath: Backdrift.exe
    PortableCommandAlias: Backdrift
MinimumOSVersion: 10.0.0.0
Installers:
  - Architecture: x64
    InstallerUrl: $url
    InstallerSha256: ${hash^^}
YAML
manifest defaultLocale Velmaro.Backdrift.locale.en-US.yaml <<YAML
PackageLocale: en-US
Publisher: Velmaro
PackageName: Backdrift
PackageUrl: $home
License: MIT
LicenseUrl: $home/blob/v$version/LICENSE
ShortDescription: $description
YAML
printf '%s\n' "$out/scoop/backdrift.json" "$winget"
