#pragma once
// The command-line PDF tools (poppler-utils, qpdf, mupdf-tools, libxml2-utils) that the
// tests use to look at written files from outside.

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QList>
#include <QMap>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

namespace pdftools {

bool installed(const QString& program);

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};
Result run(const QString& program, const QStringList& arguments);

// One row of "pdfimages -list".
struct ImageRow {
    int page = 0;
    QString type;      // image, smask, stencil, ...
    int width = 0;
    int height = 0;
    QString color;     // gray, rgb, index, ...
    int bitsPerComponent = 0;
    QString encoding;  // image (uncompressed or Flate), jpeg, ...
    int xPpi = 0;
    int yPpi = 0;
};
QList<ImageRow> listImages(const QString& pdf);

// Page count, and the size of every page as displayed (pdfinfo's size, turned by its rotation).
int pageCount(const QString& pdf);
QList<QSizeF> pageSizes(const QString& pdf);

// Fonts listed by pdffonts.
int fontCount(const QString& pdf);
struct FontRow {
    QString name;
    bool embedded = false;
    bool subset = false;
};
QList<FontRow> listFonts(const QString& pdf);

// One page rendered by pdftoppm at dpi (null on failure); pageIndex counts from 0.
QImage renderPage(const QString& pdf, int pageIndex, int dpi);

// The same page rendered by mupdf (mutool draw), grey, null on failure.
QImage mupdfRenderPage(const QString& pdf, int pageIndex, int dpi);

// The words pdftotext reads on a page, in its order (each word on its own,
// also where two words overlap).
QStringList words(const QString& pdf, int pageIndex);

// One word of "pdftotext -bbox": its box in points, top-left origin.
struct WordBox {
    QString text;
    QRectF box;
};
QList<WordBox> wordBoxes(const QString& pdf, int pageIndex);

// The text mupdf reads on a page (mutool draw -F txt); empty where it reads none.
QString mupdfText(const QString& pdf, int pageIndex, const QString& password = QString());

// How many times each letter stands in a text, blanks aside: readers part
// words (of lines laid over each other, of a line in content order) each
// their own way.
QMap<QChar, int> letterCounts(const QString& text);

// One character mupdf reads on a page (mutool draw -F stext): its text, its
// origin (points, top-left origin), its font's name and size and its colour.
struct MupdfChar {
    QString text;
    QPointF origin;
    QString font;
    double size = 0;
    QColor color;
};
QList<MupdfChar> mupdfChars(const QString& pdf, int pageIndex);

// The page count each reader finds: qpdf, poppler (pdfinfo) and mupdf (mutool info); -1 where one fails.
// password: given to qpdf and mupdf, which ask for it where poppler does not.
struct ReaderPageCounts {
    int qpdf = -1;
    int poppler = -1;
    int mupdf = -1;
};
ReaderPageCounts readerPageCounts(const QString& pdf, const QString& password = QString());

} // namespace pdftools
