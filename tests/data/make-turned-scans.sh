#!/usr/bin/env bash
# Scans of a Russian manual page for the editing tests: page 2 of
# pdftex-manual.pdf printed at 300 dpi by ghostscript, turned clockwise by 0,
# 0.5, 1.0 and 1.5 degrees as a sheet lies on a scanner, its upper half only
# (headings and two paragraphs), speckled, and stored as a grey JPEG on a
# page of its own size, with no text layer. The same for the sections page.
# Needs: ghostscript, ImageMagick (convert), fontconfig, Liberation Serif (fonts-liberation2) and apt-get.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
viewjpeg=$(gs -q -dNODISPLAY -dNOSAFER -c '(viewjpeg.ps) findlibfile pop pop == quit' | tr -d '()')

# The upper half of the sheet, 1748 x 1210 pixels from 280 pixels below its
# top (419.52 x 290.4 points), ends in the white between two paragraphs; it is
# turned about its centre, so nothing is cut off.
gs -q -dBATCH -dNOPAUSE -sDEVICE=pnggray -r300 -dFirstPage=2 -dLastPage=2 -sOutputFile="$work/page.png" \
  "$here/pdftex-manual.pdf"
convert "$work/page.png" -crop 1748x1210+0+280 +repage "$work/half.png"
for turn in 0 0.5 1.0 1.5; do
  convert "$work/half.png" -background white -rotate "$turn" -gravity center -extent 1748x1210 \
    -seed 44 -attenuate 0.3 +noise Gaussian -quality 40 "$work/scan.jpg"
  gs -q -dBATCH -dNOPAUSE -dNOSAFER -sDEVICE=pdfwrite -dDEVICEWIDTHPOINTS=419.52 -dDEVICEHEIGHTPOINTS=290.4 \
    -dFIXEDMEDIA -sOutputFile="$here/gs-scan-turned-$turn.pdf" "$viewjpeg" -c "($work/scan.jpg) viewJPEG showpage"
done

# The sections page (a centred heading, chapter numbers a tab from their
# titles, a two-column table) printed whole at 300 dpi and turned by 1.0 degree.
gs -q -dBATCH -dNOPAUSE -sDEVICE=pnggray -r300 -sOutputFile="$work/sections.png" "$here/libreoffice-sections.pdf"
convert "$work/sections.png" -background white -rotate 1.0 -gravity center -extent 2480x1748 \
  -seed 44 -attenuate 0.3 +noise Gaussian -quality 40 "$work/sections.jpg"
gs -q -dBATCH -dNOPAUSE -dNOSAFER -sDEVICE=pdfwrite -dDEVICEWIDTHPOINTS=595.2 -dDEVICEHEIGHTPOINTS=419.52 \
  -dFIXEDMEDIA -sOutputFile="$here/sections-scan-turned-1.0.pdf" "$viewjpeg" -c "($work/sections.jpg) viewJPEG showpage"
# A typed note (three lines of Liberation Serif at 11 pt, a one-letter word
# close after a longer one) printed at 300 dpi and turned 0.5, 1.0 and 1.5
# degrees, on a strip of paper 2 inches high.
convert -size 1748x600 xc:white -density 300 -font "$(fc-match -f '%{file}' 'Liberation Serif:style=Regular')" \
  -pointsize 11 -fill black \
  -annotate +170+180 'Порядок приёмки товара по количеству и качеству' \
  -annotate +170+240 'Правила описаны в разделе 4 настоящего договора, а сроки' \
  -annotate +170+300 'оплаты указаны в приложении к нему.' "$work/typed.png"
for turn in 0.5 1.0 1.5; do
  convert "$work/typed.png" -background white -rotate "$turn" -gravity center -extent 1748x600 \
    -seed 44 -attenuate 0.3 +noise Gaussian -quality 40 "$work/typed.jpg"
  gs -q -dBATCH -dNOPAUSE -dNOSAFER -sDEVICE=pdfwrite -dDEVICEWIDTHPOINTS=419.52 -dDEVICEHEIGHTPOINTS=144 \
    -dFIXEDMEDIA -sOutputFile="$here/typed-scan-turned-$turn.pdf" "$viewjpeg" -c "($work/typed.jpg) viewJPEG showpage"
done
# Page 3 of the Russian TeX Live guide (texlive-lang-cyrillic 2022.20230122-1,
# pdfTeX, cm-super; "Mac OS X" set with thin spaces) printed whole at 300 dpi,
# upright, blurred, speckled and stored as a grey JPEG.
(
  cd "$work"
  apt-get download texlive-lang-cyrillic=2022.20230122-1 >/dev/null
  dpkg-deb -x texlive-lang-cyrillic_2022.20230122-1_all.deb cyrillic
  gs -q -dBATCH -dNOPAUSE -sDEVICE=pnggray -r300 -dFirstPage=3 -dLastPage=3 -sOutputFile=guide.png \
    cyrillic/usr/share/doc/texlive-doc/texlive/texlive-ru/texlive-ru.pdf
  convert guide.png -background white -rotate 0 -gravity center -extent 2480x3508 -blur 0x0.7 \
    -seed 44 -attenuate 0.3 +noise Gaussian -quality 30 guide.jpg
  gs -q -dBATCH -dNOPAUSE -dNOSAFER -sDEVICE=pdfwrite -dDEVICEWIDTHPOINTS=595.2 -dDEVICEHEIGHTPOINTS=841.92 \
    -dFIXEDMEDIA -sOutputFile="$here/guide-scan-turned-0.pdf" "$viewjpeg" -c "(guide.jpg) viewJPEG showpage"
)
ls -l "$here"/gs-scan-turned-*.pdf "$here"/guide-scan-turned-0.pdf "$here"/sections-scan-turned-1.0.pdf "$here"/typed-scan-turned-*.pdf
