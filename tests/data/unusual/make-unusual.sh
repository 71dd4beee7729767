#!/usr/bin/env bash
# Rebuilds the PDFs in this folder from the two-page groff report one level
# up: sound files written in ways other readers accept but few producers
# use. All edits are fixed; the AES salts qpdf draws are not.
# Needs: python3, qpdf.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
data=$(dirname "$here")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One cross-reference table, objects written plainly.
qpdf --deterministic-id --object-streams=disable "$data/groff-columns.pdf" "$work/plain.pdf"
# AES-256 and 128-bit RC4, each with an empty user password.
qpdf --static-id --object-streams=disable --encrypt "" owner 256 -- "$data/groff-columns.pdf" "$work/aes256.pdf"
qpdf --allow-weak-crypto --static-id --object-streams=disable --encrypt "" owner 128 --use-aes=n -- \
  "$data/groff-columns.pdf" "$work/rc4-128.pdf"

python3 - "$here" "$work" "$data/src" <<'PY'
import os, re, sys
here, work = sys.argv[1:3]
sys.path.insert(0, sys.argv[3])
from pdf_objects import objects, assemble

def read(name):
    return open(os.path.join(work, name), "rb").read()

def write(name, b):
    open(os.path.join(here, name), "wb").write(bytes(b))

# The two pages hang below a chain of /Pages nodes, the top one counted:
# pdfium reads pages 1,024 levels deep at most, mupdf 100.
plain = read("plain.pdf")
trailer = re.search(rb"trailer\s*<<(.*?)>>\s*startxref", plain, re.S).group(1)
trailer = re.sub(rb"/Size \d+", b"", trailer).strip()
src = objects(plain)
root = int(re.search(rb"/Root (\d+) 0 R", trailer).group(1))
top = int(re.search(rb"/Pages (\d+) 0 R", src[root]).group(1))
pages = [int(k) for k in re.findall(rb"(\d+) 0 R", re.search(rb"/Kids \[(.*?)\]", src[top], re.S).group(1))]
for levels in (66, 100, 1000):
    objs = dict(src)
    chain = [top] + list(range(max(objs) + 1, max(objs) + levels))
    for i, node in enumerate(chain[1:], 1):
        objs[node] = b"<< /Type /Pages /Parent %d 0 R /Kids [ %d 0 R ] /Count %d >>\n" % (chain[i - 1], chain[i + 1] if i + 1 < len(chain) else 0, len(pages))
    last = chain[-1]
    objs[last] = re.sub(rb"\[ 0 0 R \]", b"[ " + b" ".join(b"%d 0 R" % p for p in pages) + b" ]", objs[last])
    objs[top] = re.sub(rb"/Kids \[.*?\]", b"/Kids [ %d 0 R ]" % chain[1], objs[top], flags=re.S)
    for p in pages:
        objs[p] = re.sub(rb"/Parent \d+ 0 R", b"/Parent %d 0 R" % last, objs[p])
    write("groff-tree-%d.pdf" % levels, assemble(objs, trailer, b"1.4"))

def patched(b, old, new):
    """b with the encryption dictionary's old entry replaced by new, the
    cross-reference offsets after it moved by as many bytes."""
    at = b.index(old)
    grow = len(new) - len(old)
    b = b[:at] + new + b[at + len(old):]
    xref = b.rindex(b"\nxref\n") + 1
    def shift(row):
        offset = int(row.group(1))
        return b"%010d%s" % (offset + grow if offset > at else offset, row.group(2))
    table = re.sub(rb"(?m)^(\d{10})( \d{5} n)", shift, b[xref:])
    table = re.sub(rb"startxref\n(\d+)", lambda s: b"startxref\n%d" % (int(s.group(1)) + grow), table)
    return b[:xref] + table

# AES-256 whose /P is written as the positive number of its 32 bits.
aes = read("aes256.pdf")
p = re.search(rb"/P (-\d+)", aes)
write("groff-aes256-positive-p.pdf", patched(aes, p.group(0), b"/P %d" % (int(p.group(1)) & 0xFFFFFFFF)))

# 128-bit RC4 whose /Length says 256: qpdf reads it with the 128-bit key
# (and would write 256 again), poppler reads it, pdfium refuses the length.
rc4 = read("rc4-128.pdf")
write("groff-rc4-length-256.pdf", patched(rc4, b"/Filter /Standard /Length 128", b"/Filter /Standard /Length 256"))
PY
