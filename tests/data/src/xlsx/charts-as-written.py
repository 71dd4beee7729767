#!/usr/bin/env python3
"""A clerk's report as Excel writes it, part by part. Sheet "Отчёт": eight
regions under a header, row 4 hidden and row 6 hidden by a height of 0
("Север", 9001 against about 100), the figures of column C under a written
"General" code (LibreOffice's default style), and a bar chart that plots
visible cells only over names that grow with their rows: its values
OFFSET('Отчёт'!$B$2,0,0,COUNTA('Отчёт'!$A:$A)-1,1), its categories a range
ending in INDEX; a second series (7771) unticked in the chart's filter.
Row 10: 123456789012345678 under "#,##0" and -0.5 under "[h]:mm".
Sheet "Диаграмма" is a chart sheet with a pie of the same names."""
import sys

from packageparts import A, AXES, C, C15, DOC, M, R, RELS, XDR, cache, package, styles, text, write

regions = ['Юг', 'Запад', 'Восток', 'Центр', 'Север', 'Урал', 'Сибирь', 'Дальний Восток']
values = [120, 104, 9002, 98, 9001, 102, 97, 105]
hidden = {4: ' hidden="1"', 6: ' ht="0" customHeight="1"'}  # sheet rows
# Column C under the written "General", D under the built-in one; the hidden
# rows hold 777.777 and 555.555.
figures = ['1234567890123.45', '9.99999999999E+307', '777.777', '1E-10', '555.555', '1.2345E-05',
           '0.333333333333333', '123456789012345678']

overrides = [('/xl/workbook.xml', 'spreadsheetml.sheet.main+xml'),
             ('/xl/worksheets/sheet1.xml', 'spreadsheetml.worksheet+xml'),
             ('/xl/chartsheets/sheet1.xml', 'spreadsheetml.chartsheet+xml'),
             ('/xl/styles.xml', 'spreadsheetml.styles+xml'),
             ('/xl/drawings/drawing1.xml', 'drawing+xml'), ('/xl/drawings/drawing2.xml', 'drawing+xml'),
             ('/xl/charts/chart1.xml', 'drawingml.chart+xml'), ('/xl/charts/chart2.xml', 'drawingml.chart+xml')]
parts = package(overrides)
parts['xl/workbook.xml'] = (
    f'<workbook {M} {R}><sheets><sheet name="Отчёт" sheetId="1" r:id="rId1"/>'
    '<sheet name="Диаграмма" sheetId="2" r:id="rId2"/></sheets><definedNames>'
    "<definedName name=\"Продажи\">OFFSET('Отчёт'!$B$2,0,0,COUNTA('Отчёт'!$A:$A)-1,1)</definedName>"
    "<definedName name=\"Регионы\">'Отчёт'!$A$2:INDEX('Отчёт'!$A:$A,COUNTA('Отчёт'!$A:$A))</definedName>"
    '</definedNames></workbook>')
parts['xl/_rels/workbook.xml.rels'] = (
    RELS + f'<Relationship Id="rId1" Type="{DOC}worksheet" Target="worksheets/sheet1.xml"/>'
    f'<Relationship Id="rId2" Type="{DOC}chartsheet" Target="chartsheets/sheet1.xml"/>'
    f'<Relationship Id="rId3" Type="{DOC}styles" Target="styles.xml"/></Relationships>')
# Style 1: "General" as a written code; style 2: [h]:mm; style 3: #,##0.
parts['xl/styles.xml'] = styles([(164, 'General'), (165, '[h]:mm')], [164, 165, 3])


rows = f'<row r="1">{text("A1", "Регион")}{text("B1", "Выручка")}{text("C1", "General")}</row>'
for i, (region, value) in enumerate(zip(regions, values)):
    r = i + 2
    rows += (f'<row r="{r}"{hidden.get(r, "")}>{text(f"A{r}", region)}<c r="B{r}"><v>{value}</v></c>'
             f'<c r="C{r}" s="1"><v>{figures[i]}</v></c><c r="D{r}" s="0"><v>{figures[i]}</v></c></row>')
rows += '<row r="10"><c r="C10" s="3"><v>123456789012345678</v></c><c r="D10" s="2"><v>-0.5</v></c></row>'
parts['xl/worksheets/sheet1.xml'] = (
    f'<worksheet {M} {R}><cols><col min="1" max="2" width="16" customWidth="1"/><col min="3" max="4" width="28" '
    f'customWidth="1"/></cols><sheetData>{rows}</sheetData><drawing r:id="rId1"/></worksheet>')
