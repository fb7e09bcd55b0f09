#!/usr/bin/env bash
# Builds the Debian package from an existing build folder, unpacks it into a temporary root and
# uses what it installed, with nothing of the build folder on PATH:
#
#   tests/package/package-test.sh BUILD_DIR
#
# It runs orvane-count --help and orvane-count on a generated video (its counts must equal the
# build folder's), imports a raw H.264 stream with orvane-import through the installed wrapping
# tool, reads every manual page with man -l, validates the menu entry and the AppStream file,
# and completes options with the installed bash completion. Exit status 0 on success, 1 on a
# failed check, 77 when a needed tool is missing (scripts/install-deps.sh installs them all).
set -euo pipefail

BUILD=$(cd "${1:?usage: package-test.sh BUILD_DIR}" && pwd)
ID=com.brellico.Orvane

say() { echo "package-test: $*"; }
fail() {
    printf 'package-test: FAILED: %b\n' "$*" >&2
    exit 1
}

for tool in cpack dpkg-deb dpkg-shlibdeps file help2man man ffmpeg ffprobe desktop-file-validate \
    appstreamcli; do
    command -v "$tool" >/dev/null || {
        echo "package-test: $tool is missing (scripts/install-deps.sh installs it)" >&2
        exit 77
    }
done

T=$(mktemp -d "${TMPDIR:-/tmp}/orvane-package.XXXXXX")
trap 'rm -rf "$T"' EXIT
export XDG_CONFIG_HOME=$T/config XDG_DATA_HOME=$T/data QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"

# --- Build and unpack ----------------------------------------------------------------------

# cpack installs the build folder as it is into a staging folder of its own under -B.
say "building the package"
cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$T/out" >"$T/cpack.log" 2>&1 ||
    fail "cpack failed:\n$(cat "$T/cpack.log")"
