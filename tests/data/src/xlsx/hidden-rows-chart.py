#!/usr/bin/env python3
"""A workbook as Excel writes it, part by part: eleven regions on sheet
"Данные" with rows 3, 6 and 9 hidden (values 9001-9003 against about 100),
and on sheet "Диаграмма" a bar chart of them that plots visible cells only,
its cache holding every cell of the range."""
import sys
import zipfile

R = 'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
M = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
C = 'xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart"'
A = 'xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"'
RELS = '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
DOC = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
TYPE = 'application/vnd.openxmlformats-officedocument.'

values = [100, 104, 9001, 98, 102, 9002, 97, 105, 9003, 101, 99]
parts = {}
parts['[Content_Types].xml'] = (
    '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    '<Default Extension="xml" ContentType="application/xml"/>'
    f'<Override PartName="/xl/workbook.xml" ContentType="{TYPE}spreadsheetml.sheet.main+xml"/>'
    f'<Override PartName="/xl/worksheets/sheet1.xml" ContentType="{TYPE}spreadsheetml.worksheet+xml"/>'
    f'<Override PartName="/xl/worksheets/sheet2.xml" ContentType="{TYPE}spreadsheetml.worksheet+xml"/>'
    f'<Override PartName="/xl/drawings/drawing1.xml" ContentType="{TYPE}drawing+xml"/>'
    f'<Override PartName="/xl/charts/chart1.xml" ContentType="{TYPE}drawingml.chart+xml"/></Types>')
parts['_rels/.rels'] = RELS + f'<Relationship Id="rId1" Type="{DOC}officeDocument" Target="xl/workbook.xml"/></Relationships>'
parts['xl/workbook.xml'] = (f'<workbook {M} {R}><sheets><sheet name="Данные" sheetId="1" r:id="rId1"/>'
                            '<sheet name="Диаграмма" sheetId="2" r:id="rId2"/></sheets></workbook>')
parts['xl/_rels/workbook.xml.rels'] = (RELS + f'<Relationship Id="rId1" Type="{DOC}worksheet" Target="worksheets/sheet1.xml"/>'
                                       f'<Relationship Id="rId2" Type="{DOC}worksheet" Target="worksheets/sheet2.xml"/>'
                                       '</Relationships>')
rows = ''.join(f'<row r="{i + 1}"' + (' hidden="1"' if v > 9000 else '') +
               f'><c r="A{i + 1}" t="inlineStr"><is><t>Регион {i + 1}</t></is></c><c r="B{i + 1}"><v>{v}</v></c></row>'
               for i, v in enumerate(values))
parts['xl/worksheets/sheet1.xml'] = f'<worksheet {M} {R}><sheetData>{rows}</sheetData></worksheet>'
parts['xl/worksheets/sheet2.xml'] = (f'<worksheet {M} {R}><sheetData><row r="1"><c r="A1" t="inlineStr"><is><t>Итоги</t>'
                                     '</is></c></row></sheetData><drawing r:id="rId1"/></worksheet>')
parts['xl/worksheets/_rels/sheet2.xml.rels'] = (RELS + f'<Relationship Id="rId1" Type="{DOC}drawing" '
                                                'Target="../drawings/drawing1.xml"/></Relationships>')
parts['xl/drawings/drawing1.xml'] = (
    f'<xdr:wsDr xmlns:xdr="http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing" {A} {C} {R}>'
    '<xdr:twoCellAnchor><xdr:from><xdr:col>3</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>1</xdr:row><xdr:rowOff>0'
    '</xdr:rowOff></xdr:from><xdr:to><xdr:col>10</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>16</xdr:row><xdr:rowOff>0'
    '</xdr:rowOff></xdr:to><xdr:graphicFrame macro=""><xdr:nvGraphicFramePr><xdr:cNvPr id="2" name="Chart 1"/>'
    '<xdr:cNvGraphicFramePr/></xdr:nvGraphicFramePr><xdr:xfrm><a:off x="0" y="0"/><a:ext cx="0" cy="0"/></xdr:xfrm>'
    '<a:graphic><a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/chart"><c:chart r:id="rId1"/>'
    '</a:graphicData></a:graphic></xdr:graphicFrame><xdr:clientData/></xdr:twoCellAnchor></xdr:wsDr>')
parts['xl/drawings/_rels/drawing1.xml.rels'] = (RELS + f'<Relationship Id="rId1" Type="{DOC}chart" '
                                                'Target="../charts/chart1.xml"/></Relationships>')
points = ''.join(f'<c:pt idx="{i}"><c:v>{v}</c:v></c:pt>' for i, v in enumerate(values))
names = ''.join(f'<c:pt idx="{i}"><c:v>Регион {i + 1}</c:v></c:pt>' for i in range(len(values)))
count = f'<c:ptCount val="{len(values)}"/>'
parts['xl/charts/chart1.xml'] = (
    f'<c:chartSpace {C} {A} {R}><c:chart><c:title><c:tx><c:rich><a:bodyPr/><a:p><a:r><a:t>Выручка по месяцам</a:t>'
    '</a:r></a:p></c:rich></c:tx><c:overlay val="0"/></c:title><c:autoTitleDeleted val="0"/><c:plotArea><c:layout/>'
    '<c:barChart><c:barDir val="col"/><c:grouping val="clustered"/><c:varyColors val="0"/><c:ser><c:idx val="0"/>'
    f'<c:order val="0"/><c:cat><c:strRef><c:f>Данные!$A$1:$A$11</c:f><c:strCache>{count}{names}</c:strCache>'
    f'</c:strRef></c:cat><c:val><c:numRef><c:f>Данные!$B$1:$B$11</c:f><c:numCache><c:formatCode>General'
    f'</c:formatCode>{count}{points}</c:numCache></c:numRef></c:val></c:ser><c:axId val="1"/><c:axId val="2"/>'
    '</c:barChart><c:catAx><c:axId val="1"/><c:scaling><c:orientation val="minMax"/></c:scaling><c:delete val="0"/>'
    '<c:axPos val="b"/><c:crossAx val="2"/></c:catAx><c:valAx><c:axId val="2"/><c:scaling><c:orientation '
    'val="minMax"/></c:scaling><c:delete val="0"/><c:axPos val="l"/><c:crossAx val="1"/></c:valAx></c:plotArea>'
    '<c:plotVisOnly val="1"/></c:chart></c:chartSpace>')

with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as book:
    for name, text in parts.items():
        book.writestr(name, text)
