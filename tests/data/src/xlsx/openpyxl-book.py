"""Writes a workbook with openpyxl: built-in time formats, the 1904 date
system and a chart with a title and two axis titles. Column A of the first
sheet holds the text the cell next to it shows.

    python3 openpyxl-book.py OUT.xlsx      (openpyxl 3.1)
"""
import datetime
import sys

from openpyxl import Workbook
from openpyxl.chart import BarChart, Reference
from openpyxl.utils.datetime import CALENDAR_MAC_1904

book = Workbook()
book.epoch = CALENDAR_MAC_1904
sheet = book.active
sheet.title = "Время"
# (shown, value, format); the codes are the built-in ones of ids 18-21, 45-47 and 14.
rows = [
    ("12:30", datetime.time(12, 30), "h:mm"),
    ("6:05 PM", datetime.time(18, 5), "h:mm AM/PM"),
    ("7:01:02", datetime.time(7, 1, 2), "h:mm:ss"),
    ("11:59:59 PM", datetime.time(23, 59, 59), "h:mm:ss AM/PM"),
    ("04:30", datetime.time(0, 4, 30), "mm:ss"),
    ("49:15:00", datetime.timedelta(hours=49, minutes=15), "[h]:mm:ss"),
    ("01:02.5", datetime.time(0, 1, 2, 500000), "mmss.0"),
    ("07.12.2026", datetime.date(2026, 12, 7), "mm-dd-yy"),
    ("07.12.2026 12:30", datetime.datetime(2026, 12, 7, 12, 30), "m/d/yy h:mm"),
]
for number, (shown, value, code) in enumerate(rows, start=1):
    sheet.cell(number, 1, shown)
    cell = sheet.cell(number, 2, value)
    cell.number_format = code

data = book.create_sheet("Диаграмма")
data.append(["Месяц", "Выручка"])
for month, amount in [("Янв", 120), ("Фев", 135), ("Мар", 150)]:
    data.append([month, amount])
chart = BarChart()
chart.title = "Выручка по месяцам"
chart.x_axis.title = "Месяц"
chart.y_axis.title = "Тыс. руб."
chart.add_data(Reference(data, min_col=2, min_row=1, max_row=4), titles_from_data=True)
chart.set_categories(Reference(data, min_col=1, min_row=2, max_row=4))
data.add_chart(chart, "D2")

book.save(sys.argv[1])
