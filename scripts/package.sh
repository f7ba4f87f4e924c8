#!/bin/sh
# Sets everything up, builds, and makes the Debian package quillivar_VERSION_amd64.deb in
# build/package/, then prints its path. Install it with: apt-get install ./PATH
set -eu
setup_options=""
for argument in "$@"; do
    case "$argument" in
        --no-tests | --backports) setup_options="$setup_options $argument" ;;
        -h | --help)
            echo "Usage: scripts/package.sh [--no-tests] [--backports]"
            echo "Installs what is missing, builds, and makes the Debian package in build/package/;"
            echo "prints its path. Then: apt-get install ./build/package/quillivar_VERSION_amd64.deb"
            echo "  --no-tests    build the programs only, without the tests and what they need"
            echo "  --backports   LibreOffice from the distribution's backports (scripts/setup.sh --backports)"
            exit 0 ;;
        *) echo "package: unknown option '$argument' (try --help)" >&2; exit 2 ;;
    esac
done
cd "$(dirname "$0")/.."
./scripts/setup.sh $setup_options >&2
rm -f build/package/quillivar_*.deb
cpack --config build/CPackConfig.cmake -B build/package >&2
for deb in "$PWD"/build/package/quillivar_*.deb; do
    [ -f "$deb" ] || { echo "package: cpack made no package" >&2; exit 1; }
    echo "$deb"
done
