#!/usr/bin/env bash
# Builds (if needed) and runs one fuzz target for SECONDS, at low priority, keeping what it
# learns in BUILD/fuzz-corpus/NAME and any input that makes it fail in BUILD/fuzz-findings/NAME.
#   fuzz/run.sh regionfile|resultfile|h264 SECONDS [BUILD_DIR]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
USAGE="usage: fuzz/run.sh regionfile|resultfile|h264 SECONDS [BUILD_DIR]"
NAME=${1:?$USAGE}
SECONDS_TO_RUN=${2:?$USAGE}
BUILD=${3:-$ROOT/build-fuzz}
case "$NAME" in
    regionfile | resultfile | h264) ;;
    *) echo "$USAGE" >&2; exit 2 ;;
esac
[[ "$SECONDS_TO_RUN" =~ ^[1-9][0-9]*$ ]] || { echo "$USAGE" >&2; exit 2; }

"$ROOT/scripts/install-deps.sh" --fuzz
LAUNCHER=()
command -v ccache >/dev/null && LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DORVANE_FUZZ=ON "${LAUNCHER[@]}" >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target "${NAME}_fuzz"
[ -d "$BUILD/fuzz-seeds/$NAME" ] || "$ROOT/fuzz/make-seeds.sh" "$BUILD/fuzz-seeds"
mkdir -p "$BUILD/fuzz-corpus/$NAME" "$BUILD/fuzz-findings/$NAME"
# A single input that takes longer than TIMEOUT seconds is a finding as well (a hang). mp4box's
# probe decodes a picture or two, and a stream of a few bytes may declare one of the largest
# sizes H.264 allows: seconds of honest work under the sanitizers, no hang.
TIMEOUT=10
[ "$NAME" != h264 ] || TIMEOUT=60
exec nice -n 10 "$BUILD/bin/${NAME}_fuzz" -max_total_time="$SECONDS_TO_RUN" -timeout="$TIMEOUT" \
    -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$BUILD/fuzz-findings/$NAME/" \
    "$BUILD/fuzz-corpus/$NAME" "$BUILD/fuzz-seeds/$NAME"
