#!/bin/sh
# Installs what Quillivar needs on Debian 12 (when something is missing) and builds it into
# build/. Run as root, or as a user who may use sudo. Safe to run again: it only installs
# and rebuilds what is out of date.
set -eu
cd "$(dirname "$0")/.."

# libreoffice-writer rather than its -nogui variant: LibreOfficeKit needs Writer's
# interface definitions to open documents that hold comments. The engine stays headless.
packages="
  build-essential cmake ninja-build pkg-config
  qt6-base-dev
  libreoffice-writer libreofficekit-dev
  libturbojpeg0-dev
  libgtest-dev libgmock-dev
  fonts-liberation2 fonts-crosextra-carlito fonts-crosextra-caladea
  fonts-dejavu fonts-droid-fallback fonts-urw-base35 fonts-noto-mono
  poppler-utils bc time imagemagick xvfb xauth xdotool python3-numpy python3-pil
"

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing="$missing $package"
    fi
done

if [ -n "$missing" ]; then
    echo "setup: installing$missing"
    if [ "$(id -u)" -eq 0 ]; then
        as_root=""
    elif command -v sudo >/dev/null 2>&1; then
        as_root="sudo"
    else
        echo "setup: these packages are missing and I am not root:$missing" >&2
        exit 1
    fi
    $as_root apt-get update -q
    DEBIAN_FRONTEND=noninteractive $as_root apt-get install -y -q --no-install-recommends $missing
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLIVAR_WERROR=ON
cmake --build build
