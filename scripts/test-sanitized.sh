#!/usr/bin/env bash
# Builds test programs with the address and undefined-behaviour sanitizers, every report fatal,
# in ./build-sanitize (or $ORVANE_SANITIZE_BUILD_DIR), and runs them headless. Arguments name the
# test programs (CTest names) to build and run; without any, the whole suite.
#   ./scripts/test-sanitized.sh                          # everything
#   ./scripts/test-sanitized.sh regions_tests cli_test   # these two
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ORVANE_SANITIZE_BUILD_DIR:-$ROOT/build-sanitize}
"$ROOT/scripts/install-deps.sh"
# -O1 and line tables only: a third less compile time than -O2 -g, and reports still name the
# file and line.
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_WERROR=ON \
    -DORVANE_SANITIZE=ON "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" >/dev/null
SELECT=()
if [ $# -eq 0 ]; then
    cmake --build "$BUILD" -j "$(nproc)"
else
    cmake --build "$BUILD" -j "$(nproc)" --target "$@"
    SELECT=(-R "^($(IFS='|'; echo "$*"))\$")
fi
cd "$BUILD"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" "${SELECT[@]}"
