#!/usr/bin/env bash
# Rebuilds the PDFs with damaged page trees in this folder from pdfTeX's
# twelve-page manual one level up (a root over two nodes of six pages each):
# loops, a subtree listed twice, a /Count below the pages, page objects
# outside the tree, pages that cannot be read and objects listed as pages. All edits are fixed, so the
# outputs are the same on every run.
# Needs: python3, qpdf.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
data=$(dirname "$here")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One cross-reference table, streams compressed, objects written plainly.
qpdf --deterministic-id --object-streams=disable --compress-streams=y "$data/pdftex-objstm-manual.pdf" "$work/base.pdf"

python3 - "$here" "$work" "$data/src" <<'PY'
import os, re, sys
here, work = sys.argv[1:3]
sys.path.insert(0, sys.argv[3])
from pdf_objects import objects, assemble
base = open(os.path.join(work, "base.pdf"), "rb").read()

trailer = re.search(rb"trailer\s*<<(.*?)>>\s*startxref", base, re.S).group(1)
trailer = re.sub(rb"/Size \d+", b"", trailer).strip()
root = int(re.search(rb"/Root (\d+) 0 R", trailer).group(1))
src = objects(base)
top = int(re.search(rb"/Pages (\d+) 0 R", src[root]).group(1))

def kids(body):
    return [int(k) for k in re.findall(rb"(\d+) 0 R", re.search(rb"/Kids \[(.*?)\]", body, re.S).group(1))]

first, second = kids(src[top])
def with_kids(body, refs):
    return re.sub(rb"/Kids \[.*?\]", b"/Kids [ " + b" ".join(b"%d 0 R" % r for r in refs) + b" ]", body, flags=re.S)

def make(name, edit):
    objs = dict(src)
    edit(objs)
    open(os.path.join(here, name), "wb").write(assemble(objs, trailer))

def add_kid(node, kid):
    return lambda o: o.__setitem__(node, with_kids(o[node], kids(o[node]) + [kid]))

# Five loops: the root lists itself; a node lists the root; a node lists
# itself; the two nodes list each other; a page lists the root as its kid.
make("tree-loop-root.pdf", add_kid(top, top))
make("tree-loop-to-root.pdf", add_kid(second, top))
make("tree-loop-self.pdf", add_kid(first, first))
def each_other(o):
    add_kid(first, second)(o)
    add_kid(second, first)(o)
make("tree-loop-each-other.pdf", each_other)
page3 = kids(src[first])[2]
make("tree-loop-page.pdf", lambda o: o.__setitem__(page3, o[page3].replace(b"/Type /Page", b"/Kids [ %d 0 R ] /Type /Page" % top)))

# The first node listed twice, the /Count not: other readers show twelve pages.
def twice(o):
    o[top] = with_kids(o[top], [first, second, first])
make("tree-subtree-twice.pdf", twice)

# A /Count of 1 over the two nodes: pdfium shows one page, qpdf twelve.
make("tree-count-below.pdf", lambda o: o.__setitem__(top, o[top].replace(b"/Count 12", b"/Count 1")))

# The first node's references renumbered into objects that are not there,
# and of its six pages three gone as well: the three left are found by
# scanning, pages 4-6 are lost.
def renumbered(o):
    pages = kids(o[first])
    o[first] = with_kids(o[first], [n + 1000 for n in pages])
    for n in pages[3:]:
        del o[n]
make("tree-first-pages-lost.pdf", renumbered)

# A copy of the seventh page outside the tree, and one page without its
# /Type (qpdf warns, pdfium reads it): written with object streams, the
# unreferenced copy kept.
# After the last page, a font the first page draws with, and the first
# page's own resources: qpdf would take either for a page and call it one;
# other readers stop at the tree's /Count before it.
page1 = kids(src[first])[0]
resources = int(re.search(rb"/Resources (\d+) 0 R", src[page1]).group(1))
font = int(re.search(rb"/F\d+ (\d+) 0 R", src[resources]).group(1))
make("tree-font-kid.pdf", add_kid(second, font))
make("tree-resources-kid.pdf", add_kid(second, resources))

seventh = kids(src[second])[0]
def orphan(o):
    o[max(o) + 1] = o[seventh]
    o[page3] = o[page3].replace(b"/Type /Page", b"")
make("orphan-plain.pdf", orphan)
PY
qpdf --deterministic-id --object-streams=generate --preserve-unreferenced "$here/orphan-plain.pdf" \
  "$here/objstm-orphan-page.pdf" || test $? -eq 3
rm "$here/orphan-plain.pdf"
