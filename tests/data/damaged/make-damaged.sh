#!/usr/bin/env bash
# Rebuilds the damaged PDFs in this folder from the real-producer fixtures one
# level up. Each one crashed the program in a page operation before files
# were checked and repaired on opening; they are kept for good.
# Needs: python3.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# name, fixture, then edits: (offset, byte value) or (pattern, replacement) for
# the first match of a regular expression.
python3 - "$here" <<'PY'
import os, re, sys
here = sys.argv[1]
data = os.path.dirname(here)
cases = [
    # groff's object-stream build, bytes of its compressed streams changed:
    # it opens and renders, then moving, inserting or duplicating a page crashed.
    ("groff-flipped-a.pdf", "groff-columns-objstm.pdf", [(2478, 118), (3822, 6)]),
    ("groff-flipped-b.pdf", "groff-columns-objstm.pdf", [(451, 77), (2785, 65)]),
    ("groff-flipped-c.pdf", "groff-columns-objstm.pdf", [(1542, 203), (7663, 112)]),
    ("groff-flipped-d.pdf", "groff-columns-objstm.pdf", [(1673, 116), (7701, 100)]),
    ("groff-flipped-e.pdf", "groff-columns-objstm.pdf", [(812, 113), (968, 63), (3657, 31), (9455, 203)]),
    # The object stream's object count made far too small.
    ("groff-objstm-count.pdf", "groff-columns-objstm.pdf", [(rb"/N \d+", b"/N 2")]),
    # groff's report with a byte in the middle of the first page's compressed
    # content changed: the file is sound, the page draws only in part.
    ("groff-content-flipped.pdf", "groff-columns.pdf", [(182 + 1800, 0)]),
    # pdfTeX's manual with an object stream's header made absurd, every
    # offset kept (pdfTeX pads the length with spaces).
    ("pdftex-objstm-header.pdf", "pdftex-objstm-manual.pdf",
     [(rb"/N 80\n/First 602\n/Length 1419      ", b"/N 2147483647 /First -1/Length 1419")]),
    # groff's report whose trailer lost its /Size, or has it misspelt: qpdf
    # and pdfium repair it, and its repaired copy once had no /Size either.
    ("groff-trailer-nosize.pdf", "groff-columns.pdf", [(rb"/Size \d+\n", b"")]),
    ("groff-trailer-siqe.pdf", "groff-columns.pdf", [(rb"/Size \d+", b"/Siqe 7")]),
]
for name, fixture, edits in cases:
    b = bytearray(open(os.path.join(data, fixture), "rb").read())
    for what, value in edits:
        if isinstance(what, bytes):
            b = bytearray(re.sub(what, value, bytes(b), count=1))
        else:
            b[what] = value
    open(os.path.join(here, name), "wb").write(bytes(b))
PY
