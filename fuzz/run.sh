#!/usr/bin/env bash
# Builds (if needed) and runs one fuzz target for SECONDS, at low priority, keeping what it
# learns in BUILD/fuzz-corpus/NAME and any crashing input in BUILD/fuzz-findings/NAME.
#   fuzz/run.sh regionfile|resultfile|h264 SECONDS [BUILD_DIR]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
NAME=${1:?usage: run.sh regionfile|resultfile|h264 SECONDS [BUILD_DIR]}
SECONDS_TO_RUN=${2:?usage: run.sh NAME SECONDS [BUILD_DIR]}
BUILD=${3:-$ROOT/build-fuzz}
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DORVANE_FUZZ=ON >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target "${NAME}_fuzz"
[ -d "$BUILD/fuzz-seeds/$NAME" ] || "$ROOT/fuzz/make-seeds.sh" "$BUILD/fuzz-seeds"
mkdir -p "$BUILD/fuzz-corpus/$NAME" "$BUILD/fuzz-findings/$NAME"
exec nice -n 10 "$BUILD/bin/${NAME}_fuzz" -max_total_time="$SECONDS_TO_RUN" -rss_limit_mb=4096 \
    -artifact_prefix="$BUILD/fuzz-findings/$NAME/" "$BUILD/fuzz-corpus/$NAME" \
    "$BUILD/fuzz-seeds/$NAME"
