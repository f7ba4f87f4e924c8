#!/bin/sh
# Sets everything up, then runs every test.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
ctest --test-dir build --output-on-failure -j "$(nproc)"
