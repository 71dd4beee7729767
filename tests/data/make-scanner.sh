#!/bin/sh
# Writes the scanner clean-up test pages: a real page render turned, noised
# and saved as a low-quality JPEG, as a cheap flatbed would deliver it.
# Needs: poppler-utils (pdftoppm), ImageMagick 6 (convert), sane-utils (scanimage).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out="$here/scanner"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
pdftoppm -r 75 -gray -singlefile "$here/pdftex-page.pdf" "$work/page"
scan() { # angle name
    convert "$work/page.pgm" -background white -rotate "$1" -gravity center -extent 640x900 \
        -seed 7 -attenuate 0.6 +noise Gaussian -quality 40 -strip "$out/$2.jpg"
}
scan 3 page-skew-plus3
scan -2 page-skew-minus2
scan 0 page-straight

# SANE's own test device, its grid at 150 dpi in grey: a page dark to its edges.
mkdir -p "$work/sane"
echo test > "$work/sane/dll.conf"
sed 's/^test-picture.*/test-picture "Grid"/' /etc/sane.d/test.conf > "$work/sane/test.conf"
SANE_CONFIG_DIR="$work/sane" scanimage -d test:0 --resolution 150 --mode Gray --format=pnm > "$work/grid.pgm"
convert "$work/grid.pgm" -strip "$out/test-device-grid-150.png"
