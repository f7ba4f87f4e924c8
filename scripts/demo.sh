#!/bin/sh
# Sets everything up, then turns the bundled sample documents into page images.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
out="$PWD/demo-output"
mkdir -p "$out"
status=0
./build/bin/quillivar-cli --out "$out" Samples/* || status=$?
echo
echo "Page images of the samples are in: $out"
ls -1 "$out"
exit "$status"
