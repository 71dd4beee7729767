#!/usr/bin/env bash
# Rebuilds the pictures in pictures/ that the import tests read. Run by hand
# after changing this script; the tests use the committed outputs.
# Needs: imagemagick, libimage-exiftool-perl, libtiff-tools.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out="$here/pictures"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
im=/usr/bin/convert

# A portrait photo as it is to be seen: red at the top, blue at the bottom,
# grain over a light middle so the JPEG coder treats it as a photo.
"$im" -size 120x200 xc:'#e8e4da' -seed 7 -attenuate 0.4 +noise Gaussian \
    -fill '#d02020' -draw 'rectangle 0,0 119,39' \
    -fill '#2030c0' -draw 'rectangle 0,160 119,199' "$work/seen.png"

# A camera stores the sensor's pixels and records how to turn them
# (EXIF Orientation): 3 half a turn, 6 a quarter clockwise, 8 anticlockwise.
# Each carries a small preview in its EXIF block, as camera photos do.
photo() {  # name orientation rotation-of-the-stored-pixels
    "$im" "$work/seen.png" -rotate "$3" -strip -quality 88 "$work/$1"
    "$im" "$work/$1" -resize 24x24 -strip -quality 70 "$work/thumb-$1"
    exiftool -q -overwrite_original -n -Orientation="$2" -Make=VornTest "-ThumbnailImage<=$work/thumb-$1" "$work/$1"
    cp "$work/$1" "$out/$1"
}
photo photo-exif1.jpg 1 0
photo photo-exif3.jpg 3 180
photo photo-exif6.jpg 6 -90
photo photo-exif8.jpg 8 90

# A photo cut off while it was copied: the end of its data is missing (the
# preview's end-of-image marker is still in it).
size=$(stat -c %s "$out/photo-exif6.jpg")
head -c $((size * 6 / 10)) "$out/photo-exif6.jpg" >"$out/photo-truncated.jpg"

# The same photo as GIF, whole and cut off.
"$im" "$work/seen.png" -colors 64 "$out/photo.gif"
size=$(stat -c %s "$out/photo.gif")
head -c $((size * 6 / 10)) "$out/photo.gif" >"$out/photo-truncated.gif"

# A grey scan as PNG and as JPEG, and a drawing with a transparent margin.
"$im" "$work/seen.png" -colorspace Gray -depth 8 -define png:color-type=0 -define png:exclude-chunks=date,time "$out/scan-grey.png"
"$im" "$work/seen.png" -colorspace Gray -strip -quality 85 "$out/scan-grey.jpg"
"$im" -size 100x60 xc:none -fill '#208020' -draw 'rectangle 20,10 79,49' -define png:color-type=6 -define png:exclude-chunks=date,time "$out/stamp-alpha.png"

# A three-page scanner TIFF, each page of its own size and kind: bilevel
# Group 4, grey LZW and colour LZW, in that order.
"$im" -size 100x140 xc:white -fill black -draw 'rectangle 10,10 89,29' -monochrome \
    -compress Group4 "$work/p1.tif"
"$im" -size 140x100 xc:'#808080' -fill black -draw 'rectangle 10,10 129,29' -colorspace Gray -depth 8 \
    -compress LZW "$work/p2.tif"
"$im" -size 120x120 xc:'#20a020' -depth 8 -compress LZW "$work/p3.tif"
tiffcp "$work/p1.tif" "$work/p2.tif" "$work/p3.tif" "$out/scan-3pages.tif"

# The same TIFF with the coded data of its second page overwritten: the first
# page reads, the second does not.
offset=$(tiffinfo -s "$out/scan-3pages.tif" 2>/dev/null | grep -A1 'Strips:' | sed -n 5p | sed 's/.*\[ *\([0-9]*\),.*/\1/')
cp "$out/scan-3pages.tif" "$out/scan-3pages-broken.tif"
printf '\377%.0s' $(seq 16) | dd of="$out/scan-3pages-broken.tif" bs=1 seek=$((offset + 4)) conv=notrunc 2>/dev/null
