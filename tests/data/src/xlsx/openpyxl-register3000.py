"""Writes a register of 3,000 payments with openpyxl (roubles, VAT amounts
written as binary fractions near a half kopeck, dates, month names,
percentages, zero-padded codes), for comparing the imported pages with
LibreOffice's PDF of it cell by cell: see compare-with-libreoffice.sh.

    python3 openpyxl-register3000.py OUT.xlsx      (openpyxl 3.1)
"""
import datetime, random, sys
from openpyxl import Workbook
random.seed(7)
book = Workbook(); s = book.active; s.title = "Реестр"
s.append(["№", "Контрагент", "Сумма", "НДС 20%", "Дата", "Месяц", "Доля", "Код"])
for n in range(1, 3001):
    amount = round(random.uniform(10, 100000), 2)
    s.append([n, "ООО %d" % n, amount, amount * 0.2 / 1.2 if n % 2 else round(amount * 0.2, 3) + 0.005,
              datetime.date(2024, 1, 1) + datetime.timedelta(days=n % 365),
              datetime.date(2024, 1 + n % 12, 15), random.random(), n * 7])
    r = n + 1
    s.cell(r, 3).number_format = '#,##0.00" ₽"'
    s.cell(r, 4).number_format = '#,##0.00\\ "руб."'
    s.cell(r, 5).number_format = "dd.mm.yyyy"
    s.cell(r, 6).number_format = "mmm-yy"
    s.cell(r, 7).number_format = "0.0%"
    s.cell(r, 8).number_format = "000000"
for c, w in zip("ABCDEFGH", (6, 12, 14, 14, 11, 8, 7, 8)):
    s.column_dimensions[c].width = w
book.save(sys.argv[1])
