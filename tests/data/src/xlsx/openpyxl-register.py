"""Writes a small register as a clerk keeps it, with openpyxl: roubles in
three spellings, a month-and-year date, a zero-padded number, percentages,
VAT amounts that round on a half kopeck, a merged title, a wrapped note, a
long text spilling into empty cells, a hidden row, a hidden column and a
hidden sheet (a password and a purchase price that must not be printed), a
formula saved without its result, and a second sheet of 120 rows.

    python3 openpyxl-register.py OUT.xlsx      (openpyxl 3.1)
"""
import datetime
import sys

from openpyxl import Workbook
from openpyxl.styles import Alignment, Font

book = Workbook()
sheet = book.active
sheet.title = "Реестр"
sheet["A1"] = "Реестр платежей"
sheet["A1"].font = Font(bold=True, size=14)
sheet.merge_cells("A1:D1")
sheet.append(["Номер", "Сумма", "НДС", "Месяц", "Закупка", "Доля"])
# Amounts whose 20 % VAT ends on a half kopeck in decimal but not in binary.
rows = [
    (42, 1234.5, 0.205, datetime.date(2024, 3, 15), 777.77, 0.125),
    (7, 56.78, 1.005, datetime.date(2023, 11, 2), 12.5, 0.5),
    (1001, 1000000, 2.675, datetime.date(2024, 1, 31), 99.99, 0.3333),
]
for number, amount, vat, month, price, share in rows:
    sheet.append([number, amount, vat, month, price, share])
for r in range(3, 6):
    sheet.cell(r, 1).number_format = "000000"
    sheet.cell(r, 2).number_format = '#,##0.00" ₽"'
    sheet.cell(r, 3).number_format = '#,##0.00\\ "руб."'
    sheet.cell(r, 4).number_format = "mmm-yy"
    sheet.cell(r, 5).number_format = "[$₽-419]#,##0.00"
    sheet.cell(r, 6).number_format = "0.0%"
sheet["A7"] = "Пароль: секрет123"
sheet.row_dimensions[7].hidden = True
sheet.column_dimensions["E"].hidden = True
sheet["A8"] = "Примечание: длинный текст, который не помещается в одну ячейку и переходит в соседние пустые"
sheet["B9"] = "Перенос строк внутри ячейки: текст переносится по словам"
sheet["B9"].alignment = Alignment(wrap_text=True)
sheet["A10"] = "Итого"
sheet["B10"] = "=SUM(B3:B5)"
for column, width in zip("ABCDEF", (12, 16, 14, 10, 12, 8)):
    sheet.column_dimensions[column].width = width

hidden = book.create_sheet("Служебный")
hidden["A1"] = "Цена закупки: 555,55"
hidden.sheet_state = "hidden"

long = book.create_sheet("Журнал")
long.append(["№", "Контрагент", "Сумма"])
for n in range(1, 121):
    long.append([n, "ООО «Ромашка» %d" % n, n * 10.5])
    long.cell(n + 1, 3).number_format = "#,##0.00"

book.save(sys.argv[1])
