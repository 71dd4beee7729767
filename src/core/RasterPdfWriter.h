#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>
#include <QSizeF>

class QIODevice;

// Serializer of rasterised PDFs: a minimal PDF 1.4 file in a fixed layout with
// one picture per page, written without pdfium. The size forecast builds the
// very same object texts and only adds up their lengths, so a forecast over
// every page equals the written file to the byte.
//
// Object numbers for n pages: 0 the free head of the cross-reference table,
// 1 the catalog, 2 the page tree, and for page k: 3k+3 the page, 3k+4 its
// picture (the page's only resource, /Im0), 3k+5 its content stream.
//
// Usage: writeStart(), writePage() for every page in order, writeEnd().
// Every write is checked: a failed or short write gives false.
class RasterPdfWriter {
public:
    enum class PictureKind { Monochrome, JpegGray, JpegRgb };

    // An encoded page picture.
    struct Picture {
        QByteArray bytes;
        QSize pixelSize;
        PictureKind kind = PictureKind::JpegRgb;
    };

    // The bodies of the three objects of one page.
    struct PageObjects {
        QByteArray page;
        QByteArray image;
        QByteArray content;
    };

    RasterPdfWriter(QIODevice& out, int pageCount);

    bool writeStart();
    bool writePage(int pageIndex, const PageObjects& objects);
    bool writeEnd();

    // Layout.
    static int objectCount(int pageCount) { return 3 * pageCount + 3; }
    static int pageObjectNumber(int pageIndex) { return 3 * pageIndex + 3; }
    static QByteArray header();
    static QByteArray catalogBody();
    static QByteArray pageTreeBody(int pageCount);
    static PageObjects pageObjects(int pageIndex, const QSizeF& pagePoints, const Picture& picture);
    static QByteArray crossReferenceAndTrailer(const QList<qint64>& offsets, int objectCount, qint64 startXref);

    // Bytes the three objects of page pageIndex take in the file.
    static qint64 pageObjectsSize(int pageIndex, const PageObjects& objects);
    // Size of the whole file for pageCount pages whose objects take pageObjectsTotal bytes.
    static qint64 fileSize(int pageCount, qint64 pageObjectsTotal);

    // Forecast over a sample. Up to kLargestFullForecast pages every page is
    // its own sample. Above, the pages are ordered by weight (how much they
    // hold) and cut into strata of neighbours, at least a tenth of the pages
    // and at most kLargestSample; the middle page of each stands for it.
    static constexpr int kLargestFullForecast = 20;
    static constexpr int kSmallestSample = 10;
    static constexpr int kLargestSample = 40;
    struct SampledPage {
        int pageIndex = 0;
        int represents = 1;  // pages of its stratum
    };
    // In page order; one weight per page of the document.
    static QList<SampledPage> stratifiedSample(const QList<qint64>& pageWeights);

    // Primitives.
    static bool writePdfObject(QIODevice& out, QList<qint64>& offsets, int number, const QByteArray& body);
    static qint64 serializedPdfObjectSize(int number, const QByteArray& body);
    static QByteArray pdfNumber(double value);

    // Page encoders; an empty result on failure.
    static QByteArray imageToJpegBytes(QImage image, int quality, bool grayscale);
    static QByteArray imageToMonoFlateBytes(const QImage& image);
    // A rendered page as a 1-bit Flate picture (monochrome) or a JPEG.
    static Picture encodePicture(const QImage& page, bool monochrome, int jpegQuality, bool grayscale);

private:
    bool writeAll(const QByteArray& bytes);

    QIODevice& m_out;
    int m_pageCount;
    QList<qint64> m_offsets;
};
