#!/usr/bin/env bash
# Installs what is missing, builds Orvane and starts the application.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ORVANE_BUILD_DIR:-$ROOT/build}
"$ROOT/scripts/install-deps.sh"
"$ROOT/scripts/build.sh"
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && "${QT_QPA_PLATFORM:-}" != offscreen ]]; then
    echo "No display found: the Orvane window needs a graphical session (DISPLAY is not set)." >&2
    echo "To analyse videos without a display, use: $BUILD/bin/orvane-count --help" >&2
    exit 1
fi
# A first start gets a demo folder with a sample video and its regions; a stored working
# directory is never replaced.
"$BUILD/bin/orvane-demo" || echo "Could not prepare the demo folder; starting without it." >&2
exec "$BUILD/bin/orvane" "$@"
