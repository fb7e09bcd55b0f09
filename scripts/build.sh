#!/usr/bin/env bash
# Configures and builds Orvane in ./build (or $ORVANE_BUILD_DIR). Extra arguments go to CMake.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ORVANE_BUILD_DIR:-$ROOT/build}
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$BUILD" -j "$(nproc)"
