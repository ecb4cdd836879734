#!/bin/bash
# Sets up the machine, builds everything and runs every test under Wine.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

bash "$root/tools/setup-debian.sh"
cmake -S "$root" -B "$build" ${LUNKO_PAYLOAD_DIR:+-DLUNKO_PAYLOAD_DIR="$LUNKO_PAYLOAD_DIR"}
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure
