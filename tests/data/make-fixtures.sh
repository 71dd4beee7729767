#!/usr/bin/env bash
# Rebuilds the real-producer PDFs in this folder from the sources in src/.
# Run by hand after changing a source; the tests use the committed outputs.
# Needs: ghostscript, qpdf, groff, tex + dvips (with mktexpk for bitmap fonts),
# latex, pdflatex and pdftex with the Cyrillic LH and cm-super fonts (texlive-latex-base,
# texlive-lang-cyrillic, cm-super), tesseract with the rus and eng data, python3,
# DejaVu fonts, LibreOffice Writer (libreoffice-writer-nogui); apt-get and dpkg-deb
# for a page of a real document shipped by Debian.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src="$here/src"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# ghostscript: a letter in the standard Helvetica, not embedded.
ps2pdf -dEmbedAllFonts=false "$src/distilled.ps" "$here/gs-helvetica.pdf"

# ghostscript: account numbers in Times hidden by a black and a white box
# drawn after the text; a line of Times over a hatching of short grey strokes.
ps2pdf -dEmbedAllFonts=false "$src/covered.ps" "$here/gs-covered-number.pdf"
ps2pdf -dEmbedAllFonts=false "$src/stroke-pattern.ps" "$here/gs-stroke-pattern.pdf"

# Text set at "1 Tf" with the size in the text matrix, as some distillers write it
# (ghostscript folds the size into Tf, so this page is written by hand); qpdf
# writes the cross-reference table and stream lengths (exit code 3: warnings only).
qpdf --deterministic-id "$src/onetf.pdf.in" "$here/onetf-helvetica.pdf" 2>/dev/null || [ $? -eq 3 ]

# Two pages drawn by one content stream (a notice printed twice), written by
# hand as no producer at hand shares page content; qpdf as above.
qpdf --deterministic-id "$src/shared-contents.pdf.in" "$here/shared-contents.pdf" 2>/dev/null || [ $? -eq 3 ]

# A heading and a form without resources of its own drawing a line of text
# and a grey picture named in the page's resources, written by hand; qpdf as above.
qpdf --deterministic-id "$src/form-page-resources.pdf.in" "$here/form-page-resources.pdf" 2>/dev/null || [ $? -eq 3 ]

# Plain TeX with bitmap Type 3 fonts: an empty dvips map keeps the Type 1 fonts out.
(
  cd "$work"
  tex -interaction=batchmode "$src/ligatures.tex" >/dev/null
  dvips -q -u /dev/null -D 600 -o ligatures.ps ligatures.dvi
  ps2pdf ligatures.ps "$here/tex-type3.pdf"
)

# The same bitmap faces at other resolutions, magnifications and producers:
# justified paragraphs with a footnote at 300 and 1200 dpi through dvips, the
# ligature page magnified 1.44 and 0.8, the paragraphs by pdfTeX from its own
# pk fonts (an empty map keeps the Type 1 fonts out), and the Russian manual's
# first section in pdfTeX's bitmap LH fonts.
(
  cd "$work"
  tex -interaction=batchmode "$src/type3-page.tex" >/dev/null
  for dpi in 300 1200; do
    dvips -q -u /dev/null -D $dpi -o type3-$dpi.ps type3-page.dvi
    ps2pdf type3-$dpi.ps "$here/tex-type3-$dpi.pdf"
  done
  for mag in 1440 800; do
    tex -interaction=batchmode -jobname=mag$mag "\\magnification=$mag \\input $src/ligatures.tex" >/dev/null
    dvips -q -u /dev/null -D 600 -o mag$mag.ps mag$mag.dvi
    ps2pdf mag$mag.ps "$here/tex-type3-mag$mag.pdf"
  done
  SOURCE_DATE_EPOCH=1767225600 FORCE_SOURCE_DATE=1 pdftex -interaction=batchmode -jobname=pktype3 \
    "\\pdfoutput=1 \\pdfmapfile{} \\pdfpkresolution=600 \\input $src/type3-page.tex" >/dev/null
  cp pktype3.pdf "$here/pdftex-type3.pdf"
  cp "$src/manual.tex" .
  for run in 1 2; do
    SOURCE_DATE_EPOCH=1767225600 FORCE_SOURCE_DATE=1 pdflatex -interaction=batchmode -jobname=manual-lh \
      '\pdfmapfile{}\def\sections{1}\input{manual}' >/dev/null
  done
  cp manual-lh.pdf "$here/pdftex-lh-bitmap.pdf"
)

# Forty lines each of Type 3 text and of "1 Tf" text, for the extraction benchmark.
(
  cd "$work"
  tex -interaction=batchmode "$src/lines40.tex" >/dev/null
  dvips -q -u /dev/null -D 600 -o lines40.ps lines40.dvi
  ps2pdf lines40.ps "$here/tex-type3-40.pdf"
)
python3 - "$src/onetf.pdf.in" >"$work/onetf-40.pdf.in" <<'PY'
import sys
head = open(sys.argv[1]).read().split("stream\n")[0]
body = ["BT", "/F1 1 Tf"]
for i in range(40):
    body.append("10 0 0 10 72 %d Tm" % (760 - 17 * i))
    body.append("[(Line %d of the minutes: the W)80(ater)-20(ford office A)60(V)60(A filed it.)]TJ" % (i + 1))
body.append("ET")
print(head + "stream\n" + "\n".join(body) + "\nendstream\nendobj\ntrailer << /Size 7 /Root 1 0 R >>")
PY
qpdf --deterministic-id "$work/onetf-40.pdf.in" "$here/onetf-helvetica-40.pdf" 2>/dev/null || [ $? -eq 3 ]

# groff: a two-column report over several pages.
groff -ms -Tpdf "$src/columns.ms" >"$here/groff-columns.pdf"

# groff set for PostScript and distilled by ghostscript: a manual page whose
# words stand apart by pen moves and letter spacing rather than blanks.
groff -Tps -man "$src/account.man" >"$work/account.ps"
ps2pdf "$work/account.ps" "$here/groff-ps-manual.pdf"

# tesseract: a rendered Russian page and its invisible text layer over the picture.
python3 - "$src/scan-ru.txt" >"$work/scan-ru.ps" <<'PY'
import sys
lines = open(sys.argv[1], encoding="utf-8").read().splitlines()
out = ["%!PS", "<< /PageSize [420 270] >> setpagedevice",
       "(/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf) (r) file .loadfont",
       "/DejaVuSerif findfont 12.5 scalefont setfont"]
y = 240
for line in lines:
    out.append("28 %d moveto" % y)
    run = ""
    for ch in line:
        if ord(ch) < 128:
            run += "\\" + ch if ch in "()\\" else ch
            continue
        if run:
            out.append("(%s) show" % run)
            run = ""
        out.append("/uni%04X glyphshow" % ord(ch))
    if run:
        out.append("(%s) show" % run)
    y -= 24
out.append("showpage")
print("\n".join(out))
PY
gs -q -dNOSAFER -dBATCH -dNOPAUSE -sDEVICE=pngmono -r300 -sOutputFile="$work/scan-ru.png" "$work/scan-ru.ps"
tesseract "$work/scan-ru.png" "$work/scan-ru" --dpi 300 -l rus+eng pdf >/dev/null 2>&1
cp "$work/scan-ru.pdf" "$here/tesseract-ru.pdf"

# pdfLaTeX (texlive-latex-base): a page in Type 1 faces with ToUnicode maps,
# and a long registry manual (about 1.2 MB, 1,870 pages, object streams as
# pdfTeX writes them) for the growth of a saved edit and the removal benchmark.
(
  cd "$work"
  pdflatex -interaction=batchmode "$src/pdftex-page.tex" >/dev/null
  pdflatex -interaction=batchmode "$src/pdftex-registry.tex" >/dev/null
  cp pdftex-page.pdf pdftex-registry.pdf "$here/"
)

# A picture drawn by the image operator, and the same page turned.
ps2pdf -dEmbedAllFonts=false "$src/image.ps" "$here/gs-image.pdf"

# A heading over a form (pdfmark /BP ... /EP) that draws a caption and a
# picture from its own resources.
ps2pdf "$src/form-picture.ps" "$here/gs-form-picture.pdf"

# Turned pages and object streams, by qpdf.
qpdf --deterministic-id --rotate=+90 "$here/groff-columns.pdf" "$here/groff-columns-rot90.pdf"
qpdf --deterministic-id --rotate=+90 "$here/gs-helvetica.pdf" "$here/gs-helvetica-rot90.pdf"
qpdf --deterministic-id --rotate=+90 "$here/gs-image.pdf" "$here/gs-image-rot90.pdf"
# poppler's merge writes a /Size below its highest object number.
pdfunite "$here/gs-helvetica.pdf" "$here/groff-columns.pdf" "$here/pdfunite-merged.pdf"
qpdf --deterministic-id --object-streams=generate "$here/groff-columns.pdf" "$here/groff-columns-objstm.pdf"

# The TeX page again with dvips's Type 1 Computer Modern faces (CMBX10, CMTI10).
(
  cd "$work"
  tex -interaction=batchmode "$src/ligatures.tex" >/dev/null
  dvips -q -o ligatures-type1.ps ligatures.dvi
  ps2pdf ligatures-type1.ps "$here/tex-type1.pdf"
)

# pdfTeX: a Russian manual of four sections with bookmarks (bitmap LH fonts).
(
  cd "$work"
  cp "$src/manual.tex" .
  for run in 1 2; do pdflatex -interaction=batchmode '\def\sections{4}\input{manual}' >/dev/null; done
  cp manual.pdf "$here/pdftex-manual.pdf"
)

# The manual's second page turned by qpdf's /Rotate (a dense Russian page).
qpdf --deterministic-id --empty --pages "$here/pdftex-manual.pdf" 2 -- --rotate=+90 "$here/pdftex-manual-rot90.pdf"

# The manual encrypted by qpdf with an empty user password (opens without one);
# a fixed identifier, as deterministic ones are refused with encryption.
qpdf --static-id --encrypt "" owner 256 -- "$here/pdftex-manual.pdf" "$here/pdftex-manual-encrypted.pdf"

# A scanned page: a manual page rendered by ghostscript at 100 dpi, slightly
# turned, as a grey JPEG placed on an A5 page, with no text layer.
(
  cd "$work"
  gs -q -dBATCH -dNOPAUSE -sDEVICE=jpeggray -dJPEGQ=50 -r100 -dFirstPage=2 -dLastPage=2 -sOutputFile=scan.jpg \
    -c "<< /BeginPage { pop 0.35 rotate } >> setpagedevice" -f "$here/pdftex-manual.pdf"
  gs -q -dBATCH -dNOPAUSE -dNOSAFER -sDEVICE=pdfwrite -dDEVICEWIDTHPOINTS=420 -dDEVICEHEIGHTPOINTS=595 -dFIXEDMEDIA \
    -sOutputFile="$here/gs-scan.pdf" "$(gs -q -dNODISPLAY -dNOSAFER -c '(viewjpeg.ps) findlibfile pop pop == quit' | tr -d '()')" \
    -c "(scan.jpg) viewJPEG showpage"
)

# Russian LaTeX in T2A 8-bit fonts without ToUnicode: pdflatex with the
# cm-super Type 1 faces, whose encoding names its glyphs (afii10017...);
# the same through dvips with bitmap fonts, whose glyph names say nothing
# (ghostscript numbers them); and the named page turned by qpdf.
(
  cd "$work"
  { echo '\pdfgentounicode=0'; cat "$src/russian-t2a.tex"; } >t2a.tex
  pdflatex -interaction=batchmode t2a.tex >/dev/null
  cp t2a.pdf "$here/tex-t2a-names.pdf"
  latex -interaction=batchmode "$src/russian-t2a.tex" >/dev/null
  dvips -q -u /dev/null -D 600 -o t2a-bitmap.ps russian-t2a.dvi
  ps2pdf t2a-bitmap.ps "$here/tex-t2a-bitmap.pdf"
)
qpdf --deterministic-id --rotate=+90 "$here/tex-t2a-names.pdf" "$here/tex-t2a-names-rot90.pdf"

# LibreOffice: a Russian form whose heading asks for a font that is not
# installed (it is set in a substitute), a blue link inside a black line, and
# a right-aligned line ending near the page edge.
soffice -env:UserInstallation="file://$work/lo-profile" --headless --convert-to pdf --outdir "$work" \
  "$src/heading-missing-font.fodt" >/dev/null 2>&1
cp "$work/heading-missing-font.pdf" "$here/libreoffice-heading.pdf"

# LibreOffice: a Russian letter in Liberation Serif with right-aligned, centred
# and justified lines, a bold run and a table with a bold header; and the same
# letter passed through ghostscript, which gives its regular and bold faces
# alike the weight of a bold one (/StemV 137).
soffice -env:UserInstallation="file://$work/lo-profile" --headless --convert-to pdf --outdir "$work" \
  "$src/letter.fodt" >/dev/null 2>&1
cp "$work/letter.pdf" "$here/libreoffice-letter.pdf"
gs -q -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile="$here/gs-letter.pdf" "$here/libreoffice-letter.pdf"

# LibreOffice: justified Russian paragraphs without a first-line indent, their
# blanks widened well beyond the face's own, over a right-aligned line.
soffice -env:UserInstallation="file://$work/lo-profile" --headless --convert-to pdf --outdir "$work" \
  "$src/archive-rules.fodt" >/dev/null 2>&1
cp "$work/archive-rules.pdf" "$here/libreoffice-justified.pdf"

# pdfTeX: a twelve-page manual with outline entries, written in object streams.
(
  cd "$work"
  SOURCE_DATE_EPOCH=1767225600 FORCE_SOURCE_DATE=1 pdftex -interaction=batchmode "$src/objstm-manual.tex" >/dev/null
  cp objstm-manual.pdf "$here/pdftex-objstm-manual.pdf"
)

# LibreOffice: a one-page form with two text fields and a check box (Writer's
# HTML reader makes form controls of the inputs; the PDF export keeps them).
(
  cd "$work"
  soffice --headless -env:UserInstallation="file://$work/profile" --infilter="HTML (StarWriter)" \
    --convert-to pdf:writer_pdf_Export --outdir "$work" "$src/form.html" >/dev/null
  cp form.pdf "$here/libreoffice-form.pdf"
)

# A page as Acrobat Distiller writes text ("1 Tf", sizes in the matrix, kerned
# TJ cutting words, T*, Tw, Tc, Tz, a scaled CTM, Latin ligature glyphs),
# drawn by ghostscript and written again by the script with qpdf.
python3 "$src/distilled-1tf.py" "$src/distilled-1tf.txt" "$here/distiller-1tf.pdf"

# LibreOffice: a Russian contract set justified in three columns, whose wide
# word gaps cut some lines into pieces of a word or two.
soffice -env:UserInstallation="file://$work/lo-columns" --headless --convert-to pdf --outdir "$work" \
  "$src/three-columns.fodt" >/dev/null 2>&1
cp "$work/three-columns.pdf" "$here/libreoffice-three-columns.pdf"

# LibreOffice: centred headings in Liberation Mono and DejaVu Sans Mono, chapter headings whose
# number stands a tab away from the title, and two columns set at a tab stop
# ("Действительный ввод" and "Переводимое значение"); and the same page
# passed through ghostscript.
soffice -env:UserInstallation="file://$work/lo-profile" --headless --convert-to pdf --outdir "$work" \
  "$src/sections.fodt" >/dev/null 2>&1
cp "$work/sections.pdf" "$here/libreoffice-sections.pdf"
gs -q -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile="$here/gs-sections.pdf" "$here/libreoffice-sections.pdf"

# Scans of a manual page turned 0, 0.5 and 1.5 degrees, made from the manual above.
"$here/make-turned-scans.sh"

# The passwd(1) manual's Russian text as LibreOffice prints it, and a scan of it.
soffice -env:UserInstallation="file://$work/lo-passwd" --headless --infilter="HTML (StarWriter)" \
  --convert-to pdf --outdir "$work" "$src/passwd-page.html" >/dev/null 2>&1
cp "$work/passwd-page.pdf" "$here/libreoffice-passwd.pdf"
"$here/make-passwd-scan.sh"

# The damaged files kept from crash hunts are made from the fixtures above.
"$here/damaged/make-damaged.sh"

# ---- Unusual cross-references and object numbers, damaged manuals ----
# Generation-1 content streams, zeroed and shifted offsets, a number freed
# and reused, and byte-flipped manuals, all made from the fixtures above.
"$here/xref/make-xref.sh"

# ---- Sound files of unusual writing ----
# Deep page trees, a positive /P, an RC4 /Length qpdf reads past.
"$here/unusual/make-unusual.sh"

