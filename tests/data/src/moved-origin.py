#!/usr/bin/env python3
"""Writes a pdfTeX page again as early pdfTeX versions laid it out: the page
content opens by moving the origin with "1 0 0 1 72 769.89 cm" and never moves
it back, so whatever is drawn after the page's own streams starts in the moved
frame. Every position set in the page's default frame (the first Td or a Tm of
a text object, a cm after q, a rectangle) is taken back by the same amount, so
the page looks as it did.

usage: moved-origin.py in.pdf out.pdf [pages, 1-based, comma-separated; empty: all] [opening]
opening: what the content starts with, MOVE standing for the cm (default
"MOVE"; "MOVE q\\n" leaves a q open after it).
"""
import re
import subprocess
import sys
import tempfile

ORIGIN = (72.0, 769.89)
NUMBER = rb"[-+]?(?:\d+\.?\d*|\.\d+)"
# A string, an operand or an operator, so that strings are never looked into.
TOKEN = re.compile(rb"\((?:\\.|[^\\)])*\)|<[0-9A-Fa-f\s]*>|\[|\]|/[^\s/\[\]()<>]+|" + NUMBER + rb"|[A-Za-z'\"*]+|\S")


def fmt(value):
    text = ("%.3f" % value).rstrip("0").rstrip(".")
    return (text if text not in ("-0", "") else "0").encode()


def shifted(content, opening):
    tokens = TOKEN.findall(content)
    out, operands = [], []
    first_td = False  # the next Td starts a text object: it is absolute
    framed, saved = False, []  # a cm of the page's own already stands between the default frame and here
    for token in tokens:
        if re.fullmatch(NUMBER, token) or token.startswith((b"(", b"<", b"/", b"[", b"]")):
            operands.append(token)
            continue
        if token == b"q":
            saved.append(framed)
        elif token == b"Q":
            framed = saved.pop() if saved else False
        elif token == b"BT":
            first_td = True
        elif not framed and (token == b"Td" and first_td or token in (b"Tm", b"cm", b"re")):
            # Tm, cm: e and f; Td, re: x and y
            at = 0 if token == b"re" else -2
            x, y = float(operands[at]), float(operands[at + 1])
            operands[at], operands[at + 1] = fmt(x - ORIGIN[0]), fmt(y - ORIGIN[1])
            framed = framed or token == b"cm"
        elif not framed and token in (b"m", b"l", b"c", b"v", b"y", b"Do", b"sh", b"BI"):
            raise SystemExit("drawing in the default frame is not shifted: %s" % token.decode())
        if token in (b"Td", b"Tm", b"T*", b"TD", b"'", b'"'):
            first_td = False
        out.append(b" ".join(operands + [token]))
        operands = []
    move = b"1 0 0 1 %s %s cm\n" % (fmt(ORIGIN[0]), fmt(ORIGIN[1]))
    return opening.replace(b"MOVE", move) + b"\n".join(out) + b"\n"


def main():
    source, target = sys.argv[1], sys.argv[2]
    wanted = {int(p) for p in sys.argv[3].split(",")} if len(sys.argv) > 3 and sys.argv[3] else None
    opening = sys.argv[4].encode().replace(b"\\n", b"\n") if len(sys.argv) > 4 else b"MOVE"
    with tempfile.TemporaryDirectory() as work:
        qdf = work + "/page.qdf"
        subprocess.run(["qpdf", "--qdf", "--object-streams=disable", "--compress-streams=n", source, qdf], check=True)
        data = open(qdf, "rb").read()
        page = 0

        def one_page(match):
            nonlocal page
            page += 1
            if wanted is not None and page not in wanted:
                return match.group(0)
            return match.group(1) + shifted(match.group(2), opening) + match.group(3)

        # qpdf's QDF form names each page's content stream by a comment.
        data = re.sub(rb"(%% Contents for page \d+\n%% Original object ID: \d+ \d+\n\d+ 0 obj\n<<[^>]*>>\nstream\n)"
                      rb"(.*?)(\nendstream)", one_page, data, flags=re.S)
        open(qdf, "wb").write(data)
        fixed = work + "/fixed.qdf"
        subprocess.run(["fix-qdf", qdf], check=True, stdout=open(fixed, "wb"))
        subprocess.run(["qpdf", "--deterministic-id", "--compress-streams=y", "--object-streams=generate",
                        fixed, target], check=True)


if __name__ == "__main__":
    main()
