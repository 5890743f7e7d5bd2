#!/usr/bin/env bash
# Writes the Scoop manifest and the winget manifest set for a release zip
# made by tools/package.sh: portable, no installer, Backdrift.exe as the
# command, downloaded from the GitHub release of the zip's version.
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
header() { # <manifest type>
    echo "# yaml-language-server: \$schema=https://aka.ms/winget-manifest.$1.1.6.0.schema.json"
    echo "PackageIdentifier: Velmaro.Backdrift"
    echo "PackageVersion: \"$version\""
}
{
    header version
    echo "DefaultLocale: en-US"
    echo "ManifestType: version"
    echo "ManifestVersion: 1.6.0"
} >"$winget/Velmaro.Backdrift.yaml"
{
    header installer
    cat <<YAML
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
ManifestType: installer
ManifestVersion: 1.6.0
YAML
} >"$winget/Velmaro.Backdrift.installer.yaml"
{
    header defaultLocale
    cat <<YAML
PackageLocale: en-US
Publisher: Velmaro
PackageName: Backdrift
PackageUrl: $home
License: MIT
LicenseUrl: $home/blob/v$version/LICENSE
ShortDescription: $description
ManifestType: defaultLocale
ManifestVersion: 1.6.0
YAML
} >"$winget/Velmaro.Backdrift.locale.en-US.yaml"
echo "$out/scoop/backdrift.json"
echo "$winget"