ls -l "$here"/*.pdf

# ---- Pages whose content leaves the drawing position moved ----
# Early pdfTeX moved the origin by "1 0 0 1 72 769.89 cm" and never moved it
# back: the report page and the manual's first two pages (contents with dot
# leaders, a dense page) written so; and the report page with a q left open
# after the move, which a wrap of the page's streams must close too.
python3 "$src/moved-origin.py" "$here/pdftex-page.pdf" "$here/pdftex-moved-origin.pdf"
python3 "$src/moved-origin.py" "$here/pdftex-manual.pdf" "$here/pdftex-manual-moved-origin.pdf" 1,2
python3 "$src/moved-origin.py" "$here/pdftex-page.pdf" "$here/pdftex-unclosed-q.pdf" "" 'MOVE q\n'
# --- Encrypted with crypt filters -------------------------------------------
# The two-page groff table with a text file attached, encrypted by qpdf with
# an empty user password, AES crypt filters and the metadata left clear.
qpdf --add-attachment "$src/scan-ru.txt" --key=opis.txt -- "$here/groff-columns.pdf" "$work/attached.pdf"
qpdf --static-id --encrypt "" owner 128 --use-aes=y --cleartext-metadata -- "$work/attached.pdf" \
  "$here/groff-crypt-filters.pdf"
# The same table with only its attachment encrypted (an RC4 crypt filter for
# embedded files, the pages' streams and strings left clear): once opened by
# the empty password, once by a password only the attachment needs.
qpdf --qdf --object-streams=disable --compress-streams=n --static-id "$work/attached.pdf" "$work/attached.qdf"
python3 "$src/encrypt-attachment.py" "$work/attached.qdf" "$work/encrypted.qdf"
fix-qdf "$work/encrypted.qdf" > "$here/groff-encrypted-attachment.pdf"
python3 "$src/encrypt-attachment.py" "$work/attached.qdf" "$work/password.qdf" attach
fix-qdf "$work/password.qdf" > "$here/groff-attachment-password.pdf"
# The attachment names its crypt filter itself (/Filter [/Crypt /FlateDecode]).
python3 "$src/encrypt-attachment.py" --crypt-filter "$work/attached.qdf" "$work/crypt-filter.qdf" attach
fix-qdf "$work/crypt-filter.qdf" > "$here/groff-attachment-crypt-filter.pdf"


# ---- A raised footnote mark ----
# Notes in Times set as a distiller sets them: a smaller mark raised half a
# point before its word, and a mark right after a word.
ps2pdf -dPDFSETTINGS=/prepress "$src/footnote.ps" "$here/gs-footnote.pdf"

# ---- A quotation slanted by its face's matrix ----
# Three lines of Times made oblique by a sheared font matrix, as LaTeX slants a
# serif face that has no italic, between upright lines.
ps2pdf -dPDFSETTINGS=/prepress "$src/slanted.ps" "$here/gs-slanted.pdf"
# XeLaTeX (texlive-xetex) in DejaVu Serif: a mark after a sentence and the
# footnote it calls, whose line starts with the mark right against its word.
(
  cd "$work"
  xelatex -interaction=batchmode "$src/xetex-footnote.tex" >/dev/null
  cp xetex-footnote.pdf "$here/"
)

# ---- Faces that give one letter two codes or hold variant glyphs ----
# pdfLaTeX (cm-super T2A) whose ToUnicode map reads a code no line draws as a
# letter another code draws; LuaLaTeX in Noto Serif (Identity-H) with small
# capitals and oldstyle figures; LaTeX through dvipdfmx in Computer Modern
# with small capitals, ligatures and a dotless i that its map reads as an i
# (a glyph list of its own, as an old dvipdfmx read the glyph names).
(
  cd "$work"
  SOURCE_DATE_EPOCH=1767225600 FORCE_SOURCE_DATE=1 pdflatex -interaction=batchmode "$src/pdftex-twocodes.tex" >/dev/null
  SOURCE_DATE_EPOCH=1767225600 FORCE_SOURCE_DATE=1 lualatex -interaction=batchmode "$src/luatex-smallcaps.tex" >/dev/null
  latex -interaction=batchmode "$src/dvipdfmx-variants.tex" >/dev/null
  mkdir -p glyphlist && cp "$src/dvipdfmx-glyphlist.txt" glyphlist/pdfglyphlist.txt
  TEXFONTMAPS=glyphlist: SOURCE_DATE_EPOCH=1767225600 dvipdfmx -q dvipdfmx-variants.dvi
  cp pdftex-twocodes.pdf luatex-smallcaps.pdf dvipdfmx-variants.pdf "$here/"
)

# ---- Underscores drawn as rules, a footnote mark below an edited line ----
# pdfLaTeX in T2A whose style draws "\_" as a rule with kerns; groff -ms for
# PostScript distilled by ghostscript, a raised footnote mark in the line
# below a line with seven words, and justified lines whose pairs of letters
# are kerned by squeezed blanks, and a memo whose "f" stands in the "fi"
# ligature on some lines; XeLaTeX with two notes whose lines start with
# their marks.
(
  cd "$work"
  SOURCE_DATE_EPOCH=1767225600 FORCE_SOURCE_DATE=1 pdflatex -interaction=batchmode "$src/pdftex-underscore.tex" >/dev/null
  groff -ms -Tps "$src/groff-footnote.ms" >groff-footnote.ps
  ps2pdf groff-footnote.ps groff-footnote.pdf
  groff -ms -Tps "$src/groff-kerned-blanks.ms" >groff-kerned-blanks.ps
  ps2pdf groff-kerned-blanks.ps groff-kerned-blanks.pdf
  groff -ms -Tps "$src/groff-memo.ms" >groff-memo.ps
  ps2pdf groff-memo.ps groff-memo.pdf
  xelatex -interaction=batchmode "$src/xetex-footnotes.tex" >/dev/null
  cp pdftex-underscore.pdf groff-footnote.pdf groff-kerned-blanks.pdf groff-memo.pdf xetex-footnotes.pdf "$here/"
)

# ---- A page of a real guide: an underscore glyph below its word ----
# Page 6 of the Russian TeX Live guide as Debian 12 ships it (texlive-lang-cyrillic
# 2022.20230122-1, pdfTeX 1.40.21, cm-super T2A with ToUnicode maps): the directory
# tree whose lines "x86_64-darwin ..." and "x86_64-linux ..." draw "_" wholly
# below the letters beside it. The page is kept as written.
(
  cd "$work"
  apt-get download texlive-lang-cyrillic=2022.20230122-1 >/dev/null
  dpkg-deb -x texlive-lang-cyrillic_2022.20230122-1_all.deb cyrillic
  qpdf --deterministic-id --empty --pages cyrillic/usr/share/doc/texlive-doc/texlive/texlive-ru/texlive-ru.pdf 6 -- \
    "$here/texlive-ru-tree.pdf"
)

# ---- Pages of real manuals whose lines are moved whole ----
# One page each, kept as written, of manuals Debian 12 ships: a GOST
# bibliography in cm-super T2A (MiKTeX pdfTeX 1.40.21, commas and digits
# between faces), the citations of its ugost2008n example (a paragraph of
# linked names, each shown apart, set justified in cm-super faces whose
# widths are fractions of a thousandth), the R FAQ's contents (Texinfo, pdfTeX 1.40.24), a groff
# page distilled by AFPL Ghostscript 8.53, the MetaPost manual (pdfTeX
# 1.40.21), a pdfTeX 1.40.7 note in Russian, and the Ukrainian hyphenation
# rules with stress accents drawn above their vowels, and a slide distilled
# by AFPL Ghostscript 6.50 whose bullets are ZapfDingbats without widths, and
# a list of figures whose leader dots stand lower than their face's middle.
(
  cd "$work"
  apt-get download texlive-bibtex-extra=2022.20230122-4 texlive-metapost-doc=2022.20230122-3 \
    r-doc-pdf=4.2.2.20221110-2 texlive-lang-cyrillic=2022.20230122-1 >/dev/null
  for deb in texlive-bibtex-extra_*.deb texlive-metapost-doc_*.deb r-doc-pdf_*.deb texlive-lang-cyrillic_*.deb; do
    dpkg-deb -x "$deb" manuals
  done
  doc=manuals/usr/share/doc/texlive-doc
  page() { qpdf --deterministic-id --empty --pages "$1" "$2" -- "$here/$3" || [ $? -eq 3 ]; }
  page "$doc/bibtex/gost/examples/cp1251/gost2008.pdf" 1 gost-t2a-bibliography.pdf
  page "$doc/bibtex/gost/examples/utf8/ugost2008n.pdf" 1 gost-ugost2008n-cites.pdf
  page manuals/usr/share/doc/r-doc-pdf/manual/R-FAQ.pdf 2 texinfo-r-faq.pdf
  page "$doc/metapost/base/grdemo-doc.pdf" 1 gs-grdemo.pdf
  page "$doc/metapost/base/mpman.pdf" 2 metapost-manual.pdf
  page "$doc/latex/lcyw/lcyw.pdf" 2 pdftex-lcyw.pdf
  page "$doc/generic/ukrhyph/rules60.pdf" 2 pdftex-ukrainian-rules.pdf
  page "$doc/metapost/slideshow/sshowex2.pdf" 2 gs-zapfdingbats.pdf
  page "$doc/metapost/expressg/aamfigs.pdf" 1 pdftex-leader-dots.pdf
)

# ---- A page cut to a crop box far inside its media box; standard faces without widths ----
# The MusiXTeX tablature sample of latex4musicians as Debian 12 ships it
# (texlive-music 2022.20230122-4, dvips through GPL Ghostscript 9.26): a
# 304 x 51 pt crop box at (28, 745) of an A4 media box. Kept as written.
(
  cd "$work"
  apt-get download texlive-music=2022.20230122-4 >/dev/null
  dpkg-deb -x texlive-music_2022.20230122-4_all.deb music
  cp music/usr/share/doc/texlive-doc/latex/latex4musicians/sample-musixtex-tab.pdf "$here/gs-musixtex-tab-cropped.pdf"
  # Page 1 of the prepmx manual (GPL Ghostscript 9.07): Times, Times-Italic
  # and Times-Bold not embedded and without widths, under encodings of
  # their own on StandardEncoding ("`" and "'" are quotes, 140 is "fi").
  qpdf --deterministic-id --empty --pages music/usr/share/doc/texlive-doc/generic/m-tx/prepmx.pdf 1 -- \
    "$here/gs-prepmx-quotes.pdf"
)

# ---- Pages of real guides set in Type 3 faces by Ghostscript, a ruler, a cover ----
# One page each, kept as written, of guides Debian 12 ships: the greektex guide
# (texlive-lang-greek, AFPL Ghostscript 6.50), whose Greek faces draw each letter
# with no advance before a blank of its own, at a size of 1 under a text matrix
# of 0.12, and whose glyph codes read as control characters; the old Greek
# hyphenation test of elhyphen (Aladdin Ghostscript 5.50, a size of 0.24); the
# Bengali example of the bengali package (texlive-lang-other, GPL Ghostscript
# 9.0, faces set at 0.12 whose own matrix draws them at 12 pt); and both pages
# of the IEEEtran test flow (texlive-publishers-doc, dvips through AFPL
# Ghostscript 8.54), whose rulers' ticks stand between labels far apart; and the
# cover of seuthesix's thesis sample (XeTeX 0.99992), its lines over a page-high
# picture.
(
  cd "$work"
  apt-get download texlive-lang-greek=2022.20230122-1 texlive-lang-other=2022.20230122-1 \
    texlive-publishers-doc=2022.20230122-4 >/dev/null
  for deb in texlive-lang-greek_*.deb texlive-lang-other_*.deb texlive-publishers-doc_*.deb; do
    dpkg-deb -x "$deb" type3
  done
  doc=type3/usr/share/doc/texlive-doc
  page() { qpdf --deterministic-id --empty --pages "$1" "$2" -- "$here/$3" || [ $? -eq 3 ]; }
  page "$doc/fonts/greektex/greektexdoc.pdf" 3 gs-greek-guide.pdf
  page "$doc/generic/elhyphen/anc-test.pdf" 10 gs-greek-hyphenation.pdf
  page "$doc/fonts/bengali/example.pdf" 1 gs-bengali-example.pdf
  page "$doc/latex/ieeetran/testflow_ctl_A4.pdf" 1 gs-ieeetran-testflow-rulers.pdf
  page "$doc/latex/ieeetran/testflow_ctl_A4.pdf" 2 gs-ieeetran-testflow-title.pdf
  page "$doc/latex/seuthesix/sample_phd.pdf" 1 xetex-thesis-cover.pdf
)

# ---- A real form: the Russian job banner of CUPS ----
# The banner template Debian 12 ships in cups-filters 1.28.17-3+deb12u2, written
# by LibreOffice 4.0 ("Имя задания:", "Хост отправитель:" ...). Kept as written.
(
  cd "$work"
  apt-get download cups-filters=1.28.17-3+deb12u2 >/dev/null
  dpkg-deb -x cups-filters_1.28.17-3+deb12u2_amd64.deb cups
  cp cups/usr/share/cups/data/form_russian.pdf "$here/cups-banner-form-ru.pdf"
)

# ---- The title page of a real manual: a centred title over the foot ----
# Page 1 of the GAP reference manual as Debian 12 ships it (gap-doc 4.12.1-2,
# pdfTeX 1.40.24): "GAP - Reference Manual" centred at 36 points, "Release
# 4.12.1, 2022-10-20" below it, and the group's address at the foot, all in
# one text object. Kept as written.
(
  cd "$work"
  apt-get download gap-doc=4.12.1-2 >/dev/null
  dpkg-deb -x gap-doc_4.12.1-2_all.deb gap
  qpdf --deterministic-id --empty --pages gap/usr/share/gap/doc/ref/manual.pdf 1 -- "$here/pdftex-gap-title.pdf"
)

# ---- Forms drawing with the page's resources, and a page of ReportLab ----
# qpdf's own test files (Debian 12's qpdf 11.3.0-1+deb12u1 source, its
# qtest/qpdf folder, through a private deb-src list): forms with no or only
# some resources of their own, and qpdf's rewrites of them, kept as written.
# Page 12 of the ReportLab user guide (python-reportlab-doc 3.6.12-1+deb12u1,
# ReportLab PDF Library), its lines selecting fonts they never show with
# ("BT /F1 12 Tf 14.4 TL ET"), cut out with its resources pruned by qpdf.
(
  cd "$work"
  mkdir -p apt/lists/partial
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: %s\n' \
    /usr/share/keyrings/debian-archive-keyring.gpg >apt/src.sources
  apt=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$work/apt" -o "Dir::State::Lists=$work/apt/lists")
  apt-get "${apt[@]}" update >/dev/null
  apt-get "${apt[@]}" source --download-only qpdf=11.3.0-1+deb12u1 >/dev/null
  tar xzf qpdf_11.3.0.orig.tar.gz --wildcards '*/qpdf/qtest/qpdf/form-xobjects-*resources*'
  for f in qpdf-11.3.0/qpdf/qtest/qpdf/form-xobjects-*resources*.pdf; do
    cp "$f" "$here/qpdf-$(basename "$f")"
  done
  apt-get download python-reportlab-doc=3.6.12-1+deb12u1 >/dev/null
  dpkg-deb -x python-reportlab-doc_3.6.12-1+deb12u1_all.deb reportlab
  qpdf --deterministic-id --remove-unreferenced-resources=yes --empty \
    --pages reportlab/usr/share/doc/python-reportlab-doc/reportlab-userguide.pdf 12 -- "$here/reportlab-guide.pdf"
)

