#!/usr/bin/env bash
# Rebuilds the workbooks in xlsx/ from the sources in src/xlsx/. Run by hand
# after changing a source; the tests use the committed outputs.
# Needs: LibreOffice Calc (soffice) and python3 with openpyxl 3.1, a
# fixture-making tool only (python3 -m venv /tmp/xlsxvenv &&
# /tmp/xlsxvenv/bin/pip install openpyxl; then PYTHON=/tmp/xlsxvenv/bin/python).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src="$here/src/xlsx"
out="$here/xlsx"
python=${PYTHON:-python3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

calc() {
  soffice -env:UserInstallation="file://$work/profile" --headless --norestore --convert-to xlsx --outdir "$@" >/dev/null
}

# LibreOffice: time formats, and dates of a sheet in the 1904 date system.
calc "$out" "$src/lo-times.fods" "$src/lo-1904.fods"

# LibreOffice: 100 rows from CSV (12.8-pt rows), and three sheets of 10, 100 and 10 rows.
calc "$out" "$src/lo-rows100.csv" "$src/lo-three-sheets.fods"

# openpyxl: the built-in time formats, the 1904 date system, a chart with axis titles.
"$python" "$src/openpyxl-book.py" "$out/openpyxl-book.xlsx"

# LibreOffice writing the openpyxl workbook again: its own chart part, with cached values.
mkdir "$work/again"
calc "$work/again" "$out/openpyxl-book.xlsx"
mv "$work/again/openpyxl-book.xlsx" "$out/lo-openpyxl-book.xlsx"

# openpyxl: a clerk's register with roubles, dates, hidden data, merges and a
# formula without its result; LibreOffice's own PDF of it is what the pages
# are compared with.
"$python" "$src/openpyxl-register.py" "$out/openpyxl-register.xlsx"

# ---- Charts of visible cells only over hidden rows ----
# Written part by part as Excel writes it (every cell of the range cached),
# then again by LibreOffice, which caches the visible cells alone.
python3 "$src/hidden-rows-chart.py" "$out/hidden-rows-chart.xlsx"
mkdir "$work/hidden"
calc "$work/hidden" "$out/hidden-rows-chart.xlsx"
mv "$work/hidden/hidden-rows-chart.xlsx" "$out/lo-hidden-rows-chart.xlsx"

# ---- A report's charts and figures as Excel writes them ----
# Part by part: a chart sheet, names that grow with their rows, a filtered
# series, a row 0 high, figures under a written "General"; then again by
# LibreOffice, which keeps the chart's own data and makes the chart sheet a
# sheet of its own.
python3 "$src/charts-as-written.py" "$out/charts-as-written.xlsx"
mkdir "$work/report"
calc "$work/report" "$out/charts-as-written.xlsx"
mv "$work/report/charts-as-written.xlsx" "$out/lo-charts-as-written.xlsx"

# ---- Tables, hidden charts, escaped texts and engineering figures ----
# Part by part: a chart over a name that stands for a table's column, rows
# hidden at both ends and in the middle of the table's data, three charts
# the author hid, texts with escaped characters and figures as LibreOffice
# prints them.
python3 "$src/tables-and-texts.py" "$out/tables-and-texts.xlsx"

# ---- Dates written as ISO 8601 text, charts placed every way ----
# openpyxl with iso_dates: date cells of text ("2023-03-15T12:30:45"), in
# both date systems; charts by a cell and extent, two cells, a position and
# extent, and over hidden rows and columns.
"$python" "$src/openpyxl-iso-dates.py" "$out/openpyxl-iso-dates.xlsx"
"$python" "$src/openpyxl-iso-dates.py" "$out/openpyxl-iso-dates-1904.xlsx" 1904
"$python" "$src/openpyxl-anchors.py" "$out/openpyxl-anchors.xlsx"

# ---- ISO 8601 date texts as spreadsheet libraries write them ----
# Part by part: times with zones, fractions of a second, the end of a day,
# and texts LibreOffice keeps as text, beside what LibreOffice prints.
python3 "$src/iso-date-texts.py" "$out/iso-date-texts.xlsx"
