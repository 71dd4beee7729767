#!/usr/bin/env python3
"""A page written as Acrobat Distiller writes text: every font set at "1 Tf"
with the size in the text matrix, lines moved by T* with the leading in text
space, kerned TJ arrays that cut words, word and letter spacing, a heading
under a scaled CTM, a line condensed by Tz, and Latin ligature glyphs.

ghostscript draws the lines (DejaVu Serif, Russian and Latin, fi/fl/ff
ligatures) so that the page carries an embedded font with a ToUnicode map;
the page's content is then written again in Distiller's manner with qpdf.
Usage: distilled-1tf.py LINES.txt OUT.pdf (needs gs, qpdf, fix-qdf)
"""
import re
import subprocess
import sys
import tempfile
from pathlib import Path

LIGATURES = {"ffi": "uniFB03", "ffl": "uniFB04", "fi": "uniFB01", "fl": "uniFB02", "ff": "uniFB00"}
SIZES = [14, 9.96, 9.96, 9.96, 9.96, 8.04, 11, 9.96]
BASELINES = [270, 249, 234, 219, 204, 189, 173, 152]


def units(text):
    """The glyphs of a line: a ligature is one."""
    out, i = [], 0
    while i < len(text):
        for lig in ("ffi", "ffl", "fi", "fl", "ff"):
            if text.startswith(lig, i):
                out.append(lig)
                i += len(lig)
                break
        else:
            out.append(text[i])
            i += 1
    return out


def postscript(lines):
    out = ["%!PS", "<< /PageSize [420 300] >> setpagedevice",
           "(/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf) (r) file .loadfont"]
    for size, y, text in zip(SIZES, BASELINES, lines):
        out += ["/DejaVuSerif findfont %s scalefont setfont" % size, "28 %d moveto" % y]
        for unit in units(text):
            if unit in LIGATURES:
                out.append("/%s glyphshow" % LIGATURES[unit])
            elif ord(unit) < 128:
                out.append("(%s) show" % ("\\" + unit if unit in "()\\" else unit))
            else:
                out.append("/uni%04X glyphshow" % ord(unit))
    out.append("showpage")
    return "\n".join(out)


def code_bytes(token):
    """The character codes of a PDF string token, hex or literal."""
    if token.startswith(b"<"):
        return bytes.fromhex(token[1:-1].decode())
    body, out, i = token[1:-1], bytearray(), 0
    while i < len(body):
        if body[i] != 0x5C:
            out.append(body[i])
            i += 1
            continue
        j, value = i + 1, 0
        while j < len(body) and j < i + 4 and 0x30 <= body[j] <= 0x37:
            value = value * 8 + body[j] - 0x30
            j += 1
        if j > i + 1:
            out.append(value)
            i = j
        else:
            out.append({0x6E: 10, 0x72: 13, 0x74: 9, 0x62: 8, 0x66: 12}.get(body[i + 1], body[i + 1]))
            i += 2
    return bytes(out)


def kerned(text, codes, kerns):
    """A TJ array of the line's codes, cut by kerns {characters so far: amount}."""
    glyphs = units(text)
    assert len(glyphs) == len(codes), text
    parts, run, at = [], bytearray(), 0
    for glyph, code in zip(glyphs, codes):
        run.append(code)
        at += len(glyph)
        if at in kerns:
            parts += ["<%s>" % run.hex(), str(kerns[at])]
            run = bytearray()
    if run:
        parts.append("<%s>" % run.hex())
    return "[" + "".join(parts) + "]TJ"


def distiller_content(font, lines, codes):
    s, y = SIZES, BASELINES
    kerns = {9: -18, 25: 12, 40: -25}
    split = lines[3].index("Текстовом") + 3  # "Тек" and "стовом" in two strings
    ops = ["BT", font + " 1 Tf", "0 Tc 0 Tw 100 Tz", "%g 0 0 %g 28 %d Tm" % (s[0], s[0], y[0]),
           kerned(lines[0], codes[0], {}), "ET",
           "BT", font + " 1 Tf", "%g 0 0 %g 28 %d Tm" % (s[1], s[1], y[1]), "%g TL" % ((y[1] - y[2]) / s[1]),
           "0.0602 Tw", kerned(lines[1], codes[1], kerns), "0 Tw T*", kerned(lines[2], codes[2], kerns),
           "T*", kerned(lines[3], codes[3], {split: 20, 30: -15}), "ET",
           "BT", font + " 1 Tf", "0.012 Tc", "%g 0 0 %g 28 %d Tm" % (s[4], s[4], y[4]),
           kerned(lines[4], codes[4], {}), "0 Tc", "ET",
           "BT", font + " 1 Tf", "%g 0 0 %g 28 %d Tm" % (s[5], s[5], y[5]), kerned(lines[5], codes[5], {12: -40}), "ET",
           "q 0.5 0 0 0.5 0 0 cm", "BT", font + " 1 Tf", "%g 0 0 %g 56 %d Tm" % (2 * s[6], 2 * s[6], 2 * y[6]),
           kerned(lines[6], codes[6], {}), "ET", "Q",
           "BT", font + " 1 Tf", "92 Tz", "%g 0 0 %g 28 %d Tm" % (s[7], s[7], y[7]),
           kerned(lines[7], codes[7], {6: 30}), "100 Tz", "ET"]
    return ("q 0 0 0 rg\n" + "\n".join(ops) + "\nQ\n").encode("latin1")


def main():
    lines = Path(sys.argv[1]).read_text(encoding="utf-8").splitlines()
    out = sys.argv[2]
    with tempfile.TemporaryDirectory() as work:
        work = Path(work)
        (work / "page.ps").write_text(postscript(lines), encoding="ascii")
        subprocess.run(["gs", "-q", "-dNOSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pdfwrite",
                        "-sOutputFile=%s" % (work / "gs.pdf"), str(work / "page.ps")], check=True)
        subprocess.run(["qpdf", "--qdf", "--object-streams=disable", str(work / "gs.pdf"), str(work / "qdf.pdf")],
                       check=True)
        data = (work / "qdf.pdf").read_bytes()
        page = re.search(rb"stream\n(q .*?BT.*?ET.*?)endstream", data, re.S)
        found = re.findall(rb"/(R\d+) ([\d.]+) Tf|(<[0-9a-f]+>|\((?:\\.|[^\\)])*\))\s*(?:Tj|')", page.group(1))
        font = "/" + next(f.decode() for f, _, _ in found if f)
        codes = [code_bytes(c) for f, _, c in found if not f]
        edited = data[:page.start(1)] + distiller_content(font, lines, codes) + data[page.end(1):]
        (work / "edited.pdf").write_bytes(edited)
        with open(work / "fixed.pdf", "wb") as fixed:
            subprocess.run(["fix-qdf", str(work / "edited.pdf")], stdout=fixed, check=True)
        subprocess.run(["qpdf", "--deterministic-id", "--compress-streams=y", "--object-streams=disable",
                        str(work / "fixed.pdf"), out], check=True)


if __name__ == "__main__":
    main()
