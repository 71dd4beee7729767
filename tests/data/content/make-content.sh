#!/usr/bin/env bash
# Rebuilds the PDFs in this folder from the groff report one level up: sound
# pages whose content is written in unusual but valid ways. Random bytes come
# from fixed seeds, so the outputs are the same on every run.
# Needs: python3, qpdf.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
data=$(dirname "$here")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

qpdf --qdf --object-streams=disable --static-id "$data/groff-columns.pdf" "$work/groff.qdf"

python3 - "$work/groff.qdf" "$work" <<'PY'
import os, random, sys
qdf, work = sys.argv[1:3]
source = open(qdf, "rb").read()


def stream(body, dictionary=b""):
    return b"<< %s /Length %d >>\nstream\n%s\nendstream" % (dictionary, len(body), body)


def with_objects(objects, resources, drawn):
    """The report with objects added, resources added to the page tree's and
    each page's contents followed by the stream drawn[page]."""
    b = source
    b = b.replace(b"  /Resources <<\n", b"  /Resources <<\n" + resources, 1)
    for page, number in drawn.items():
        first = b"    %d 0 R\n  ]" % page
        assert first in b
        b = b.replace(first, b"    %d 0 R\n    %d 0 R\n  ]" % (page, number), 1)
    added = b"".join(b"%d 0 obj\n%s\nendobj\n\n" % (n, body) for n, body in objects)
    at = b.rindex(b"\nxref\n") + 1
    return b[:at] + added + b[at:]


def image_bytes(seed, size):
    """Random bytes with what looks like content planted among them: the
    operator EI alone and between spaces, delimiters, a comment, an
    unbalanced string. Each planted EI is followed by bytes that read as no
    content, as in any real picture."""
    rng = random.Random(seed)
    data = bytearray(rng.randrange(256) for _ in range(size))
    planted = [b"\nEI\n\x01", b" EI \x02\x9f", b"EI", b")", b"(", b"<<", b">>", b"%", b"]", b"\rEI\x00", b"/EI"]
    for i, piece in enumerate(planted):
        at = (i + 1) * size // (len(planted) + 2)
        data[at:at + len(piece)] = piece
    return bytes(data)


# Page 1: a picture of 24 x 18 RGB pixels; page 2: a 40 x 10 stencil mask and
# a 16 x 8 picture in an indexed colour space the page's resources name, in
# long and abbreviated keys. Each drawn below the text, with its own data.
rgb = image_bytes(64, 24 * 18 * 3)
mask = image_bytes(65, 5 * 10)
indexed = image_bytes(66, 4 * 8)
first = (b"q 72 0 0 54 420 30 cm\nBI /Width 24 /Height 18 /ColorSpace /DeviceRGB /BitsPerComponent 8\nID\n"
         + rgb + b"\nEI\nQ\n")
second = (b"q 0 0 0.6 rg 80 0 0 20 100 30 cm\nBI /W 40 /H 10 /IM true ID " + mask + b" EI Q\n"
          b"q 64 0 0 32 300 30 cm\nBI /W 16 /H 8 /CS /Idx /BPC 2\nID\n" + indexed + b"\nEI\nQ\n")
palette = b"<ff0000 00a000 0000ff 202020>"
inline = with_objects([(100, stream(first)), (101, stream(second))],
                      b"    /ColorSpace << /Idx [ /Indexed /DeviceRGB 3 %s ] >>\n" % palette, {9: 100, 11: 101})
open(os.path.join(work, "inline-images.in"), "wb").write(inline)

# Page 1 draws two forms whose numbers pass 32 bits: a box of 3e9 points
# around a blue bar (nothing clipped) and a matrix of 3e9 that the drawing
# scales back down, so every reader that keeps such numbers shows both bars.
bar = b"0 0 1 rg 0 0 100 12 re f"
huge = with_objects(
    [(100, stream(b"q 1 0 0 1 400 60 cm /Fx1 Do Q\nq 0.000000001 0 0 0.000000001 400 80 cm /Fx2 Do Q\n")),
     (102, stream(bar, b"/Type /XObject /Subtype /Form /BBox [ -3000000000 -3000000000 3000000000 3000000000 ]")),
     (103, stream(bar, b"/Type /XObject /Subtype /Form /BBox [ 0 0 100 12 ] /Matrix [ 3000000000 0 0 3000000000 0 0 ]"))],
    b"    /XObject << /Fx1 102 0 R /Fx2 103 0 R >>\n", {9: 100})
open(os.path.join(work, "huge-form-numbers.in"), "wb").write(huge)
PY

# qpdf writes the cross-reference table and packs the streams (exit code 3:
# the added objects' offsets are found by its reconstruction).
for name in inline-images huge-form-numbers; do
  qpdf --deterministic-id --object-streams=disable "$work/$name.in" "$here/groff-$name.pdf" 2>/dev/null || [ $? -eq 3 ]
done