# ---- Lines laid over each other ----
# A red one-line stamp "STAMP COPY 2026" (Helvetica-Bold 28, written by hand)
# laid by qpdf over the title of page 1 of the GOST bundle's ugost2008s example
# as Debian 12 ships it (texlive-lang-cyrillic 2022.20230122-1, MiKTeX pdfTeX
# 1.40.21); and pages of qpdf's own overlay and underlay tests, from its
# Debian 12 source (qpdf 11.3.0-1+deb12u1, qpdf/qtest/qpdf): page 1 of uo-7.pdf
# ("Page 1 - red" over "Original page 0") and of job-json-underlay-overlay.pdf,
# and minimal.pdf ("Potato") laid over overlay-copy-annotations-p1.pdf where
# its "Page 1 - red" stands, in the same face and size.
(
  cd "$work"
  apt-get download texlive-lang-cyrillic=2022.20230122-1 >/dev/null
  dpkg-deb -x texlive-lang-cyrillic_2022.20230122-1_all.deb cyrillic
  qpdf --deterministic-id "$src/stamp.pdf.in" stamp.pdf 2>/dev/null || [ $? -eq 3 ]
  qpdf --deterministic-id --empty --pages \
    cyrillic/usr/share/doc/texlive-doc/bibtex/gost/examples/utf8/ugost2008s.pdf 1 -- title.pdf
  qpdf --deterministic-id title.pdf --overlay stamp.pdf -- "$here/gost-title-stamped.pdf"
  # The same stamp laid over page 2 of the French l2tabu (texlive-lang-french
  # 2022.20230122-1, pdfTeX 1.40.14): qpdf draws the page's own content as a
  # form of its own, then the stamp.
  apt-get download texlive-lang-french=2022.20230122-1 >/dev/null
  dpkg-deb -x texlive-lang-french_2022.20230122-1_all.deb french
  qpdf --deterministic-id --empty --pages \
    french/usr/share/doc/texlive-doc/latex/l2tabu-french/l2tabufr.pdf 2 -- l2tabu.pdf
  qpdf --deterministic-id l2tabu.pdf --overlay stamp.pdf -- "$here/pdftex-l2tabu-stamped.pdf"
  # Page 6 of the churchslavonic package's Russian manual (XeTeX 0.99996):
  # words with marks over marks and titlos.
  qpdf --deterministic-id --empty --pages \
    cyrillic/usr/share/doc/texlive-doc/latex/churchslavonic/churchslavonic-ru.pdf 6 -- "$here/xetex-churchslavonic-ru.pdf"
  # qpdf's source as fetched for the forms above.
  tests=qpdf-11.3.0/qpdf/qtest/qpdf
  tar xzf qpdf_11.3.0.orig.tar.gz "$tests"
  qpdf --deterministic-id --empty --pages "$tests/uo-7.pdf" 1 -- "$here/qpdf-underlay-uo7.pdf"
  qpdf --deterministic-id --empty --pages "$tests/job-json-underlay-overlay.pdf" 1 -- "$here/qpdf-job-underlay-overlay.pdf"
  qpdf --deterministic-id "$tests/overlay-copy-annotations-p1.pdf" --overlay "$tests/minimal.pdf" -- \
    "$here/qpdf-potato-overlay.pdf"
)

