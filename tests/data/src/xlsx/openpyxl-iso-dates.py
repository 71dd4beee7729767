"""Writes a workbook with openpyxl whose dates are cells of ISO 8601 text
(iso_dates: t="d", "2023-03-15T12:30:45"), as some libraries write dates.
Column A holds the text the cell next to it shows, as LibreOffice prints
it: a fraction of a second is dropped, and a time without its day stays
text ("текст" in column C). With "1904" the workbook counts its days from
1 January 1904.

    python3 openpyxl-iso-dates.py OUT.xlsx [1904]      (openpyxl 3.1)
"""
import datetime
import sys

from openpyxl import Workbook
from openpyxl.utils.datetime import CALENDAR_MAC_1904

book = Workbook(iso_dates=True)
date1904 = sys.argv[2:] == ["1904"]
if date1904:
    book.epoch = CALENDAR_MAC_1904
sheet = book.active
sheet.title = "Даты"
sheet.column_dimensions["A"].width = 20
sheet.column_dimensions["B"].width = 20
day = datetime.date(2023, 3, 15)
# (shown, value, format; a text when the last is set)
rows = [
    ("15.03.2023", day, "dd.mm.yyyy"),
    ("15.03.2023", day, "mm-dd-yy"),  # the built-in id 14
    ("15.03.2023 12:30", datetime.datetime(2023, 3, 15, 12, 30, 45), "dd.mm.yyyy hh:mm"),
    ("12:30:45.0", datetime.datetime(2023, 3, 15, 12, 30, 45, 500000), "hh:mm:ss.0"),
    ("12:30:45", datetime.time(12, 30, 45), "hh:mm:ss", True),
    ("Март 2023", day, "[$-419]mmmm yyyy"),
    ("31.12.1899", datetime.date(1899, 12, 31), "dd.mm.yyyy"),
    ("43538" if date1904 else "45000", day, "General"),
]
for number, (shown, value, code, *kept) in enumerate(rows, start=1):
    sheet.cell(number, 1, shown)
    cell = sheet.cell(number, 2, value)
    cell.number_format = code
    if kept:
        sheet.cell(number, 3, "текст")

book.save(sys.argv[1])
