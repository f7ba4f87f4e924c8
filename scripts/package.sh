#!/bin/sh
# Sets everything up, builds, and makes the Debian package quillivar_VERSION_amd64.deb in
# build/package/, then prints its path. Install it with: apt-get install ./PATH
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh >&2
rm -f build/package/quillivar_*.deb
cpack --config build/CPackConfig.cmake -B build/package >&2
for deb in "$PWD"/build/package/quillivar_*.deb; do
    [ -f "$deb" ] || { echo "package: cpack made no package" >&2; exit 1; }
    echo "$deb"
done