# ---- A manual whose pages share their graphics states ----
# The tikz-lake-fig manual as Debian 12 ships it (texlive-pictures-doc
# 2022.20230122-3, pdfTeX 1.40.21, beamer and pgf): its twelve pages draw
# with one /ExtGState, /Pattern and /ColorSpace object each, the lakes at 25
# and 45 % opacity. Kept whole: a page cut lays the page tree out anew, one
# level deep, and pdfium then copies a shared dictionary it writes rather
# than writing it in place, as it does in the manual as shipped.
(
  cd "$work"
  apt-get download texlive-pictures-doc=2022.20230122-3 >/dev/null
  dpkg-deb -x texlive-pictures-doc_2022.20230122-3_all.deb pictures
  cp pictures/usr/share/doc/texlive-doc/latex/tikz-lake-fig/tikz-lake-fig-doc.pdf "$here/pdftex-tikz-shared-states.pdf"
)

# ---- Lines whose words a correction keeps as drawn ----
# One page each, kept as written, of manuals Debian 12 ships, set by pdfTeX:
# babel's Czech manual, page 4 (pdfTeX 1.40.13: the LaTeX logo's raised and
# lowered letters, a typewriter "\v", a caron drawn apart over its "o");
# the Italian amsthm guide, page 2 (accents a face draws apart); algxpar's
# manual, page 5 (angle brackets of a math face around an italic word);
# babel's German manual, page 2 (an umlaut in such brackets); and
# quantumarticle's, page 2 (a sentence's wider blank in a justified line).
(
  cd "$work"
  apt-get download texlive-lang-czechslovak=2022.20230122-1 texlive-lang-italian=2022.20230122-1 \
    texlive-lang-german=2022.20230122-1 texlive-science-doc=2022.20230122-4 \
    texlive-publishers-doc=2022.20230122-4 >/dev/null
  for deb in texlive-lang-czechslovak_*.deb texlive-lang-italian_*.deb texlive-lang-german_*.deb \
    texlive-science-doc_*.deb texlive-publishers-doc_*.deb; do
    dpkg-deb -x "$deb" kept
  done
  doc=kept/usr/share/doc/texlive-doc
  page() { qpdf --deterministic-id --empty --pages "$1" "$2" -- "$here/$3" || [ $? -eq 3 ]; }
  page "$doc/generic/babel-czech/czech.pdf" 4 pdftex-babel-czech.pdf
  page "$doc/latex/amsthdoc-it/amsthdoc_it.pdf" 2 pdftex-amsthdoc-it.pdf
  page "$doc/latex/algxpar/algxpar.pdf" 5 pdftex-algxpar.pdf
  page "$doc/generic/babel-german/ngermanb.pdf" 2 pdftex-ngermanb.pdf
  page "$doc/latex/quantumarticle/quantumarticle.pdf" 2 pdftex-quantumarticle.pdf
)

