#!/bin/sh
# Prints the --help of $ORVANE_HELP_PROGRAM for help2man, which starts this script under the
# command's name. A usage of several lines becomes the form help2man reads: each further form
# of the command on an "or:" line, and wrapped lines joined to the line they continue. The
# program's own file name (e.g. a script's "orvane-slurm.sh") becomes the command's name.
set -e
[ "$1" = --help ] || exit 2
name=${0##*/}
"$ORVANE_HELP_PROGRAM" --help | awk -v name="$name" -v file="${ORVANE_HELP_PROGRAM##*/}" '
function renamed(text, at) {
    if (file == name)
        return text
    while ((at = index(text, file)) > 0)
        text = substr(text, 1, at - 1) name substr(text, at + length(file))
    return text
}
function flush() {
    if (held != "")
        print held
    held = ""
}
{ $0 = renamed($0) }
/^Usage:/ { usage = 1; held = $0; next }
usage && /^[[:space:]]*$/ { flush(); usage = 0 }
usage {
    line = $0
    sub(/^[[:space:]]+/, "", line)
    word = line
    sub(/[[:space:]].*/, "", word)
    sub(/.*\//, "", word)
    if (word == name) {
        flush()
        held = "  or: " line
    } else {
        held = held " " line
    }
    next
}
{ print }
END { flush() }'
