#!/usr/bin/env bash
# Installs the Debian packages Orvane needs, and only those that are missing: on a machine that
# already has everything the package manager is not touched. With --fuzz it also installs what
# the libFuzzer targets need (fuzz/run.sh asks for that; the normal build and suite do not).
#   ./scripts/install-deps.sh [--fuzz]
set -euo pipefail

PACKAGES=(
    build-essential cmake pkg-config clang-format
    qtbase5-dev qtbase5-dev-tools libqt5charts5-dev libqt5svg5-dev
    libopencv-dev libjpeg-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libavformat-dev libavcodec-dev libavutil-dev libswscale-dev ffmpeg
    xvfb xauth
    # the Debian package: its manual pages, its checks and the package test
    dpkg-dev file help2man man-db bash-completion desktop-file-utils appstream lintian
)
FUZZ_PACKAGES=(clang libfuzzer-14-dev)

case "${1:-}" in
    "") ;;
    --fuzz) PACKAGES+=("${FUZZ_PACKAGES[@]}") ;;
    *) echo "usage: install-deps.sh [--fuzz]" >&2; exit 2 ;;
esac

missing=()
for pkg in "${PACKAGES[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done

if [[ ${#missing[@]} -eq 0 ]]; then
    exit 0
fi

echo "Installing missing packages: ${missing[*]}"
SUDO=""
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