# ---- Comments without appearances of their own ----
# The pdfcomment package's dvipdfmx example as Debian 12 ships it
# (texlive-latex-extra-doc 2022.20230122-4, dvipdfm(x)): three pages of text,
# line, square, circle, polygon, highlight and form annotations, none with an
# /AP of its own, which a reader draws by making one. Kept whole.
(
  cd "$work"
  apt-get download texlive-latex-extra-doc=2022.20230122-4 >/dev/null
  dpkg-deb -x texlive-latex-extra-doc_2022.20230122-4_all.deb extra
  cp extra/usr/share/doc/texlive-doc/latex/pdfcomment/example_latex_dvipdfmx.pdf "$here/dvipdfmx-comments.pdf"
)

# ---- Pages put in from another document ----
# qpdf's own test files, from the same source, kept as written: a sticky note
# (a Text annotation whose /Popup names a Popup annotation naming it back as
# /Parent), with direct appearances and as qpdf writes both again; a page of
# form widgets; and the output of its attach-file example, a page carrying a
# FileAttachment annotation.
(
  cd "$work"
  tests=qpdf-11.3.0/qpdf/qtest/qpdf
  tar xzf qpdf_11.3.0.orig.tar.gz "$tests" qpdf-11.3.0/examples/qtest/attach-file
  for f in comment-annotation comment-annotation-direct comment-annotation-out appearances-a; do
    cp "$tests/$f.pdf" "$here/qpdf-$f.pdf"
  done
  cp qpdf-11.3.0/examples/qtest/attach-file/output.pdf "$here/qpdf-attach-file.pdf"
)
# Layers a file turns off: the first example of the ocg-p package as Debian 12
# ships it (texlive-latex-extra-doc 2022.20230122-4, MiKTeX pdfTeX 1.40.12),
# whose second layer is off by default, kept as written; and a page written
# by hand, qpdf as above: a line and a form in layers turned off, a line in
# one left on, in layers off by name and off by the base state.
(
  cd "$work"
  apt-get download texlive-latex-extra-doc=2022.20230122-4 >/dev/null
  dpkg-deb -x texlive-latex-extra-doc_2022.20230122-4_all.deb extra
  cp extra/usr/share/doc/texlive-doc/latex/ocg-p/examples/ocg-p_example_1.pdf "$here/pdftex-ocg-layers.pdf"
)
qpdf --deterministic-id "$src/layers.pdf.in" "$here/layers-off.pdf" 2>/dev/null || [ $? -eq 3 ]
# The same page whose layers are off by the configuration's base state, the
# one left on named as on.
sed 's#/OFF \[7 0 R 8 0 R\]#/BaseState /OFF /ON [9 0 R]#' "$src/layers.pdf.in" >"$work/layers-base-off.pdf.in"
qpdf --deterministic-id "$work/layers-base-off.pdf.in" "$here/layers-base-off.pdf" 2>/dev/null || [ $? -eq 3 ]

