#!/bin/sh
# Writes the scanner clean-up test pages: a real page render turned, noised
# and saved as a low-quality JPEG, as a cheap flatbed would deliver it.
# Needs: poppler-utils (pdftoppm), ImageMagick 6 (convert).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out="$here/scanner"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
pdftoppm -r 75 -gray -singlefile "$here/pdftex-page.pdf" "$work/page"
scan() { # angle name
    convert "$work/page.pgm" -background white -rotate "$1" -gravity center -extent 640x900 \
        -seed 7 -attenuate 0.6 +noise Gaussian -quality 40 "$out/$2.jpg"
}
scan 3 page-skew-plus3
scan -2 page-skew-minus2
scan 0 page-straight
