#!/usr/bin/env python3
"""Date cells of ISO 8601 text (t="d") as spreadsheet libraries write them,
part by part: times with zones, fractions of a second, the end of a day,
and texts LibreOffice keeps as text (a time without its day, no seconds,
zones written otherwise). Column A holds what LibreOffice prints for the
cell beside it; column C says "текст" where the cell stays text."""
import sys
from xml.sax.saxutils import escape

from packageparts import M, package, styles, text, write

# (LibreOffice's print, the cell's text, its format code; a text when the last is set)
rows = [
    ("15.03.2023 09:30:00", "2023-03-15T12:30:00+03:00", "dd.mm.yyyy hh:mm:ss"),
    ("15.03.2023 11:00:00", "2023-03-15T06:00:00-05:00", "dd.mm.yyyy hh:mm:ss"),
    ("15.03.2023", "2023-03-15T23:59:59.999", "dd.mm.yyyy"),
    ("15.03.2023 23:59:59", "2023-03-15T23:59:59.999", "dd.mm.yyyy hh:mm:ss"),
    ("12:30:00.000", "2023-03-15T12:30:00.5", "hh:mm:ss.000"),
    ("12:30:45", "2023-03-15T12:30:45,5", "hh:mm:ss"),
    ("14.03.2023 10:00", "2023-03-15T00:00:00+14:00", "dd.mm.yyyy hh:mm"),
    ("16.03.2023 02:30", "2023-03-15T12:30:00-14:00", "dd.mm.yyyy hh:mm"),
    ("16.03.2023 00:30", "2023-03-15T23:30:00-01:00", "dd.mm.yyyy hh:mm"),
    ("01.01.2024 01:00", "2023-12-31T22:00:00-03:00", "dd.mm.yyyy hh:mm"),
    ("15.03.2023 09:30", "2023-03-15T12:30:00.999+03:00", "dd.mm.yyyy hh:mm"),
    ("12:30:00", "2023-03-15T12:30:00Z", "hh:mm:ss"),
    ("12:30:00", "2023-03-15t12:30:00z", "hh:mm:ss"),
    ("16.03.2023 00:00", "2023-03-15T24:00:00", "dd.mm.yyyy hh:mm"),
    ("14.03.2023 21:00", "2023-03-15+03:00", "dd.mm.yyyy hh:mm"),
    ("29.12.1899 18:00", "1899-12-29T18:00:00", "dd.mm.yyyy hh:mm"),
    ("31.12.9999", "9999-12-31T23:59:59", "dd.mm.yyyy"),
    ("2023-03-15T12:30", "2023-03-15T12:30", "hh:mm", True),
    ("12:30:00", "12:30:00", "hh:mm", True),
    ("2023-03-15T12:30:00+0300", "2023-03-15T12:30:00+0300", "hh:mm", True),
    ("2023-03-15T12:30:00+15:00", "2023-03-15T12:30:00+15:00", "hh:mm", True),
    ("2023-03-15T24:00:01", "2023-03-15T24:00:01", "hh:mm", True),
    ("2023-02-29", "2023-02-29", "dd.mm.yyyy", True),
    ("2023-03-15 12:30:00", "2023-03-15 12:30:00", "dd.mm.yyyy", True),
]
codes = sorted({row[2] for row in rows})
ids = {code: 164 + i for i, code in enumerate(codes)}

parts = package([('/xl/workbook.xml', 'spreadsheetml.sheet.main+xml'),
                 ('/xl/worksheets/sheet1.xml', 'spreadsheetml.worksheet+xml'),
                 ('/xl/styles.xml', 'spreadsheetml.styles+xml')])
parts['xl/workbook.xml'] = (f'<workbook {M} xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/'
                            'relationships"><sheets><sheet name="Даты" sheetId="1" r:id="rId1"/></sheets></workbook>')
parts['xl/_rels/workbook.xml.rels'] = (
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" '
    'Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" '
    'Target="worksheets/sheet1.xml"/><Relationship Id="rId2" Type="http://schemas.openxmlformats.org/'
    'officeDocument/2006/relationships/styles" Target="styles.xml"/></Relationships>')
parts['xl/styles.xml'] = styles([(ids[code], code) for code in codes], [ids[code] for code in codes])
cells = ''
for r, (shown, value, code, *kept) in enumerate(rows, start=1):
    style = codes.index(code) + 1
    cells += (f'<row r="{r}">{text(f"A{r}", shown)}<c r="B{r}" s="{style}" t="d"><v>{escape(value)}</v></c>' +
              (text(f"C{r}", "текст") if kept else '') + '</row>')
parts['xl/worksheets/sheet1.xml'] = (f'<worksheet {M}><cols><col min="1" max="3" width="28" customWidth="1"/>'
                                     f'</cols><sheetData>{cells}</sheetData></worksheet>')
write(sys.argv[1], parts)
