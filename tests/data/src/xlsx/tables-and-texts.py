#!/usr/bin/env python3
"""A clerk's monthly report as Excel writes it, part by part. Sheet "Отчёт":
a table "Таблица1" over A1:B14 with a header row and a totals row, rows 2, 8
and 13 hidden and holding 9001 to 9003 against about 100; a bar chart that
plots visible cells only over the name Суммы = Таблица1[Сумма], its cache of
all 12 points. Three more charts the author hid: one hidden in the selection
pane, one in a hidden group, one not printed with the sheet. Column E holds
texts with escaped characters (a shared string, an inline string and a
formula's cached string), column F figures in engineering notation and
under a condition's own words for the sign."""
import sys

from packageparts import A, AXES, C, DOC, M, R, RELS, XDR, cache, package, styles, text, write

months = ['Январь', 'Февраль', 'Март', 'Апрель', 'Май', 'Июнь', 'Июль', 'Август', 'Сентябрь', 'Октябрь',
          'Ноябрь', 'Декабрь']
values = [9001, 104, 98, 102, 97, 105, 9002, 101, 99, 103, 100, 9003]
hidden = {2, 8, 13}  # sheet rows
# Column E: (row, cell) of texts; column F: (row, style, value) of figures.
texts = {3: '<c r="E3" t="s"><v>0</v></c>',
         4: '<c r="E4" t="inlineStr"><is><r><t>Таб_x0009_</t></r><r><t>улятор</t></r></is></c>',
         5: '<c r="E5" t="str"><f>CONCATENATE("Литерал_","x000D_конец")</f><v>Литерал_x005F_x000D_конец</v></c>'}
figures = {3: (1, 12345), 4: (2, 1234.5678), 5: (2, 45000.75), 6: (3, 12345), 7: (4, 12345), 9: (5, -5)}

overrides = [('/xl/workbook.xml', 'spreadsheetml.sheet.main+xml'),
             ('/xl/worksheets/sheet1.xml', 'spreadsheetml.worksheet+xml'),
             ('/xl/sharedStrings.xml', 'spreadsheetml.sharedStrings+xml'),
             ('/xl/styles.xml', 'spreadsheetml.styles+xml'),
             ('/xl/tables/table1.xml', 'spreadsheetml.table+xml'),
             ('/xl/drawings/drawing1.xml', 'drawing+xml')] + [
             (f'/xl/charts/chart{n}.xml', 'drawingml.chart+xml') for n in range(1, 5)]
parts = package(overrides)
parts['xl/workbook.xml'] = (
    f'<workbook {M} {R}><sheets><sheet name="Отчёт" sheetId="1" r:id="rId1"/></sheets><definedNames>'
    '<definedName name="Суммы">Таблица1[Сумма]</definedName></definedNames></workbook>')
parts['xl/_rels/workbook.xml.rels'] = (
    RELS + f'<Relationship Id="rId1" Type="{DOC}worksheet" Target="worksheets/sheet1.xml"/>'
    f'<Relationship Id="rId2" Type="{DOC}sharedStrings" Target="sharedStrings.xml"/>'
    f'<Relationship Id="rId3" Type="{DOC}styles" Target="styles.xml"/></Relationships>')
parts['xl/sharedStrings.xml'] = f'<sst {M} count="1" uniqueCount="1"><si><t>Первая_x000D_ строка</t></si></sst>'
# Styles 1 to 5: ##0.0E+0, the built-in 48 (the same code), #0.0E+0, 000.0E+0, [<0]"минус "0;0.
parts['xl/styles.xml'] = styles(
    [(164, '##0.0E+0'), (165, '#0.0E+0'), (166, '000.0E+0'), (167, '[&lt;0]&quot;минус &quot;0;0')],
    [164, 48, 165, 166, 167])


rows = f'<row r="1">{text("A1", "Месяц")}{text("B1", "Сумма")}</row>'
for i, (month, value) in enumerate(zip(months, values)):
    r = i + 2
    style, figure = figures.get(r, (0, None))
    hiding = ' hidden="1"' if r in hidden else ''
    rows += (f'<row r="{r}"{hiding}>{text(f"A{r}", month)}<c r="B{r}"><v>{value}</v></c>{texts.get(r, "")}' +
             (f'<c r="F{r}" s="{style}"><v>{figure}</v></c>' if figure else '') + '</row>')
rows += f'<row r="14">{text("A14", "Итого")}<c r="B14"><f>SUBTOTAL(109,Таблица1[Сумма])</f><v>909</v></c></row>'
parts['xl/worksheets/sheet1.xml'] = (
    f'<worksheet {M} {R}><cols><col min="1" max="2" width="14" customWidth="1"/><col min="5" max="6" width="24" '
    f'customWidth="1"/></cols><sheetData>{rows}</sheetData><drawing r:id="rId1"/><tableParts count="1">'
    '<tablePart r:id="rId2"/></tableParts></worksheet>')
