#!/usr/bin/env bash
# Rebuilds the PDFs in this folder from the real-producer fixtures one level
# up: files every reader shows in full whose cross-references or object
# numbers are unusual, and damaged copies of the manuals that other readers
# still read page by page. All edits are fixed, so the outputs are the same
# on every run.
# Needs: python3, qpdf.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
data=$(dirname "$here")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Sixty pages of the registry manual, one cross-reference table, no object streams.
qpdf --deterministic-id --object-streams=disable --compress-streams=y "$data/pdftex-registry.pdf" \
  --pages "$data/pdftex-registry.pdf" 1-60 -- "$work/registry-60.pdf"
# The two-page groff report the same way, for the reused object number.
qpdf --deterministic-id --object-streams=disable "$data/groff-columns.pdf" "$work/groff-table.pdf"

python3 - "$here" "$data" "$work" <<'PY'
import os, re, sys
here, data, work = sys.argv[1:4]

def read(path):
    return bytearray(open(path, "rb").read())

def write(name, b):
    open(os.path.join(here, name), "wb").write(bytes(b))

def xref_rows(b):
    """(row offset in b, object number) of every row of the last table."""
    at = int(re.findall(rb"startxref\s+(\d+)", bytes(b))[-1])
    m = re.match(rb"xref\s+(\d+) (\d+)\s+", bytes(b[at:at + 64]))
    first, count = int(m.group(1)), int(m.group(2))
    start = at + m.end()
    return [(start + 20 * i, first + i) for i in range(count)]

def offset_of(b, number):
    for row, n in xref_rows(b):
        if n == number:
            return int(b[row:row + 10])
    raise KeyError(number)

# Content streams of generation 1 ("6 1 obj", "/Contents 6 1 R"), as a writer
# that reuses freed numbers makes them. Every edit keeps the length, so the
# table only changes its generation column.
b = read(os.path.join(work, "registry-60.pdf"))
contents = sorted({int(n) for n in re.findall(rb"/Contents (\d+) 0 R", bytes(b))})
for number in contents:
    at = offset_of(b, number)
    head = b"%d 0 obj" % number
    assert b[at:at + len(head)] == head
    b[at:at + len(head)] = b"%d 1 obj" % number
    b = bytearray(bytes(b).replace(b"/Contents %d 0 R" % number, b"/Contents %d 1 R" % number))
rows = dict((n, row) for row, n in xref_rows(b))
for number in contents:
    b[rows[number] + 11:rows[number] + 16] = b"00001"
write("registry-gen1.pdf", b)

# The same pages with every offset of the table zeroed: readers find the
# objects by scanning.
b = read(os.path.join(work, "registry-60.pdf"))
for row, n in xref_rows(b):
    if b[row + 17:row + 18] == b"n":
        b[row:row + 10] = b"0000000000"
write("registry-zero-offsets.pdf", b)

# The same pages with every offset of the table three bytes too far: each
# points into its object's first line.
b = read(os.path.join(work, "registry-60.pdf"))
for row, n in xref_rows(b):
    if b[row + 17:row + 18] == b"n":
        b[row:row + 10] = b"%010d" % (int(b[row:row + 10]) + 3)
write("registry-shifted.pdf", b)

# An update frees page 1's content stream, a later one reuses its number
# as generation 1 for the same content.
b = read(os.path.join(work, "groff-table.pdf"))
page = int(re.search(rb"/Kids \[ (\d+) 0 R", bytes(b)).group(1))
pat = offset_of(b, page)
page_obj = bytes(b[pat:b.index(b"endobj", pat) + 6])
number = int(re.search(rb"/Contents \[? ?(\d+) 0 R", page_obj).group(1))
sat = offset_of(b, number)
stream_obj = bytes(b[sat:b.index(b"endobj", sat) + 6])
size = int(re.search(rb"/Size (\d+)", bytes(b)).group(1))
root = re.search(rb"/Root (\d+ \d+ R)", bytes(b)).group(1)

