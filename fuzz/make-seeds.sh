#!/usr/bin/env bash
# Writes the seed inputs of every fuzz target under DIR/NAME (regionfile, resultfile, h264).
set -euo pipefail
FINAL=$(realpath -m "${1:?usage: make-seeds.sh DIR}")
# Written under a name of their own and renamed at the end: a half-written seed folder is never
# taken for a finished one.
DIR=$(mktemp -d "$FINAL.new.XXXXXX")
trap 'rm -rf "$DIR"' EXIT
mkdir -p "$DIR/regionfile" "$DIR/resultfile" "$DIR/h264"

cd "$DIR/regionfile"
printf '10,20\n200,20\n200,150\n10,20\n' > closed-area
printf '100,50\n100,150\n' > line
printf '10,20\r\n200,20\r\n200,150\r\n' > crlf
printf '12,abc\n7,8,9\n,5\n 3 , 4 \nnan,inf\n1.5,2\n\n42\n' > malformed
printf -- '-2147483648,-2147483648\n2147483647,2147483647\n99999999999999999999,-5\n' > far
: > empty

cd "$DIR/resultfile"
printf 'Frame;X;Y;In;Out;Timestamp\n250;110;100;1;1;2015-06-12_14:03:27\n' > one-event
printf 'Frame;X;Y;In;Out;Timestamp\n90.5;1;2;1;0;x\nnan;1;2;0;1;y\ninf;;;;;\n7;1\n' > odd-fields
printf 'Frame;X;Y;In;Out;Timestamp\n' > header-only

cd "$DIR/h264"
make_stream() {
    ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=25 -frames:v "$1" -c:v libx264 \
        -bf "$2" -f h264 "$3"
}
make_stream 3 0 camera.h264
make_stream 6 2 reordered.h264
head -c 200 camera.h264 > cut.h264

rm -rf "$FINAL"
mv "$DIR" "$FINAL"
trap - EXIT
