"""What the workbooks written part by part share: namespaces, the package's
own parts, a style sheet, inline texts, chart caches and axes."""
import zipfile

R = 'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
M = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
C = 'xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart"'
A = 'xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"'
C15 = 'xmlns:c15="http://schemas.microsoft.com/office/drawing/2012/chart"'
XDR = 'xmlns:xdr="http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing"'
RELS = '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
DOC = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
TYPE = 'application/vnd.openxmlformats-officedocument.'

AXES = ('<c:catAx><c:axId val="1"/><c:scaling><c:orientation val="minMax"/></c:scaling><c:delete val="0"/>'
        '<c:axPos val="b"/><c:crossAx val="2"/></c:catAx><c:valAx><c:axId val="2"/><c:scaling><c:orientation '
        'val="minMax"/></c:scaling><c:delete val="0"/><c:axPos val="l"/><c:crossAx val="1"/></c:valAx>')


def package(overrides):
    """The content types of the given (part, kind) overrides and the package's relationship to the workbook."""
    return {
        '[Content_Types].xml': (
            '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/'
            'content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.'
            'relationships+xml"/><Default Extension="xml" ContentType="application/xml"/>' +
            ''.join(f'<Override PartName="{name}" ContentType="{TYPE}{kind}"/>' for name, kind in overrides) +
            '</Types>'),
        '_rels/.rels': RELS + f'<Relationship Id="rId1" Type="{DOC}officeDocument" Target="xl/workbook.xml"/>'
                              '</Relationships>'}


def styles(formats, cells):
    """A style sheet of the given (id, code) number formats; after the default cell style, one per format id in cells."""
    codes = ''.join(f'<numFmt numFmtId="{i}" formatCode="{code}"/>' for i, code in formats)
    xfs = ''.join(f'<xf numFmtId="{i}" applyNumberFormat="1"/>' for i in cells)
    return (f'<styleSheet {M}><numFmts count="{len(formats)}">{codes}</numFmts><fonts count="1"><font><sz val="10"/>'
            '<name val="Arial"/></font></fonts><fills count="2"><fill><patternFill patternType="none"/></fill><fill>'
            '<patternFill patternType="gray125"/></fill></fills><borders count="1"><border/></borders><cellStyleXfs '
            f'count="1"><xf/></cellStyleXfs><cellXfs count="{len(cells) + 1}"><xf numFmtId="0"/>{xfs}</cellXfs>'
            '</styleSheet>')


def text(ref, value):
    return f'<c r="{ref}" t="inlineStr"><is><t>{value}</t></is></c>'


def cache(kind, points):
    body = f'<c:ptCount val="{len(points)}"/>' + ''.join(f'<c:pt idx="{i}"><c:v>{p}</c:v></c:pt>'
                                                          for i, p in enumerate(points))
    return f'<c:{kind}>{body}</c:{kind}>'


def write(path, parts):
    with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as book:
        for name, content in parts.items():
            book.writestr(name, content)