debs=("$T"/out/orvane_*.deb)
[[ ${#debs[@]} -eq 1 && -f "${debs[0]}" ]] || fail "expected one orvane_*.deb in $T/out"
deb=${debs[0]}
depends=$(dpkg-deb -f "$deb" Depends)
[[ "$depends" == *libqt5core5a* && "$depends" == *libopencv* ]] ||
    fail "the dependencies miss the shared libraries: $depends"
ROOT_DIR=$T/root
dpkg-deb -x "$deb" "$ROOT_DIR"
USR=$ROOT_DIR/usr
say "$(basename "$deb"): $(stat -c %s "$deb") bytes"

export PATH="$USR/bin:/usr/local/bin:/usr/bin:/bin"
commands=(orvane orvane-count orvane-activity orvane-import orvane-makevideo orvane-demo
    orvane-mp4wrap orvane-slurm)
for command in "${commands[@]}"; do
    [[ -x "$USR/bin/$command" ]] || fail "$command is not installed"
    [[ -f "$USR/share/man/man1/$command.1.gz" ]] || fail "$command has no manual page"
done
# Exactly the commands: no test, no benchmark, no tool under a name another package may use.
installed=$(cd "$USR/bin" && ls | sort)
[[ "$installed" == "$(printf '%s\n' "${commands[@]}" | sort)" ]] ||
    fail "installed programs:\n$installed"

# --- The commands --------------------------------------------------------------------------

help=$(orvane-count --help) || fail "orvane-count --help failed"
[[ "$help" == *orvane-count* ]] || fail "orvane-count --help says: $help"

say "counting a generated video with the installed orvane-count"
# Named as cameras name them, so that the events' times come from the name, not the clock.
video=video_20260601_0930_01
mkdir -p "$T/installed" "$T/built"
orvane-makevideo "$T/installed/$video.mp4" --size 320x240 --fps 25 --frames 150 --insects 3 \
    --area 100,60 220,60 220,180 100,180 --seed 7 >/dev/null || fail "orvane-makevideo failed"
cp "$T/installed/$video.mp4" "$T/built/"
cp -r "$T/installed/exportCSV" "$T/built/"
orvane-count --quiet "$T/installed" >"$T/count.log" 2>&1 ||
    fail "installed orvane-count failed:\n$(cat "$T/count.log")"
"$BUILD/bin/orvane-count" --quiet "$T/built" >/dev/null 2>&1 || fail "built orvane-count failed"
result=$T/installed/exportCSV/$video.csv
[[ $(wc -l <"$result") -gt 1 ]] || fail "no event counted in $result"
cmp -s "$result" "$T/built/exportCSV/$video.csv" ||
    fail "the installed and the built orvane-count disagree"

say "counting a turned video, read through the installed capture module"
[[ -n $(find "$USR/lib" -path '*/orvane/liborvane-capture.so') ]] ||
    fail "the capture module is not installed"
mkdir -p "$T/turned/exportCSV"
ffmpeg -loglevel error -i "$T/installed/$video.mp4" -c copy -metadata:s:v:0 rotate=90 \
    "$T/turned/$video.mp4" || fail "ffmpeg could not turn the video"
printf '0,0\n240,0\n240,320\n0,320\n' >"$T/turned/exportCSV/${video}_mask.adv"
printf '40,80\n200,80\n200,240\n40,240\n' >"$T/turned/exportCSV/${video}_area.adv"
orvane-count --quiet "$T/turned" >"$T/turned.log" 2>&1 ||
    fail "installed orvane-count could not read a turned video:\n$(cat "$T/turned.log")"
say "importing a raw H.264 stream with the installed orvane-import"
mkdir -p "$T/card" "$T/import"
ffmpeg -loglevel error -f lavfi -i testsrc=size=160x120:rate=25 -frames:v 30 -c:v libx264 \
    -bf 0 -f h264 "$T/card/cam.h264" || fail "ffmpeg could not make a raw stream"
orvane-import --quiet "$T/card" "$T/import" >"$T/import.log" 2>&1 ||
    fail "orvane-import failed:\n$(cat "$T/import.log")"
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries \
    stream=nb_read_frames -of csv=p=0 "$T/import/cam.mp4") || fail "no readable cam.mp4"
[[ "$frames" == 30 ]] || fail "cam.mp4 holds $frames frames instead of 30"

plan=$(orvane-slurm --dry-run "$T/installed") || fail "orvane-slurm --dry-run failed"
[[ "$plan" == *"exec $USR/bin/orvane-count "* ]] ||
    fail "orvane-slurm does not run the installed orvane-count:\n$plan"

# --- Manual pages, menu entry, AppStream, completion ---------------------------------------

for page in "$USR"/share/man/man1/*.1.gz; do
    text=$(MANWIDTH=80 man --warnings -l "$page" 2>"$T/man.err") || fail "man -l $page failed"
    [[ ! -s "$T/man.err" ]] || fail "man -l $page warns:\n$(cat "$T/man.err")"
    name=$(basename "$page" .1.gz)
    [[ "$text" == *"$name"* ]] || fail "$page does not name $name"
done

desktop=$USR/share/applications/$ID.desktop
desktop-file-validate "$desktop" || fail "$desktop is not valid"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[[ -x "$USR/bin/${exec_line%% *}" ]] || fail "the menu entry starts '$exec_line', not installed"
[[ -f "$USR/share/icons/hicolor/48x48/apps/orvane.png" ]] || fail "no 48x48 icon"
appstreamcli validate --no-net "$USR/share/metainfo/$ID.metainfo.xml" >"$T/appstream.log" ||
    fail "the AppStream file is not valid:\n$(cat "$T/appstream.log")"

# Completes COMMAND WORD... (the last word is the one being typed) with the installed script.
complete_words() {
    bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
             _orvane_complete "$1"; printf "%s\n" "${COMPREPLY[@]}"' \
        _ "$USR/share/bash-completion/completions/$1" "$@"
}
[[ "$(complete_words orvane-count --cou)" == "--counting" ]] ||
    fail "orvane-count --cou completes to: $(complete_words orvane-count --cou)"
[[ "$(complete_words orvane-count --counting s)" == "strict" ]] ||
    fail "orvane-count --counting s completes to: $(complete_words orvane-count --counting s)"
[[ "$(complete_words orvane-import --q)" == "--quiet" ]] || fail "orvane-import --q"

say "passed"
