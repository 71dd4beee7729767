"""Writes a workbook with openpyxl whose charts are placed every way a
drawing places them. The first three sheets hold the same figures and one
chart over the same cells, D2 to I12 and half of the last column and row:
by its cell and extent (a one-cell anchor, openpyxl's own), by two cells,
and by its position and extent (an absolute anchor). Columns keep their
default width of 64 pixels and rows their 15 points. On the fourth sheet
rows 10 to 25 and columns P to T are hidden: a chart between the tops of
rows 10 and 26 and one over the hidden columns collapse to nothing; one
reaching a little into row 26 and one placed by its cell in row 10 with its
extent are shown.

    python3 openpyxl-anchors.py OUT.xlsx      (openpyxl 3.1)
"""
import sys

from openpyxl import Workbook
from openpyxl.chart import BarChart, Reference
from openpyxl.drawing.spreadsheet_drawing import AbsoluteAnchor, AnchorMarker, OneCellAnchor, TwoCellAnchor
from openpyxl.drawing.xdr import XDRPoint2D, XDRPositiveSize2D

COLUMN = 64 * 9525  # EMU of a default column
ROW = 15 * 12700    # EMU of a default row
WIDE = 5 * COLUMN + COLUMN // 2
HIGH = 10 * ROW + ROW // 2


def sheet_of(book, title):
    sheet = book.create_sheet(title)
    for month, amount in [("Январь", 120), ("Февраль", 135), ("Март", 150), ("Апрель", 110)]:
        sheet.append([month, amount])
    return sheet


def chart_of(sheet, title, anchor):
    chart = BarChart()
    chart.title = title
    chart.add_data(Reference(sheet, min_col=2, min_row=1, max_row=4))
    chart.set_categories(Reference(sheet, min_col=1, min_row=1, max_row=4))
    chart.legend = None
    chart.anchor = anchor
    sheet.add_chart(chart)


def two_cells(col, row, to_col, to_row, col_off=0, row_off=0):
    return TwoCellAnchor(_from=AnchorMarker(col=col, row=row), to=AnchorMarker(col=to_col, colOff=col_off, row=to_row,
                                                                               rowOff=row_off))


book = Workbook()
book.remove(book.active)
one = sheet_of(book, "Ячейка")
chart_of(one, "Выручка", OneCellAnchor(_from=AnchorMarker(col=3, row=1), ext=XDRPositiveSize2D(cx=WIDE, cy=HIGH)))
two = sheet_of(book, "Две ячейки")
chart_of(two, "Выручка", two_cells(3, 1, 8, 11, COLUMN // 2, ROW // 2))
absolute = sheet_of(book, "Положение")
chart_of(absolute, "Выручка",
         AbsoluteAnchor(pos=XDRPoint2D(x=3 * COLUMN, y=ROW), ext=XDRPositiveSize2D(cx=WIDE, cy=HIGH)))

hidden = sheet_of(book, "Скрытые")
for row in range(10, 26):
    hidden.row_dimensions[row].hidden = True
hidden.column_dimensions.group("P", "T", hidden=True)
hidden.cell(50, 22, "конец")
chart_of(hidden, "Строки скрыты", two_cells(1, 9, 6, 25))
chart_of(hidden, "Столбцы скрыты", two_cells(15, 30, 20, 45))
chart_of(hidden, "До строки 26", two_cells(7, 9, 12, 25, 0, ROW // 2))
chart_of(hidden, "По ячейке", OneCellAnchor(_from=AnchorMarker(col=1, row=9), ext=XDRPositiveSize2D(cx=WIDE, cy=HIGH)))

book.save(sys.argv[1])
