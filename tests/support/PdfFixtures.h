#pragma once
// Small PDFs written byte by byte for the tests, so every fixture is visible
// and regenerable.

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>

namespace fixtures {

// A complete PDF from numbered object bodies (object i + 1 is objects[i]);
// object 1 must be the catalog. Offsets and the cross-reference table are exact.
QByteArray buildPdf(const QStringList& objects);

// One text run on a page.
struct TextRun {
    QString text;     // Latin-1 only: drawn with the standard Helvetica font
    double x = 72;
    double y = 700;
    double size = 24;
    QColor color = Qt::black;
    QString font = QStringLiteral("F1");  // F1 is Helvetica; F2.. are PageSpec::extraFonts
    double fillAlpha = 1.0;               // below 1 through an ExtGState /ca
};

// One link annotation on a page.
struct LinkAnnot {
    QRectF rect;      // user space
    int destPage = -1;  // a /Dest to this page index, or
    QString uri;        // a URI action, or
    QString launch;     // a launch action
    QString destView = QStringLiteral("/XYZ 0 0 0");  // the view of the /Dest
};

struct PageSpec {
    QList<TextRun> runs;
    QList<LinkAnnot> links;
    double width = 595;
    double height = 842;
    int rotate = 0;       // /Rotate in degrees
    QRectF cropBox;       // none when empty
    bool drawBox = false; // a filled grey rectangle 100 x 100 at (300, 300)
    QStringList extraFonts;  // BaseFont names of the simple fonts F2, F3, ...
    QString extraContent;    // raw content operators appended to the page
};

// A document of the given pages; text is drawn in the standard Helvetica font.
QByteArray pagesPdf(const QList<PageSpec>& pages);

// Convenience: one A4 page per text.
QByteArray textPdf(const QStringList& pageTexts);

// A document with three empty pages and an outline whose item dictionaries
// are the given object bodies, numbered from firstOutlineObject() on; the
// outline root names firstItemObject and lastItemObject as its children.
QByteArray outlinePdf(const QStringList& outlineItemObjects, int firstItemObject, int lastItemObject);
// Object number of the first outline item in outlinePdf (after catalog, pages,
// the three page objects and the outline root).
constexpr int firstOutlineObject() { return 7; }
constexpr int outlinesObject() { return 6; }
// Object numbers of the three pages in outlinePdf.
constexpr int outlinePageObject(int index) { return 3 + index; }

// One image XObject drawn on the page of imagePdf.
struct ImageSpec {
    int width = 1;                    // pixels
    int height = 1;
    QString colorSpace = QStringLiteral("/DeviceRGB");  // PDF text; may refer to extra objects
    int bitsPerComponent = 8;
    QByteArray samples;               // uncompressed
    QString extraEntries;             // more dictionary entries, e.g. "/SMask 9 0 R"
    QString matrix;                   // the "cm" operands placing the unit square (points)
    QString graphicsState;            // an ExtGState dictionary set before drawing, when not empty
};

// One page of width x height points (with /Rotate rotate) drawing the images in
// order. Objects: 1 catalog, 2 pages, 3 page, 4 content, then one per image,
// then one per graphics state, then extraObjects (see imagePdfExtraObject).
QByteArray imagePdf(const QList<ImageSpec>& images, const QStringList& extraObjects = {}, double width = 595,
                    double height = 842, int rotate = 0);
// Object number of extraObjects[index] in imagePdf.
int imagePdfExtraObject(const QList<ImageSpec>& images, int index);
// A stream object body around raw bytes.
QString streamObject(const QString& dictionaryEntries, const QByteArray& data);
// "a 0 0 d e f": the unit square scaled to width x height at (x, y).
QString placement(double x, double y, double width, double height);

// One page of two lines of Helvetica text ("A line to edit here", "Another
// line stays") followed by drawing (content operators); resources: the font
// F1 and, when image is given (an image stream object's body), the XObject
// Im1. Hostile pages for the edit's bounds are made from it.
QByteArray twoLinePagePdf(const QString& drawing, const QString& image = {},
                          const QString& mediaBox = QStringLiteral("0 0 595 842"));

// A committed PDF of a real producer in tests/data.
QString realPdf(const QString& name);

bool writeFile(const QString& path, const QByteArray& bytes);
// Names of the files (hidden ones too) in a folder, sorted.
QStringList filesIn(const QString& folder);
QByteArray readFile(const QString& path);

// The picture as PNG bytes that record no resolution (no pHYs chunk): an
// import takes it at 150 dpi.
QByteArray pngWithoutResolution(const QImage& image);

} // namespace fixtures