parts['xl/worksheets/_rels/sheet1.xml.rels'] = (
    RELS + f'<Relationship Id="rId1" Type="{DOC}drawing" Target="../drawings/drawing1.xml"/>'
    f'<Relationship Id="rId2" Type="{DOC}table" Target="../tables/table1.xml"/></Relationships>')
parts['xl/tables/table1.xml'] = (
    f'<table {M} id="1" name="Таблица1" displayName="Таблица1" ref="A1:B14" totalsRowCount="1">'
    '<autoFilter ref="A1:B13"/><tableColumns count="2"><tableColumn id="1" name="Месяц" totalsRowLabel="Итого"/>'
    '<tableColumn id="2" name="Сумма" totalsRowFunction="sum"/></tableColumns><tableStyleInfo '
    'name="TableStyleMedium2" showFirstColumn="0" showLastColumn="0" showRowStripes="1" showColumnStripes="0"/>'
    '</table>')


def frame(n, hidden_attr=''):
    return (f'<xdr:graphicFrame macro=""><xdr:nvGraphicFramePr><xdr:cNvPr id="{n + 1}" name="Диаграмма {n}"'
            f'{hidden_attr}/><xdr:cNvGraphicFramePr/></xdr:nvGraphicFramePr><xdr:xfrm><a:off x="0" y="0"/><a:ext '
            'cx="0" cy="0"/></xdr:xfrm><a:graphic><a:graphicData uri="http://schemas.openxmlformats.org/drawingml/'
            f'2006/chart"><c:chart r:id="rId{n}"/></a:graphicData></a:graphic></xdr:graphicFrame>')


def anchor(row, body, client='<xdr:clientData/>'):
    return (f'<xdr:twoCellAnchor><xdr:from><xdr:col>7</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>{row}</xdr:row>'
            f'<xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:to><xdr:col>13</xdr:col><xdr:colOff>0</xdr:colOff>'
            f'<xdr:row>{row + 14}</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:to>{body}{client}</xdr:twoCellAnchor>')


group = ('<xdr:grpSp><xdr:nvGrpSpPr><xdr:cNvPr id="9" name="Группа 1" hidden="1"/><xdr:cNvGrpSpPr/></xdr:nvGrpSpPr>'
         '<xdr:grpSpPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="0" cy="0"/><a:chOff x="0" y="0"/><a:chExt cx="0" '
         f'cy="0"/></a:xfrm></xdr:grpSpPr>{frame(3)}</xdr:grpSp>')
parts['xl/drawings/drawing1.xml'] = (
    f'<xdr:wsDr {XDR} {A} {C} {R}>' + anchor(1, frame(1)) + anchor(16, frame(2, ' hidden="1"')) + anchor(31, group) +
    anchor(46, frame(4), '<xdr:clientData fPrintsWithSheet="0"/>') + '</xdr:wsDr>')
parts['xl/drawings/_rels/drawing1.xml.rels'] = RELS + ''.join(
    f'<Relationship Id="rId{n}" Type="{DOC}chart" Target="../charts/chart{n}.xml"/>' for n in range(1, 5)) + '</Relationships>'


def chart(title, points):
    return (f'<c:chartSpace {C} {A} {R}><c:chart><c:title><c:tx><c:rich><a:bodyPr/><a:p><a:r><a:t>{title}</a:t>'
            '</a:r></a:p></c:rich></c:tx><c:overlay val="0"/></c:title><c:autoTitleDeleted val="0"/><c:plotArea>'
            '<c:layout/><c:barChart><c:barDir val="col"/><c:grouping val="clustered"/><c:varyColors val="0"/><c:ser>'
            '<c:idx val="0"/><c:order val="0"/><c:cat><c:strRef><c:f>Таблица1[Месяц]</c:f>' + cache('strCache', months) +
            '</c:strRef></c:cat><c:val><c:numRef><c:f>[0]!Суммы</c:f>' + cache('numCache', points) +
            f'</c:numRef></c:val></c:ser><c:axId val="1"/><c:axId val="2"/></c:barChart>{AXES}</c:plotArea>'
            '<c:plotVisOnly val="1"/></c:chart></c:chartSpace>')


parts['xl/charts/chart1.xml'] = chart('Суммы по месяцам', values)
for n, title in ((2, 'Скрытая'), (3, 'В скрытой группе'), (4, 'Не печатается')):
    parts[f'xl/charts/chart{n}.xml'] = chart(title, [7771 + n] * len(months))

write(sys.argv[1], parts)
