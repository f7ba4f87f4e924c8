#!/bin/sh
# Installs what Quillivar needs on Debian 12 or 13 (when something is missing) and builds it
# into build/. Run as root, or as a user who may use sudo. Safe to run again: it only installs
# and rebuilds what is out of date.
set -eu
backports=""
tests=ON
for argument in "$@"; do
    case "$argument" in
        --backports) backports=yes ;;
        --no-tests) tests=OFF ;;
        -h | --help)
            echo "Usage: scripts/setup.sh [--backports] [--no-tests]"
            echo "Installs what is missing and builds into build/."
            echo "  --backports   LibreOffice from the distribution's backports (a newer one)"
            echo "  --no-tests    neither the tests nor what they need: the programs and their package only"
            exit 0 ;;
        *) echo "setup: unknown option '$argument' (try --help)" >&2; exit 2 ;;
    esac
done
cd "$(dirname "$0")/.."

# To build, and to make the manual pages and the Debian package (cpack finds the libraries it
# depends on with file and dpkg-shlibdeps).
build_packages="
  build-essential cmake ninja-build pkg-config file
  qt6-base-dev libreofficekit-dev libturbojpeg0-dev libjpeg-dev libpng-dev libwebp-dev zlib1g-dev
  libcpp-httplib-dev libgoogle-perftools-dev
  help2man dpkg-dev
"
# For the tests: lintian checks the Debian package; python3-yaml reads the deployment examples;
# the rest drive and look at the programs.
test_packages="
  libgtest-dev libgmock-dev clang libclang-rt-dev
  poppler-utils bc time imagemagick xvfb xdotool lintian python3-numpy python3-pil python3-yaml zip
"
[ "$tests" = ON ] || test_packages=""
# To run: LibreOffice and fonts, from the list the Debian package depends on too.
run_packages=$(sed 's/#.*//' packaging/runtime-packages)
packages="$build_packages $test_packages $run_packages"

# With --backports, LibreOffice comes from the distribution's backports, and with it whatever
# it needs from there.
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
libreoffice_packages="libreoffice-writer libreofficekit-dev"
missing=""
from_backports=""
for package in $packages; do
    if [ -n "$backports" ] && echo " $libreoffice_packages " | grep -q " $package "; then
        apt-cache policy "$package" 2>/dev/null | grep -q '^ \*\*\* .*~bpo' || from_backports="$from_backports $package"
    elif ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing="$missing $package"
    fi
done

if [ -n "$missing$from_backports" ]; then
    echo "setup: installing$missing${from_backports:+ and from $codename-backports$from_backports}"
    if [ "$(id -u)" -eq 0 ]; then
        as_root=""
    elif command -v sudo >/dev/null 2>&1; then
        as_root="sudo"
    else
        echo "setup: these packages are missing and I am not root:$missing$from_backports" >&2
        exit 1
    fi
    backports_list=/etc/apt/sources.list.d/quillivar-backports.list
    if [ -n "$backports" ] && [ ! -f "$backports_list" ]; then
        mirror=$(grep -h -o -E 'https?://[^ ]+/debian/?( |$)' /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
                     /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1 | tr -d ' ')
        echo "deb ${mirror:-http://deb.debian.org/debian} $codename-backports main" | $as_root tee "$backports_list" >/dev/null
    fi
    $as_root apt-get update -q
    if [ -n "$missing" ]; then
        DEBIAN_FRONTEND=noninteractive $as_root apt-get install -y -q --no-install-recommends $missing
    fi
    if [ -n "$from_backports" ]; then
        DEBIAN_FRONTEND=noninteractive $as_root apt-get install -y -q --no-install-recommends \
            -t "$codename-backports" $from_backports
    fi
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLIVAR_WERROR=ON -DQUILLIVAR_BUILD_TESTS=$tests
cmake --build build
