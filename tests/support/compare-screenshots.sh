#!/bin/sh
# Draws the windows with the screenshot renderer and compares each picture, pixel for pixel, with
# the one a person looked at: compare-screenshots.sh RENDERER EXPECTED_DIR NAME...
# On a difference it keeps what was drawn, and a picture of where it differs, for looking at.
set -u
renderer=$1 expected=$2
shift 2
out=$(mktemp -d)
if ! "$renderer" "$out"; then
    echo "the renderer failed; what it drew is in $out"
    exit 1
fi
status=0
for name in "$@"; do
    drawn=$out/$name.png
    if [ ! -f "$drawn" ]; then
        echo "$name: not drawn"
        status=1
    elif ! differ=$(compare -metric AE "$drawn" "$expected/$name.png" "$out/$name-differs.png" 2>&1); then
        echo "$name: $differ pixels differ from $expected/$name.png; see $out"
        status=1
    fi
done
[ $status -eq 0 ] && rm -rf "$out"
exit $status
