#!/usr/bin/env bash
# A scan of a Russian page nobody here wrote: the passwd(1) manual's text as
# LibreOffice prints it (libreoffice-passwd.pdf, made from src/passwd-page.html
# by make-fixtures.sh), printed at 300 dpi, the lines from "…сравнивается с
# первым и для" to
# "…при следующем входе в систему", speckled and stored as a grey JPEG (q60)
# on a page of its own size. Its recognised boxes of one-letter words and
# digits ("от 6", "работы с") nearly touch their neighbours'.
# Needs: ghostscript, ImageMagick (convert).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
viewjpeg=$(gs -q -dNODISPLAY -dNOSAFER -c '(viewjpeg.ps) findlibfile pop pop == quit' | tr -d '()')

# 2480 x 1060 pixels from 560 below the top, placed as a picture without a
# recorded resolution comes in (150 dpi): 1190.4 x 508.8 points.
gs -q -dBATCH -dNOPAUSE -sDEVICE=pnggray -r300 -sOutputFile="$work/page.png" "$here/libreoffice-passwd.pdf"
convert "$work/page.png" -crop 2480x1060+0+560 +repage -seed 47 -attenuate 0.3 +noise Gaussian -quality 60 \
  "$work/scan.jpg"
gs -q -dBATCH -dNOPAUSE -dNOSAFER -sDEVICE=pdfwrite -dDEVICEWIDTHPOINTS=1190.4 -dDEVICEHEIGHTPOINTS=508.8 \
  -dFIXEDMEDIA -sOutputFile="$here/passwd-scan.pdf" "$viewjpeg" -c "($work/scan.jpg) viewJPEG showpage"
ls -l "$here/passwd-scan.pdf"
