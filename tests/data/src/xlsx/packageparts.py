"""What the workbooks written part by part share: namespaces, the package's
own parts, inline texts, chart caches and axes."""
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
