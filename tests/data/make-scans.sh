#!/bin/sh
# Writes the scanned test pages (made by ocr_bench from the test support code)
# and stores, per page, the words and boxes the tesseract program reads on the
# same image, so the recognition tests compare against it without running it.
# Usage: tests/data/make-scans.sh BUILD_DIR
set -eu
build=${1:?build directory}
here=$(cd "$(dirname "$0")" && pwd)
out="$here/scans"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
QT_QPA_PLATFORM=offscreen "$build/bench/ocr_bench" --write-pages "$work"
ls "$work"/*.png >/dev/null
for png in "$work"/*.png; do
    name=$(basename "$png" .png)
    # Word rows only: left top width height confidence text, pixels of the image.
    OMP_THREAD_LIMIT=1 tesseract "$png" - -l rus+eng tsv 2>/dev/null |
        awk -F'\t' 'NR > 1 && $1 == 5 && $12 != "" { print $7 "\t" $8 "\t" $9 "\t" $10 "\t" $11 "\t" $12 }' \
        > "$out/$name.tsv"
done
