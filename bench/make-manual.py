#!/usr/bin/env python3
"""Writes a long manual as ghostscript makes one from PostScript: numbered
chapters and sections with headings, justified-looking body text in Times,
page numbers, a contents page whose entries link to their chapters, and an
outline whose entries lead to the top of their headings.

usage: make-manual.py PAGES OUT.pdf    (needs ps2pdf from ghostscript)

The benchmarks and the window checks use it for documents of a size no test
fixture should have; nothing it writes is committed.
"""
import os
import random
import subprocess
import sys
import tempfile

PAGE_W, PAGE_H = 595, 842
LEFT, TOP, BOTTOM = 72, 770, 80
BODY_SIZE, LEADING = 10, 12.5
PAGES_PER_CHAPTER = 20
SECTIONS_PER_CHAPTER = 4

WORDS = ("the program reads each page of the document and writes the result into a new file when "
         "the user asks for it so that the original stays unchanged while options control the "
         "resolution of pictures the fonts that are embedded and the order in which pages appear "
         "a command line switch selects the output format and another one names the folder where "
         "temporary files are kept until the work is done").split()

CHAPTER_TITLES = ["Getting Started", "Installation", "Basic Usage", "Configuration", "Documents",
                  "Pages and Layout", "Fonts", "Pictures", "Printing", "Searching", "Outlines",
                  "Links", "Security", "Scripting", "Troubleshooting", "Reference"]


def ps_string(text):
    return "(" + text.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)") + ")"


def body_line(rng):
    words = []
    length = 0
    while length < 88:
        word = rng.choice(WORDS)
        words.append(word)
        length += len(word) + 1
    return " ".join(words)


def chapter_title(number):
    return "%d %s" % (number, CHAPTER_TITLES[(number - 1) % len(CHAPTER_TITLES)])


def layout(pages):
    """Per page: a list of (kind, text, y) and the outline entries it starts."""
    rng = random.Random(2415)
    plan = []
    outline = []  # (level, title, page, top)
    chapters = max(1, (pages - 1) // PAGES_PER_CHAPTER + 1)
    section_every = max(1, PAGES_PER_CHAPTER // SECTIONS_PER_CHAPTER)
    for index in range(1, pages):  # page 0 is the contents page
        chapter = (index - 1) // PAGES_PER_CHAPTER + 1
        within = (index - 1) % PAGES_PER_CHAPTER
        items = []
        y = TOP
        if within == 0:
            y -= 40  # chapters start lower, as TeX sets them
            title = chapter_title(chapter)
            items.append(("chapter", title, y))
            outline.append((1, title, index, y + 28))
            y -= 40
        elif within % section_every == 0:
            section = within // section_every
            title = "%d.%d %s, part %d" % (chapter, section, CHAPTER_TITLES[(chapter - 1) % len(CHAPTER_TITLES)],
                                          section)
            y -= 80  # a heading in the middle of the page
            items.append(("section", title, y))
            outline.append((2, title, index, y + 18))
            y -= 24
        while y > BOTTOM:
            items.append(("body", body_line(rng), y))
            y -= LEADING
        plan.append(items)
    return plan, outline, chapters


def write_postscript(out, pages):
    plan, outline, chapters = layout(pages)
    w = out.write
    w("%%!PS-Adobe-3.0\n%%%%Pages: %d\n%%%%EndComments\n" % pages)
    w("/pdfmark where {pop} {userdict /pdfmark /cleartomark load put} ifelse\n")
    w("[ /Title (A Long Manual) /Creator (make-manual.py) /DOCINFO pdfmark\n")
    # Outline: chapters with their sections as children, each at the top of its heading.
    children = {}
    for i, (level, _, _, _) in enumerate(outline):
        if level == 1:
            children[i] = sum(1 for lv, _, _, _ in outline[i + 1:i + 1 + SECTIONS_PER_CHAPTER] if lv == 2)
    for i, (level, title, page, top) in enumerate(outline):
        count = " /Count -%d" % children[i] if level == 1 and children.get(i) else ""
        w("[%s /Title %s /Page %d /View [/XYZ %d %d null] /OUT pdfmark\n"
          % (count, ps_string(title), page + 1, LEFT - 10, top))
    # Contents page.
    w("%%%%Page: 1 1\n<< /PageSize [%d %d] >> setpagedevice\n" % (PAGE_W, PAGE_H))
    w("/Times-Bold findfont 20 scalefont setfont %d %d moveto (Contents) show\n" % (LEFT, TOP))
    w("/Times-Roman findfont %d scalefont setfont\n" % BODY_SIZE)
    y = TOP - 30
    for i, (level, title, page, top) in enumerate(outline):
        if level != 1 or y < BOTTOM:
            continue
        w("%d %d moveto %s show %d %d moveto (%d) show\n" % (LEFT, y, ps_string(title), PAGE_W - 100, y, page + 1))
        w("[ /Rect [%d %d %d %d] /Border [0 0 0] /Page %d /View [/XYZ %d %d null] /Subtype /Link /ANN pdfmark\n"
          % (LEFT - 2, y - 3, PAGE_W - 80, y + 10, page + 1, LEFT - 10, top))
        y -= 14
    w("showpage\n")
    for number, items in enumerate(plan, start=2):
        w("%%%%Page: %d %d\n" % (number, number))
        for kind, text, y in items:
            if kind == "chapter":
                w("/Times-Bold findfont 24 scalefont setfont %d %d moveto %s show\n" % (LEFT, y, ps_string(text)))
            elif kind == "section":
                w("/Times-Bold findfont 14 scalefont setfont %d %d moveto %s show\n" % (LEFT, y, ps_string(text)))
            else:
                w("/Times-Roman findfont %d scalefont setfont %d %d moveto %s show\n"
                  % (BODY_SIZE, LEFT, y, ps_string(text)))
        w("/Times-Roman findfont 9 scalefont setfont %d 40 moveto (%d) show\nshowpage\n" % (PAGE_W // 2 - 8, number))
    w("%%EOF\n")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    pages = max(2, int(sys.argv[1]))
    target = sys.argv[2]
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "manual.ps")
        with open(source, "w", encoding="latin-1") as out:
            write_postscript(out, pages)
        subprocess.run(["ps2pdf", "-dPDFSETTINGS=/default", source, target], check=True)


if __name__ == "__main__":
    main()
