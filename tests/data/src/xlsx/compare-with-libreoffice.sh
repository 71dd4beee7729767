#!/usr/bin/env bash
# Imports a workbook as the window does (bench/xlsx_import_bench BOOK OUT) and
# compares its pages with LibreOffice's PDF of the same workbook, row by row
# of pdftotext -layout: the rows whose first word is a number, the words
# LibreOffice prints for them against ours. A developer's check from outside.
#   compare-with-libreoffice.sh BUILD-DIR BOOK.xlsx
set -euo pipefail
build=$1
book=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
soffice -env:UserInstallation="file://$work/profile" --headless --convert-to pdf --outdir "$work" "$book" >/dev/null 2>&1
QT_QPA_PLATFORM=offscreen "$build/bench/xlsx_import_bench" "$book" "$work/ours.pdf" >/dev/null 2>&1
name=$(basename "${book%.*}")
pdftotext -layout "$work/$name.pdf" "$work/theirs.txt"
pdftotext -layout "$work/ours.pdf" "$work/ours.txt"
python3 - "$work/theirs.txt" "$work/ours.txt" <<'PY'
import sys
def rows(path):
    out = {}
    for line in open(path, encoding="utf-8"):
        words = line.split()
        if len(words) > 1 and words[0].isdigit():
            out.setdefault(int(words[0]), words)
    return out
theirs, ours = rows(sys.argv[1]), rows(sys.argv[2])
words = differ = 0
for key, expected in theirs.items():
    got = ours.get(key, [])
    words += len(expected)
    differ += sum(1 for i, w in enumerate(expected) if i >= len(got) or got[i] != w)
print(f"{len(theirs)} rows, {words} words of LibreOffice's, {differ} differ")
PY