parts['xl/worksheets/_rels/sheet1.xml.rels'] = (RELS + f'<Relationship Id="rId1" Type="{DOC}drawing" '
                                                'Target="../drawings/drawing1.xml"/></Relationships>')
parts['xl/chartsheets/sheet1.xml'] = (f'<chartsheet {M} {R}><sheetPr/><sheetViews><sheetView workbookViewId="0"/>'
                                      '</sheetViews><drawing r:id="rId1"/></chartsheet>')
parts['xl/chartsheets/_rels/sheet1.xml.rels'] = (RELS + f'<Relationship Id="rId1" Type="{DOC}drawing" '
                                                 'Target="../drawings/drawing2.xml"/></Relationships>')
FRAME = ('<xdr:graphicFrame macro=""><xdr:nvGraphicFramePr><xdr:cNvPr id="2" name="Chart 1"/><xdr:cNvGraphicFramePr/>'
         '</xdr:nvGraphicFramePr><xdr:xfrm><a:off x="0" y="0"/><a:ext cx="0" cy="0"/></xdr:xfrm><a:graphic>'
         '<a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/chart"><c:chart r:id="rId1"/>'
         '</a:graphicData></a:graphic></xdr:graphicFrame>')
parts['xl/drawings/drawing1.xml'] = (
    f'<xdr:wsDr {XDR} {A} {C} {R}><xdr:twoCellAnchor><xdr:from><xdr:col>5</xdr:col><xdr:colOff>0</xdr:colOff>'
    '<xdr:row>1</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:to><xdr:col>11</xdr:col><xdr:colOff>0</xdr:colOff>'
    f'<xdr:row>16</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:to>{FRAME}<xdr:clientData/></xdr:twoCellAnchor></xdr:wsDr>')
parts['xl/drawings/drawing2.xml'] = (
    f'<xdr:wsDr {XDR} {A} {C} {R}><xdr:absoluteAnchor><xdr:pos x="0" y="0"/><xdr:ext cx="8666049" cy="6293304"/>'
    f'{FRAME}<xdr:clientData/></xdr:absoluteAnchor></xdr:wsDr>')
for n in (1, 2):
    parts[f'xl/drawings/_rels/drawing{n}.xml.rels'] = (RELS + f'<Relationship Id="rId1" Type="{DOC}chart" '
                                                       f'Target="../charts/chart{n}.xml"/></Relationships>')


def series(index, ref, points, wrap='c'):
    return (f'<{wrap}:ser><c:idx val="{index}"/><c:order val="{index}"/><c:cat><c:strRef><c:f>[0]!Регионы</c:f>'
            f'{cache("strCache", regions)}</c:strRef></c:cat><c:val><c:numRef><c:f>{ref}</c:f>'
            f'{cache("numCache", points)}</c:numRef></c:val></{wrap}:ser>')


filtered = ('<c:extLst><c:ext uri="{02D57815-91ED-43cb-92C2-25804820EDAC}" ' + C15 + '><c15:filteredBarSeries>' +
            series(1, "'Отчёт'!$E$2:$E$9", [7771] * len(regions), 'c15') + '</c15:filteredBarSeries></c:ext></c:extLst>')


def chart(title, plot):
    return (f'<c:chartSpace {C} {A} {R}><c:chart><c:title><c:tx><c:rich><a:bodyPr/><a:p><a:r><a:t>{title}</a:t>'
            f'</a:r></a:p></c:rich></c:tx><c:overlay val="0"/></c:title><c:autoTitleDeleted val="0"/><c:plotArea>'
            f'<c:layout/>{plot}</c:plotArea><c:plotVisOnly val="1"/></c:chart></c:chartSpace>')


parts['xl/charts/chart1.xml'] = chart(
    'Выручка', '<c:barChart><c:barDir val="col"/><c:grouping val="clustered"/><c:varyColors val="0"/>' +
    series(0, '[0]!Продажи', values) + f'<c:axId val="1"/><c:axId val="2"/>{filtered}</c:barChart>{AXES}')
parts['xl/charts/chart2.xml'] = chart('Доли', '<c:pieChart><c:varyColors val="1"/>' +
                                      series(0, '[0]!Продажи', values) + '</c:pieChart>')

write(sys.argv[1], parts)
