#!/usr/bin/env bash
# Builds the Debian package of Orvane, orvane_VERSION_ARCH.deb, from the build folder (./build
# or $ORVANE_BUILD_DIR) and checks it with lintian. The package lands in the build folder, or
# in OUTPUT_DIR when one is given.
#   ./scripts/package.sh [OUTPUT_DIR]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ORVANE_BUILD_DIR:-$ROOT/build}
OUT=$(mkdir -p "${1:-$BUILD}" && cd "${1:-$BUILD}" && pwd)

"$ROOT/scripts/install-deps.sh"
# A build folder made for the sanitizers or the fuzzers holds programs that are not for
# installing.
if grep -Eq '^ORVANE_(SANITIZE|FUZZ):BOOL=ON' "$BUILD/CMakeCache.txt" 2>/dev/null; then
    echo "package.sh: $BUILD is a sanitizer or fuzzing build; use another ORVANE_BUILD_DIR" >&2
    exit 1
fi
"$ROOT/scripts/build.sh"

rm -f "$OUT"/orvane_*.deb
cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$OUT" >"$OUT/cpack.log" 2>&1 || {
    cat "$OUT/cpack.log" >&2
    exit 1
}
rm -rf "$OUT/_CPack_Packages"
deb=$(ls "$OUT"/orvane_*.deb)
echo "Package: $deb ($(du -h "$deb" | cut -f1), installed $(dpkg-deb -f "$deb" Installed-Size) KiB)"

# Errors fail the script; warnings are printed (the README says why each one is there).
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "lintian: no errors"
echo "Install with: sudo apt install $deb"