# ---- Typed words corrected again in a later session ----
# Page 11 of the german package's description as Debian 12 ships it
# (texlive-lang-german 2022.20230122-1: dvips 5.95a through Acrobat Distiller
# 7.0.5, CM faces as Type 1C) and page 2 of the French l2tabu
# (texlive-lang-french 2022.20230122-1, pdfTeX 1.40.14, URW Palladio): their
# justified serif lines get a word typed, then another corrected the next day.
(
  cd "$work"
  apt-get download texlive-lang-german=2022.20230122-1 texlive-lang-french=2022.20230122-1 >/dev/null
  dpkg-deb -x texlive-lang-german_2022.20230122-1_all.deb german
  dpkg-deb -x texlive-lang-french_2022.20230122-1_all.deb french
  qpdf --deterministic-id --empty --pages german/usr/share/doc/texlive-doc/generic/german/gerdoc.pdf 11 -- \
    "$here/distiller-gerdoc.pdf"
  qpdf --deterministic-id --empty --pages french/usr/share/doc/texlive-doc/latex/l2tabu-french/l2tabufr.pdf 2 -- \
    "$here/pdftex-l2tabu.pdf"
)

# ---- Lines corrected beside text read apart from them ----
# One page each of manuals Debian 12 ships: biblatex-nature's, page 2
# (texlive-bibtex-extra 2022.20230122-4, pdfTeX), a justified reference of
# italic words, where a longer word typed before "boron" leaves a gap that
# readers no longer read as one; jnuexam's empty exam sheet, page 4
# (texlive-publishers-doc 2022.20230122-4, xdvipdfmx), a formula whose
# indices under exponents and whose rest readers take for lines of their own.
(
  cd "$work"
  apt-get download texlive-bibtex-extra=2022.20230122-4 texlive-publishers-doc=2022.20230122-4 >/dev/null
  dpkg-deb -x texlive-bibtex-extra_2022.20230122-4_all.deb apart
  dpkg-deb -x texlive-publishers-doc_2022.20230122-4_all.deb apart
  doc=apart/usr/share/doc/texlive-doc
  qpdf --deterministic-id --empty --pages "$doc/latex/biblatex-nature/biblatex-nature.pdf" 2 -- \
    "$here/pdftex-biblatex-nature.pdf"
  qpdf --deterministic-id --empty --pages "$doc/latex/jnuexam/exam-a-empty.pdf" 4 -- "$here/xetex-jnuexam.pdf" ||
    [ $? -eq 3 ]
)

# ---- Lines under a watermark drawn as text ----
# letgut's manual, page 2, and its code listing, page 80, as Debian 12 ships
# them (texlive-lang-french 2022.20230122-1, LuaTeX 1.15): a grey "Brouillon"
# set across the page at an angle, over the lines of text it crosses.
(
  cd "$work"
  apt-get download texlive-lang-french=2022.20230122-1 >/dev/null
  dpkg-deb -x texlive-lang-french_2022.20230122-1_all.deb watermark
  doc=watermark/usr/share/doc/texlive-doc/lualatex/letgut
  qpdf --deterministic-id --empty --pages "$doc/letgut.pdf" 2 -- "$here/luatex-letgut.pdf"
  qpdf --deterministic-id --empty --pages "$doc/letgut-code.pdf" 80 -- "$here/luatex-letgut-code.pdf"
)

# ---- A title whose umlaut is a glyph of its own ----
# musixtex's German sheet of notation mistakes, page 1, as Debian 12 ships it
# (texlive-music 2022.20230122-4, Ghostscript 8.54): "Irrt¨umer" set with
# the dieresis drawn apart between "Irrt" and "umer".
(
  cd "$work"
  apt-get download texlive-music=2022.20230122-4 >/dev/null
  dpkg-deb -x texlive-music_2022.20230122-4_all.deb sheet
  qpdf --deterministic-id --empty --pages sheet/usr/share/doc/texlive-doc/generic/musixtex/notationMistakes/sottiger.pdf 1 -- \
    "$here/gs-musixtex-sottiger.pdf" || [ $? -eq 3 ]
)
