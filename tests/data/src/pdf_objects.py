"""The objects of a PDF written plainly, and a file made of such objects,
for the fixture scripts."""
import re


def objects(b):
    """{number: body} of every object, in file order."""
    return {int(m.group(1)): m.group(2) for m in
            re.finditer(rb"(?m)^(\d+) 0 obj\n?(.*?)endobj\n", b, re.S)}


def assemble(objs, trailer, version=b"1.5"):
    """A file of the objects with a fresh cross-reference table."""
    out = bytearray(b"%PDF-" + version + b"\n%\xe2\xe3\xcf\xd3\n")
    size = max(objs) + 1
    offsets = {}
    for n in sorted(objs):
        offsets[n] = len(out)
        out += b"%d 0 obj\n" % n + objs[n] + b"endobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % size
    for n in range(1, size):
        out += b"%010d 00000 n \n" % offsets[n] if n in offsets else b"0000000000 00000 f \n"
    out += b"trailer\n<< /Size %d %s >>\nstartxref\n%d\n%%%%EOF\n" % (size, trailer, xref)
    return bytes(out)