def update(b, objects, frees):
    prev = int(re.findall(rb"startxref\s+(\d+)", bytes(b))[-1])
    rows = []
    for n, g, body in objects:
        rows.append((n, b"%010d %05d n \n" % (len(b), g)))
        b += b"%d %d obj\n" % (n, g) + body + b"\nendobj\n"
    for n, g in frees:
        rows.append((n, b"0000000000 %05d f \n" % g))
    xref = len(b)
    b += b"xref\n0 1\n0000000000 65535 f \n"
    for n, row in sorted(rows):
        b += b"%d 1\n" % n + row
    b += b"trailer\n<< /Size %d /Root %s /Prev %d >>\nstartxref\n%d\n%%%%EOF\n" % (size, root, prev, xref)
    return b

page_body = page_obj[page_obj.index(b"obj") + 3:page_obj.rindex(b"endobj")].strip()
stream_body = stream_obj[stream_obj.index(b"obj") + 3:stream_obj.rindex(b"endobj")].strip()
empty = re.sub(rb"/Contents (\[ )?%d 0 R( \])?" % number, b"/Contents []", page_body)
b = update(b, [(page, 0, empty)], [(number, 1)])
reused = page_body.replace(b"%d 0 R" % number, b"%d 1 R" % number)
b = update(b, [(page, 0, reused), (number, 1, stream_body)], [])
write("groff-reused-number.pdf", b)

# The groff report's content streams at generation 10 and 65534, the largest
# a table holds ("9 65534 obj", "/Contents [ 9 65534 R ]"): the objects move, so
# the table is written again.
def with_generation(source, generation):
    b = bytes(read(source))
    contents = sorted({int(n) for n in re.findall(rb"/Contents \[? ?(\d+) 0 R", b)})
    for number in contents:
        b = b.replace(b"\n%d 0 obj" % number, b"\n%d %d obj" % (number, generation))
        b = re.sub(rb"(?<![0-9])%d 0 R" % number, b"%d %d R" % (number, generation), b)
    at = b.rindex(b"\nxref\n") + 1
    body, tail = b[:at], b[b.index(b"trailer", at):]
    found = {int(m.group(1)): (m.start() + 1, int(m.group(2)))
             for m in re.finditer(rb"\n(\d+) (\d+) obj", body)}
    size = max(found) + 1
    rows = [b"0000000000 65535 f \n"]
    rows += [b"%010d %05d n \n" % found[n] if n in found else b"0000000000 00001 f \n" for n in range(1, size)]
    tail = tail[:tail.index(b"startxref")]
    return body + b"xref\n0 %d\n" % size + b"".join(rows) + tail + b"startxref\n%d\n%%%%EOF\n" % len(body)

for generation in (10, 65534):
    write("groff-generation-%d.pdf" % generation, with_generation(os.path.join(work, "groff-table.pdf"), generation))
PY

# Byte-flipped copies of the manuals, kept with the other damaged files:
# a flipped blank breaks a reference of the page tree ("10 0\xf9R"), flipped
# bytes of an object stream lose page objects. qpdf and poppler still count
# every page.
python3 - "$data" "$work" <<'PY'
import os, sys
data, work = sys.argv[1:3]
b = bytearray(open(os.path.join(work, "registry-60.pdf"), "rb").read())
kids = b.index(b"/Kids [")
at = b.index(b" 10 0 R ", kids)
b[at + 5] = 0xF9
open(os.path.join(data, "damaged", "registry-flipped-kids.pdf"), "wb").write(bytes(b))
b = bytearray(open(os.path.join(data, "pdftex-objstm-manual.pdf"), "rb").read())
for at, value in [(6360, 86), (7152, 85), (19096, 93), (21983, 46)]:
    b[at] = value
open(os.path.join(data, "damaged", "pdftex-objstm-flipped.pdf"), "wb").write(bytes(b))
PY
