#!/bin/sh
# Sets everything up, builds, and makes the Debian package quillivar_VERSION_amd64.deb in
# build/package/, then prints its path. Install it with: apt-get install ./PATH
set -eu
setup_options=""
case "${1:-}" in
    "") ;;
    --no-tests) setup_options="--no-tests" ;;
    -h | --help)
        echo "Usage: scripts/package.sh [--no-tests]"
        echo "Installs what is missing, builds, and makes the Debian package in build/package/;"
        echo "prints its path. Then: apt-get install ./build/package/quillivar_VERSION_amd64.deb"
        echo "  --no-tests    build the programs only, without the tests and what they need"
        exit 0 ;;
    *) echo "package: unknown option '$1' (try --help)" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
./scripts/setup.sh $setup_options >&2
rm -f build/package/quillivar_*.deb
cpack --config build/CPackConfig.cmake -B build/package >&2
for deb in "$PWD"/build/package/quillivar_*.deb; do
    [ -f "$deb" ] || { echo "package: cpack made no package" >&2; exit 1; }
    echo "$deb"
done
