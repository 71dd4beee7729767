#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "PdfTools.h"

#include <QColorSpace>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

using fixtures::ImageSpec;
using fixtures::filesIn;
using fixtures::PageSpec;
using fixtures::readFile;
using fixtures::TextRun;
using fixtures::writeFile;
using Options = PdfDocument::CompressionOptions;

Q_DECLARE_METATYPE(PdfDocument::CompressionOptions)

namespace {

Options rasterOptions(int dpi, int quality = 55, bool grayscale = false, bool monochrome = false)
{
    return {.imageDpi = dpi, .jpegQuality = quality, .grayscale = grayscale, .monochrome = monochrome};
}

Options keepingOptions(int dpi, bool recompressSmallImages, bool grayscale = false)
{
    return {.imageDpi = dpi, .grayscale = grayscale, .recompressSmallImages = recompressSmallImages,
            .rasterizePages = false};
}

PageSpec textPage(const QString& text, double width = 595, double height = 842)
{
    PageSpec page;
    page.width = width;
    page.height = height;
    for (int line = 0; line < 4; ++line)
        page.runs << TextRun{text, 40, height - 60 - line * 20, 12};
    page.drawBox = true;
    return page;
}

// Three pages of text: plain, turned a quarter, and cropped.
QByteArray mixedPdf()
{
    PageSpec turned = textPage(QStringLiteral("turned page"));
    turned.rotate = 90;
    PageSpec cropped = textPage(QStringLiteral("cropped page"), 400, 300);
    cropped.cropBox = QRectF(10, 20, 300.5, 250.25);
    return fixtures::pagesPdf({textPage(QStringLiteral("first page")), turned, cropped});
}

// Photo-like samples: a gradient with noise, which Flate cannot shrink much
// and JPEG can.
QByteArray noisySamples(int width, int height, int components, quint32 seed = 1)
{
    QRandomGenerator noise(seed);
    QByteArray samples;
    samples.reserve(qsizetype(width) * height * components);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c)
                samples.append(char(std::clamp((x + y * (c + 1)) % 256 + int(noise.bounded(48)) - 24, 0, 255)));
    return samples;
}

// A soft mask whose left half hides the picture.
QByteArray halfMaskSamples(int width, int height)
{
    QByteArray samples;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            samples.append(char(x < width / 2 ? 0 : 255));
    return samples;
}

ImageSpec image(int width, int height, const QString& colorSpace, const QByteArray& samples, const QString& matrix)
{
    ImageSpec result;
    result.width = width;
    result.height = height;
    result.colorSpace = colorSpace;
    result.samples = samples;
    result.matrix = matrix;
    return result;
}

// qpdf's complaints about a file; empty when it passes the check.
QString qpdfCheckFailure(const QString& pdf)
{
    const pdftools::Result check = pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf});
    return check.exitCode == 0 ? QString() : check.out + check.err;
}

} // namespace

class TestPdfDocumentCompression : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void forecastEqualsWrittenSize_data();
    void forecastEqualsWrittenSize();
    void sampledForecastIsCloseOnUnevenPages_data();
    void sampledForecastIsCloseOnUnevenPages();
    void unrenderablePageIsNamedAndTheRestWritten();
    void clampedOptionsWriteTheSameFile_data();
    void clampedOptionsWriteTheSameFile();

    void minimumForecastTakesTheSmallestPreset();
    void forecastFailures_data();
    void forecastFailures();

    void imagesAreReducedToTheTargetDensity_data();
    void imagesAreReducedToTheTargetDensity();
    void colourSurvivesRecompression_data();
    void colourSurvivesRecompression();
    void transparencyIsKept_data();
    void transparencyIsKept();
    void keptCopyKeepsStructureAndMasks_data();
    void keptCopyKeepsStructureAndMasks();
    void damagedFilesNeverCrashTheKeptCopy();

    void compressionFailures_data();
    void compressionFailures();
    void openDocumentIsNotChanged_data();
    void openDocumentIsNotChanged();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    PdfDocument& openFixture(const QByteArray& bytes, const QString& name = QStringLiteral("source.pdf"));
    // The pictures of the copy compressed with the options, as pdfimages lists them.
    QList<pdftools::ImageRow> compressedImages(const QByteArray& source, const Options& options);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PdfDocument> m_doc;
};

// The outside readers that check the copies; scripts/setup.sh installs them.
void TestPdfDocumentCompression::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    for (const char* tool : {"qpdf", "pdfinfo", "pdfimages", "pdffonts", "gs"})
        QVERIFY2(pdftools::installed(QString::fromLatin1(tool)), tool);
}

void TestPdfDocumentCompression::init()
{
    m_doc.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

PdfDocument& TestPdfDocumentCompression::openFixture(const QByteArray& bytes, const QString& name)
{
    m_doc = std::make_unique<PdfDocument>();
    if (!writeFile(path(name), bytes) || !m_doc->open(path(name)))
        qFatal("fixture does not open");
    return *m_doc;
}

QList<pdftools::ImageRow> TestPdfDocumentCompression::compressedImages(const QByteArray& source, const Options& options)
{
    PdfDocument& doc = openFixture(source);
    const QString target = path(QStringLiteral("compressed.pdf"));
    if (!doc.compressTo(target, options)) {
        qWarning() << doc.lastError();
        return {};
    }
    return pdftools::listImages(target);
}

void TestPdfDocumentCompression::forecastEqualsWrittenSize_data()
{
    QTest::addColumn<Options>("options");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<int>("bitsPerComponent");
    QTest::addColumn<int>("dpi");
    QTest::newRow("colour JPEG") << rasterOptions(100) << QStringLiteral("rgb") << 8 << 100;
    QTest::newRow("grey JPEG") << rasterOptions(72, 40, true) << QStringLiteral("gray") << 8 << 72;
    QTest::newRow("monochrome") << rasterOptions(150, 55, false, true) << QStringLiteral("gray") << 1 << 150;
    QTest::newRow("monochrome ignores grey") << rasterOptions(100, 55, true, true) << QStringLiteral("gray") << 1 << 100;
}

// Up to 20 pages every page is rendered and encoded as the writer does, so
// the forecast is the written file's size to the byte. The file passes
// outside readers: one picture a page, no fonts, the pages' sizes.
void TestPdfDocumentCompression::forecastEqualsWrittenSize()
{
    QFETCH(Options, options);
    QFETCH(QString, colour);
    QFETCH(int, bitsPerComponent);
    QFETCH(int, dpi);
    PdfDocument& doc = openFixture(mixedPdf());
    bool sampled = true;
    const qint64 forecast = doc.estimateCompressedSize(options, &sampled);
    QVERIFY2(forecast > 0, qPrintable(doc.lastError()));
    QVERIFY(!sampled);
    const QString target = path(QStringLiteral("out.pdf"));
    QVERIFY2(doc.compressTo(target, options), qPrintable(doc.lastError()));
    QCOMPARE(forecast, QFileInfo(target).size());

    QCOMPARE(qpdfCheckFailure(target), QString());
    QVERIFY(pdftools::fontCount(doc.filePath()) > 0);
    QCOMPARE(pdftools::fontCount(target), 0);
    QCOMPARE(pdftools::pageSizes(target), pdftools::pageSizes(doc.filePath()));
    const QList<pdftools::ImageRow> images = pdftools::listImages(target);
    QCOMPARE(images.size(), 3);
    for (int i = 0; i < images.size(); ++i) {
        const pdftools::ImageRow& row = images.at(i);
        QCOMPARE(row.page, i + 1);
        QCOMPARE(row.type, QStringLiteral("image"));
        QCOMPARE(row.color, colour);
        QCOMPARE(row.bitsPerComponent, bitsPerComponent);
        QCOMPARE(row.xPpi, dpi);
        QCOMPARE(row.yPpi, dpi);
    }
}

// A manual of 60 pages: light front and back matter around body pages that
// differ from each other. The stratified sample forecasts within 15 %.
void TestPdfDocumentCompression::sampledForecastIsCloseOnUnevenPages_data()
{
    QTest::addColumn<Options>("options");
    QTest::newRow("colour 72 dpi") << rasterOptions(72);
    QTest::newRow("monochrome 100 dpi") << rasterOptions(100, 55, false, true);
}

void TestPdfDocumentCompression::sampledForecastIsCloseOnUnevenPages()
{
    QFETCH(Options, options);
    constexpr int kPages = 60;
    QList<PageSpec> pages;
    for (int i = 0; i < kPages; ++i) {
        PageSpec page;
        page.width = 300;
        page.height = 420;
        const bool matter = i < 5 || i >= kPages - 6;
        const int lines = matter ? (i % 2) : 6 + (i * 7) % 19;
        for (int line = 0; line < lines; ++line)
            page.runs << TextRun{QStringLiteral("Line %1 of page %2 WWW").arg(line).arg(i), 20, 400.0 - line * 20, 11};
        if (!matter && i % 3 == 0)
            page.extraContent = QStringLiteral("0.2 0.5 0.8 rg 20 20 %1 %2 re f").arg(100 + i).arg(50 + i);
        pages << page;
    }
    PdfDocument& doc = openFixture(fixtures::pagesPdf(pages));
    bool sampled = false;
    const qint64 forecast = doc.estimateCompressedSize(options, &sampled);
    QVERIFY(sampled);
    const QString target = path(QStringLiteral("out.pdf"));
    QVERIFY2(doc.compressTo(target, options), qPrintable(doc.lastError()));
    const double written = QFileInfo(target).size();
    QVERIFY2(std::abs(forecast - written) <= 0.15 * written,
             qPrintable(QStringLiteral("forecast %1, written %2").arg(forecast).arg(written)));
    QCOMPARE(doc.estimateCompressedSize(options), forecast);  // deterministic
}

// A page too large to render becomes a white page; it is named, and the
// other pages are written and forecast to the byte.
void TestPdfDocumentCompression::unrenderablePageIsNamedAndTheRestWritten()
{
    PageSpec huge;
    huge.width = 14400;
    huge.height = 14400;
    PdfDocument& doc = openFixture(fixtures::pagesPdf(
        {textPage(QStringLiteral("one"), 72, 72), huge, textPage(QStringLiteral("three"), 72, 72)}));
    const QString report = QStringLiteral("Не удалось отрисовать страницу 2; остальные страницы записаны.");
    const qint64 forecast = doc.estimateCompressedSize(rasterOptions(600));
    QCOMPARE(doc.lastError(), report);
    const QString target = path(QStringLiteral("out.pdf"));
    QVERIFY(!doc.compressTo(target, rasterOptions(600)));
    QCOMPARE(doc.lastError(), report);
    QCOMPARE(QFileInfo(target).size(), forecast);
    PdfDocument copy;
    QVERIFY(copy.open(target));
    QCOMPARE(copy.pageCount(), 3);
    QCOMPARE(copy.pageSize(1), QSizeF(14400, 14400));
}

void TestPdfDocumentCompression::clampedOptionsWriteTheSameFile_data()
{
    QTest::addColumn<Options>("options");
    QTest::addColumn<Options>("sameAs");
    QTest::newRow("dpi 10 is 36") << rasterOptions(10) << rasterOptions(36);
    QTest::newRow("dpi 1000 is 600") << rasterOptions(1000) << rasterOptions(600);
    QTest::newRow("quality 0 is 1") << rasterOptions(72, 0) << rasterOptions(72, 1);
    QTest::newRow("quality 150 is 100") << rasterOptions(72, 150) << rasterOptions(72, 100);
    Options small = rasterOptions(72);
    small.recompressSmallImages = false;
    QTest::newRow("small images do not matter when rasterising") << small << rasterOptions(72);
}

void TestPdfDocumentCompression::clampedOptionsWriteTheSameFile()
{
    QFETCH(Options, options);
    QFETCH(Options, sameAs);
    const QList<ImageSpec> images{image(300, 300, QStringLiteral("/DeviceRGB"), noisySamples(300, 300, 3),
                                        fixtures::placement(10, 10, 52, 52))};
    PdfDocument& doc = openFixture(fixtures::imagePdf(images, {}, 72, 72));
    const QString a = path(QStringLiteral("a.pdf"));
    const QString b = path(QStringLiteral("b.pdf"));
    QVERIFY2(doc.compressTo(a, options), qPrintable(doc.lastError()));
    QVERIFY2(doc.compressTo(b, sameAs), qPrintable(doc.lastError()));
    QCOMPARE(readFile(a), readFile(b));
}

// The smallest forecast of the presets is what writing with its options gives.
// Text documents were offered a 1-bit picture copy many times their size: the
// object-keeping copy is a candidate, and nothing larger than the source is.
// That copy compresses page content stored without a filter, passes qpdf's
// check and keeps the text and the page sizes.
void TestPdfDocumentCompression::minimumForecastTakesTheSmallestPreset()
{
    QList<PageSpec> pages;
    for (int i = 0; i < 3; ++i) {
        pages << textPage(QStringLiteral("Text of a clerk's letter, line after line, page %1").arg(i + 1));
        for (int k = 0; k < 200; ++k)
            pages.last().extraContent += QStringLiteral("0.5 g %1 %2 4 4 re f\n").arg(20 + k % 50 * 10).arg(100 + k / 50 * 10);
    }
    PdfDocument& doc = openFixture(fixtures::pagesPdf(pages));
    const PdfDocument::CompressionEstimate best = doc.estimateMinimumCompressedSize();
    QVERIFY2(best.bytes > 0, qPrintable(doc.lastError()));
    QVERIFY(!best.sampled);
    QVERIFY(!best.label.isEmpty());
    QVERIFY(best.bytes <= QFileInfo(doc.filePath()).size());
    QVERIFY(!best.options.rasterizePages);
    for (const Options& preset : {keepingOptions(150, true), rasterOptions(150, 55), rasterOptions(72, 28),
                                  rasterOptions(150, 55, false, true), rasterOptions(72, 35, false, true)})
        QVERIFY(best.bytes <= doc.estimateCompressedSize(preset));
    const QString target = path(QStringLiteral("out.pdf"));
    QVERIFY2(doc.compressTo(target, best.options), qPrintable(doc.lastError()));
    QCOMPARE(QFileInfo(target).size(), best.bytes);
    QVERIFY(best.bytes < QFileInfo(doc.filePath()).size() / 2);
    QCOMPARE(qpdfCheckFailure(target), QString());
    QCOMPARE(pdftools::pageSizes(target), pdftools::pageSizes(doc.filePath()));
    PdfDocument copy;
    QVERIFY(copy.open(target));
    QCOMPARE(copy.extractAllTextAllPages(), doc.extractAllTextAllPages());
    QCOMPARE(copy.renderPage(1, 0.5, 0), doc.renderPage(1, 0.5, 0));
}

void TestPdfDocumentCompression::forecastFailures_data()
{
    QTest::addColumn<int>("state");  // 0 nothing open, 1 no pages, 2 page too large to render
    QTest::addColumn<Options>("options");
    QTest::addColumn<QString>("error");
    QTest::newRow("no document") << 0 << rasterOptions(150) << QStringLiteral("Нет открытого документа.");
    QTest::newRow("no document, keeping objects") << 0 << keepingOptions(150, true)
                                                  << QStringLiteral("Нет открытого документа.");
    QTest::newRow("no pages") << 1 << rasterOptions(150) << QStringLiteral("Документ не содержит страниц.");
    QTest::newRow("page does not render") << 2 << rasterOptions(600)
                                          << QStringLiteral("Не удалось отрисовать страницу 1.");
}

void TestPdfDocumentCompression::forecastFailures()
{
    QFETCH(int, state);
    QFETCH(Options, options);
    QFETCH(QString, error);
    PdfDocument doc;
    if (state == 1)
        QVERIFY(doc.createEmpty());
    PageSpec huge;
    huge.width = 14400;
    huge.height = 14400;
    const QString source = path(QStringLiteral("huge.pdf"));
    if (state == 2)
        QVERIFY(writeFile(source, fixtures::pagesPdf({huge})) && doc.open(source));
    bool sampled = true;
    QCOMPARE(doc.estimateCompressedSize(options, &sampled), qint64(-1));
    QVERIFY(!sampled);
    QCOMPARE(doc.lastError(), error);
    if (state == 2)
        return;  // the object-keeping copy needs no rendering
    const PdfDocument::CompressionEstimate best = doc.estimateMinimumCompressedSize();
    QCOMPARE(best.bytes, qint64(-1));
    QVERIFY(best.label.isEmpty());
    QCOMPARE(doc.lastError(), error);
}

// The object-keeping forecast makes the copy in memory: it is the written
// size, for an unsaved document too.
void TestPdfDocumentCompression::imagesAreReducedToTheTargetDensity_data()
{
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<QString>("matrix");
    QTest::addColumn<int>("rotate");
    QTest::addColumn<Options>("options");
    QTest::addColumn<bool>("reencoded");
    QTest::addColumn<QSize>("written");
    const auto row = [](const char* name, QSize pixels, const QString& matrix, const Options& options, bool reencoded,
                        QSize written, int rotate = 0) {
        QTest::newRow(name) << pixels << matrix << rotate << options << reencoded << written;
    };
    const QSize square(600, 600);
    const QString inch = fixtures::placement(50, 50, 72, 72);
    const QString sixInches = fixtures::placement(50, 50, 432, 432);
    row("one inch at 150 dpi", square, inch, keepingOptions(150, false), true, QSize(150, 150));
    row("six inches need more pixels", square, sixInches, keepingOptions(150, false), false, square);
    row("six inches, small images re-encoded", square, sixInches, keepingOptions(150, true), true, square);
    row("0.05 point wide is never touched", square, fixtures::placement(50, 50, 0.05, 72), keepingOptions(150, true),
        false, square);
    row("dpi 1000 is 600", square, fixtures::placement(50, 50, 36, 36), keepingOptions(1000, false), true,
        QSize(300, 300));
    row("dpi 20 is 36", square, inch, keepingOptions(20, false), true, QSize(36, 36));
    Options monochrome = keepingOptions(150, false);
    monochrome.monochrome = true;
    row("monochrome does not matter", square, inch, monochrome, true, QSize(150, 150));
    row("aspect ratio kept", QSize(600, 300), inch, keepingOptions(150, false), true, QSize(150, 75));
    // 200 x 400 pixels drawn 96 x 192 points are exactly 150 dpi, turned or not.
    row("turned page keeps density", QSize(200, 400), fixtures::placement(50, 50, 96, 192), keepingOptions(150, false),
        false, QSize(200, 400), 90);
    row("turned image keeps density", QSize(400, 200), QStringLiteral("0 192 -96 0 300 300"),
        keepingOptions(150, false), false, QSize(400, 200));
    row("turned image reduced along its sides", QSize(400, 200), QStringLiteral("0 96 -48 0 300 300"),
        keepingOptions(150, false), true, QSize(200, 100));
}

void TestPdfDocumentCompression::imagesAreReducedToTheTargetDensity()
{
    QFETCH(QSize, pixels);
    QFETCH(QString, matrix);
    QFETCH(int, rotate);
    QFETCH(Options, options);
    QFETCH(bool, reencoded);
    QFETCH(QSize, written);
    const QList<ImageSpec> images{image(pixels.width(), pixels.height(), QStringLiteral("/DeviceGray"),
                                        noisySamples(pixels.width(), pixels.height(), 1), matrix)};
    const QList<pdftools::ImageRow> rows = compressedImages(fixtures::imagePdf(images, {}, 595, 842, rotate), options);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0).encoding, reencoded ? QStringLiteral("jpeg") : QStringLiteral("image"));
    QCOMPARE(QSize(rows.at(0).width, rows.at(0).height), written);
    QCOMPARE(rows.at(0).color, QStringLiteral("gray"));
}

void TestPdfDocumentCompression::colourSurvivesRecompression_data()
{
    QTest::addColumn<QString>("colorSpace");
    QTest::addColumn<int>("components");
    QTest::addColumn<QString>("extraObject");  // referred to as %1 in colorSpace
    QTest::addColumn<bool>("grayscale");
    QTest::addColumn<QString>("colour");
    const auto row = [](const char* name, const char* space, int components, const char* colour,
                        const QString& extra = QString(), bool grayscale = false) {
        QTest::newRow(name) << QString::fromLatin1(space) << components << extra << grayscale
                            << QString::fromLatin1(colour);
    };
    row("DeviceRGB", "/DeviceRGB", 3, "rgb");
    row("DeviceRGB, grey asked", "/DeviceRGB", 3, "gray", QString(), true);
    row("DeviceCMYK", "/DeviceCMYK", 4, "rgb");
    row("DeviceGray", "/DeviceGray", 1, "gray");
    row("CalGray", "[/CalGray << /WhitePoint [0.9505 1 1.089] >>]", 1, "gray");
    row("one-component ICC", "[/ICCBased %1 0 R]", 1, "gray",
        fixtures::streamObject(QStringLiteral("/N 1 /Alternate /DeviceGray"), QByteArray("no profile")));
    row("three-component ICC", "[/ICCBased %1 0 R]", 3, "rgb",
        fixtures::streamObject(QStringLiteral("/N 3"), QColorSpace(QColorSpace::SRgb).iccProfile()));
    row("indexed", "[/Indexed /DeviceRGB 1 <FF00000000FF>]", 1, "rgb");
    row("Separation",
        "[/Separation /Spot /DeviceRGB << /FunctionType 2 /Domain [0 1] /C0 [1 1 1] /C1 [1 0 0] /N 1 >>]", 1, "rgb");
    row("DeviceN", "[/DeviceN [/A /B] /DeviceRGB %1 0 R]", 2, "rgb",
        fixtures::streamObject(QStringLiteral("/FunctionType 4 /Domain [0 1 0 1] /Range [0 1 0 1 0 1]"),
                               QByteArray("{ pop dup 0 }")));
}

void TestPdfDocumentCompression::colourSurvivesRecompression()
{
    QFETCH(QString, colorSpace);
    QFETCH(int, components);
    QFETCH(QString, extraObject);
    QFETCH(bool, grayscale);
    QFETCH(QString, colour);
    constexpr int kSide = 200;
    QByteArray samples = noisySamples(kSide, kSide, components);
    if (colorSpace.contains(QLatin1String("Indexed"))) {
        for (char& sample : samples)
            sample = char(uchar(sample) % 2);
    }
    QList<ImageSpec> images{image(kSide, kSide, colorSpace, samples, fixtures::placement(50, 50, 72, 72))};
    if (!extraObject.isEmpty())
        images[0].colorSpace = colorSpace.arg(fixtures::imagePdfExtraObject(images, 0));
    const QStringList extra = extraObject.isEmpty() ? QStringList() : QStringList{extraObject};
    const QList<pdftools::ImageRow> rows =
        compressedImages(fixtures::imagePdf(images, extra), keepingOptions(72, true, grayscale));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0).encoding, QStringLiteral("jpeg"));
    QCOMPARE(rows.at(0).color, colour);
}

void TestPdfDocumentCompression::transparencyIsKept_data()
{
    QTest::addColumn<QString>("entries");
    QTest::addColumn<QString>("graphicsState");
    QTest::addColumn<QStringList>("types");  // pdfimages types of the page, in order
    QTest::addColumn<bool>("reencoded");     // the transparent picture
    const auto row = [](const char* name, const char* entries, const char* state, const char* types, bool reencoded) {
        QTest::newRow(name) << QString::fromLatin1(entries) << QString::fromLatin1(state)
                            << QString::fromLatin1(types).split(u' ') << reencoded;
    };
    row("soft mask", "/SMask %1 0 R", "", "image smask image", true);
    row("colour-key mask becomes a soft mask", "/Mask [0 20 0 20 0 255]", "", "image smask image", true);
    row("stencil", "/ImageMask true", "", "stencil image", false);
    row("translucent drawing", "", "<< /Type /ExtGState /ca 0.5 >>", "image image", false);
    row("blend mode", "", "<< /Type /ExtGState /BM /Multiply >>", "image image", false);
}

// A masked picture is re-encoded with its mask at the same resolution; one
// drawn translucent keeps its stream; the opaque one beside it is re-encoded.
void TestPdfDocumentCompression::transparencyIsKept()
{
    QFETCH(QString, entries);
    QFETCH(QString, graphicsState);
    QFETCH(QStringList, types);
    QFETCH(bool, reencoded);
    constexpr int kSide = 200;
    ImageSpec transparent = image(kSide, kSide, QStringLiteral("/DeviceRGB"), noisySamples(kSide, kSide, 3),
                                  fixtures::placement(50, 50, 72, 72));
    if (entries.contains(QLatin1String("ImageMask"))) {
        transparent.colorSpace.clear();
        transparent.bitsPerComponent = 1;
        transparent.samples = QByteArray((kSide + 7) / 8 * kSide, '\x5A');
    }
    transparent.graphicsState = graphicsState;
    const ImageSpec opaque = image(kSide, kSide, QStringLiteral("/DeviceRGB"), noisySamples(kSide, kSide, 3, 2),
                                   fixtures::placement(300, 50, 72, 72));
    QList<ImageSpec> images{transparent, opaque};
    images[0].extraEntries = entries.contains(QLatin1String("%1"))
                                 ? entries.arg(fixtures::imagePdfExtraObject(images, 0))
                                 : entries;
    const QStringList softMask{fixtures::streamObject(
        QStringLiteral("/Type /XObject /Subtype /Image /Width %1 /Height %1 /BitsPerComponent 8 /ColorSpace /DeviceGray")
            .arg(kSide),
        halfMaskSamples(kSide, kSide))};
    const QByteArray source = fixtures::imagePdf(images, softMask);
    const QList<pdftools::ImageRow> rows = compressedImages(source, keepingOptions(150, true));
    QStringList seen;
    for (const pdftools::ImageRow& row : rows)
        seen << row.type;
    QCOMPARE(seen, types);
    QCOMPARE(rows.first().encoding, reencoded ? QStringLiteral("jpeg") : QStringLiteral("image"));
    QCOMPARE(rows.first().width, reencoded ? 150 : kSide);
    if (types.size() == 3)
        QCOMPARE(QSize(rows.at(1).width, rows.at(1).height), QSize(150, 150));
    QCOMPARE(rows.last().encoding, QStringLiteral("jpeg"));
    QCOMPARE(rows.last().width, 150);
    if (entries.contains(QLatin1String("SMask"))) {
        // The hidden half still shows the white page, not black.
        PdfDocument copy;
        QVERIFY(copy.open(path(QStringLiteral("compressed.pdf"))));
        const QImage page = copy.renderPage(0, 1.0, 0);
        const QRgb hidden = page.pixel(50 + 18, 842 - 50 - 36);
        QVERIFY2(qGray(hidden) > 240, qPrintable(QString::number(hidden, 16)));
    }
}

namespace {

QString imageObject(const QString& colourSpace, const QByteArray& samples, const QString& more = QString())
{
    return fixtures::streamObject(QStringLiteral("/Type /XObject /Subtype /Image /Width 384 /Height 384 "
                                                 "/ColorSpace %1 /BitsPerComponent 8 %2")
                                      .arg(colourSpace, more),
                                  samples);
}

// One page with an outline entry, a form field, a link, XMP metadata, and
// 384-pixel pictures drawn two inches wide (192 ppi): ICC-based with a soft
// mask, RGB with a soft mask, indexed, and grey inside a form XObject.
QByteArray structuredPdf()
{
    constexpr int kSide = 384;
    QByteArray indices = noisySamples(kSide, kSide, 1, 5);
    for (char& index : indices)
        index = char(uchar(index) % 4);
    const QString content = QStringLiteral("q 144 0 0 144 50 600 cm /Im1 Do Q\nq 144 0 0 144 250 600 cm /Im2 Do Q\n"
                                           "q 144 0 0 144 50 400 cm /Im3 Do Q\nq 1 0 0 1 250 400 cm /Fm1 Do Q\n");
    const QByteArray xmp = "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
                           "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
                           "rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:title>vorn marker"
                           "</dc:title></rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
    return fixtures::buildPdf({
        QStringLiteral("<< /Type /Catalog /Pages 2 0 R /Outlines 6 0 R /AcroForm << /Fields [8 0 R] >> "
                       "/Metadata 16 0 R >>"),
        QStringLiteral("<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
        QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /XObject << /Im1 5 0 R "
                       "/Im2 9 0 R /Im3 11 0 R /Fm1 12 0 R >> >> /Contents 4 0 R /Annots [8 0 R 17 0 R] >>"),
        fixtures::streamObject(QString(), content.toLatin1()),
        imageObject(QStringLiteral("[/ICCBased 15 0 R]"), noisySamples(kSide, kSide, 3, 3),
                    QStringLiteral("/SMask 10 0 R")),
        QStringLiteral("<< /Type /Outlines /First 7 0 R /Last 7 0 R /Count 1 >>"),
        QStringLiteral("<< /Title (Chapter one) /Parent 6 0 R /Dest [3 0 R /Fit] >>"),
        QStringLiteral("<< /Type /Annot /Subtype /Widget /FT /Tx /T (clerk) /V (Ivanov) /Rect [300 50 500 80] "
                       "/P 3 0 R /F 4 >>"),
        imageObject(QStringLiteral("/DeviceRGB"), noisySamples(kSide, kSide, 3, 4), QStringLiteral("/SMask 13 0 R")),
        imageObject(QStringLiteral("/DeviceGray"), halfMaskSamples(kSide, kSide)),
        imageObject(QStringLiteral("[/Indexed /DeviceRGB 3 <FF000000FF000000FFFFFF00>]"), indices),
        fixtures::streamObject(QStringLiteral("/Type /XObject /Subtype /Form /BBox [0 0 144 144] "
                                              "/Resources << /XObject << /Im4 14 0 R >> >>"),
                               "q 144 0 0 144 0 0 cm /Im4 Do Q\n"),
        imageObject(QStringLiteral("/DeviceGray"), halfMaskSamples(kSide, kSide)),
        imageObject(QStringLiteral("/DeviceGray"), noisySamples(kSide, kSide, 1, 6)),
        fixtures::streamObject(QStringLiteral("/N 3"), QColorSpace(QColorSpace::SRgb).iccProfile()),
        fixtures::streamObject(QStringLiteral("/Type /Metadata /Subtype /XML"), xmp),
        QStringLiteral("<< /Type /Annot /Subtype /Link /Rect [50 50 150 80] /A << /S /URI "
                       "/URI (https://example.org/) >> >>"),
    });
}

QJsonValue qpdfJson(const QString& pdf, const QString& key)
{
    const pdftools::Result result = pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--json"),
                                                                            QStringLiteral("--json-key=") + key, pdf});
    return QJsonDocument::fromJson(result.out.toUtf8()).object().value(key);
}

// Image XObjects stored in the file, whether anything draws them or not.
int storedImages(const QString& pdf)
{
    const QJsonArray parts = qpdfJson(pdf, QStringLiteral("qpdf")).toArray();
    const QJsonObject objects = parts.at(1).toObject();
    int count = 0;
    for (auto it = objects.begin(); it != objects.end(); ++it) {
        const QJsonValue subtype = it.value()[QStringLiteral("stream")][QStringLiteral("dict")][QStringLiteral("/Subtype")];
        count += subtype.toString() == QLatin1String("/Image") ? 1 : 0;
    }
    return count;
}

QStringList smaskRows(const QList<pdftools::ImageRow>& rows)
{
    QStringList masks;
    for (const pdftools::ImageRow& row : rows)
        if (row.type == QLatin1String("smask"))
            masks << QStringLiteral("%1x%2").arg(row.width).arg(row.height);
    return masks;
}

// The kept copy passes qpdf's check, is smaller, keeps every soft mask and the
// outline, and holds no picture above 72 dpi.
void expectKeptCopy(const QString& source, const QString& target)
{
    QCOMPARE(qpdfCheckFailure(target), QString());
    QVERIFY(QFileInfo(target).size() < QFileInfo(source).size());
    const QList<pdftools::ImageRow> before = pdftools::listImages(source);
    const QList<pdftools::ImageRow> after = pdftools::listImages(target);
    QCOMPARE(smaskRows(after).size(), smaskRows(before).size());
    QVERIFY(!smaskRows(after).isEmpty());
    for (const pdftools::ImageRow& row : after)
        QVERIFY2(row.xPpi <= 73 && row.yPpi <= 73, qPrintable(QStringLiteral("%1 at %2 ppi").arg(row.type).arg(row.xPpi)));
    QCOMPARE(qpdfJson(target, QStringLiteral("outlines")), qpdfJson(source, QStringLiteral("outlines")));
}

} // namespace

void TestPdfDocumentCompression::keptCopyKeepsStructureAndMasks_data()
{
    QTest::addColumn<bool>("modified");
    QTest::addColumn<QString>("program");        // rewrites the file first when set
    QTest::addColumn<QStringList>("arguments");  // %1 the input, %2 the output
    QTest::newRow("the file as read") << false << QString() << QStringList();
    QTest::newRow("unsaved changes, through pdfium's save") << true << QString() << QStringList();
    QTest::newRow("qpdf, object streams") << false << QStringLiteral("qpdf")
                                          << QStringLiteral("--object-streams=generate %1 %2").split(u' ');
    QTest::newRow("ghostscript") << false << QStringLiteral("gs")
                                 << QStringLiteral("-q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -o %2 %1").split(u' ');
}

// Pictures in ICC-based and indexed colour, soft-masked ones and one inside a
// form XObject are all brought to the target density, masks kept, while the
// outline, the form field, the link and the metadata stay. Files as qpdf
// (cross-reference streams) and Ghostscript rewrite them keep masks and outline.
void TestPdfDocumentCompression::keptCopyKeepsStructureAndMasks()
{
    QFETCH(bool, modified);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QByteArray source = structuredPdf();
    if (!program.isEmpty()) {
        const QString input = path(QStringLiteral("input.pdf"));
        const QString produced = path(QStringLiteral("produced.pdf"));
        QVERIFY(writeFile(input, source));
        for (QString& argument : arguments)
            argument.replace(QLatin1String("%1"), input).replace(QLatin1String("%2"), produced);
        const pdftools::Result made = pdftools::run(program, arguments);
        QVERIFY2(made.exitCode == 0, qPrintable(made.err));
        source = readFile(produced);
    }
    PdfDocument& doc = openFixture(source);
    if (modified)
        doc.markModified();
    const QString target = path(QStringLiteral("kept.pdf"));
    QVERIFY2(doc.compressTo(target, keepingOptions(72, false)), qPrintable(doc.lastError()));
    expectKeptCopy(doc.filePath(), target);
    if (QTest::currentTestFailed() || !program.isEmpty())
        return;
    const QList<pdftools::ImageRow> after = pdftools::listImages(target);
    QCOMPARE(after.size(), pdftools::listImages(doc.filePath()).size());
    QCOMPARE(smaskRows(after), (QStringList{QStringLiteral("144x144"), QStringLiteral("144x144")}));
    QCOMPARE(storedImages(target), after.size());  // no replaced stream or mask is left behind
    for (const pdftools::ImageRow& row : after)
        QVERIFY(row.type != QLatin1String("image") || row.encoding == QLatin1String("jpeg"));
    const QJsonValue fields = qpdfJson(target, QStringLiteral("acroform"))[QStringLiteral("fields")];
    QCOMPARE(fields[0][QStringLiteral("fullname")].toString(), QStringLiteral("clerk"));
    QCOMPARE(fields[0][QStringLiteral("value")].toString(), QStringLiteral("u:Ivanov"));
    QVERIFY(pdftools::run(QStringLiteral("pdfinfo"), {QStringLiteral("-meta"), target}).out.contains(
        QLatin1String("vorn marker")));
    PdfDocument copy;
    QVERIFY(copy.open(target));
    QCOMPARE(copy.outline().size(), 1);
    QCOMPARE(copy.linkAtPoint(0, QPointF(100, 65)).url, QUrl(QStringLiteral("https://example.org/")));
}

// The file as read is parsed by the copy's own reader: damaged bytes never
// crash it, and whatever it writes opens again.
void TestPdfDocumentCompression::damagedFilesNeverCrashTheKeptCopy()
{
    const QByteArray source = structuredPdf();
    QRandomGenerator random(7);
    for (int round = 0; round < 24; ++round) {
        QByteArray damaged = source;
        const int edits = 1 + int(random.bounded(6));
        for (int e = 0; e < edits; ++e) {
            const qsizetype at = qsizetype(random.bounded(quint32(damaged.size())));
            if (round % 3 == 0)
                damaged[at] = char(random.bounded(256));
            else if (round % 3 == 1)
                damaged.remove(at, qsizetype(random.bounded(64)));
            else
                damaged.insert(at, QByteArray("<< [( 9 0 R", int(random.bounded(12))));
        }
        PdfDocument doc;
        const QString file = path(QStringLiteral("damaged.pdf"));
        if (!writeFile(file, damaged) || !doc.open(file) || doc.pageCount() < 1)
            continue;
        const QString target = path(QStringLiteral("out.pdf"));
        if (doc.compressTo(target, keepingOptions(72, true))) {
            PdfDocument copy;
            QVERIFY2(copy.open(target), qPrintable(QStringLiteral("round %1").arg(round)));
        }
    }
}

void TestPdfDocumentCompression::compressionFailures_data()
{
    QTest::addColumn<int>("state");  // 0 nothing open, 1 no pages, 2 open fixture
    QTest::addColumn<bool>("rasterize");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("error");  // empty: any reason
    const auto row = [](const char* name, int state, bool rasterize, const char* target, const QString& error) {
        QTest::newRow(name) << state << rasterize << QString::fromLatin1(target) << error;
    };
    const QString own = QStringLiteral("Нельзя записать результат поверх открытого документа.");
    row("no document", 0, true, "out.pdf", QStringLiteral("Нет открытого документа."));
    row("no pages", 1, false, "out.pdf", QStringLiteral("Документ не содержит страниц."));
    row("own file, rasterising", 2, true, "source.pdf", own);
    row("own file, keeping objects", 2, false, "./source.pdf", own);
    row("missing folder, rasterising", 2, true, "missing/out.pdf", QString());
    row("missing folder, keeping objects", 2, false, "missing/out.pdf", QString());
    row("folder in the way, rasterising", 2, true, "folder.pdf", QStringLiteral("Это папка, а не файл"));
    row("folder in the way, keeping objects", 2, false, "folder.pdf", QStringLiteral("Это папка, а не файл"));
}

void TestPdfDocumentCompression::compressionFailures()
{
    QFETCH(int, state);
    QFETCH(bool, rasterize);
    QFETCH(QString, target);
    QFETCH(QString, error);
    const QByteArray source = fixtures::textPdf({QStringLiteral("one")});
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder.pdf")));
    PdfDocument empty;
    PdfDocument* doc = &empty;
    if (state == 1)
        QVERIFY(empty.createEmpty());
    if (state == 2)
        doc = &openFixture(source);
    Options options = rasterOptions(36);
    options.rasterizePages = rasterize;
    QVERIFY(!doc->compressTo(path(target), options));
    if (error.isEmpty())
        QVERIFY(!doc->lastError().isEmpty());
    else
        QCOMPARE(doc->lastError(), error);
    QCOMPARE(filesIn(m_dir->path()), state == 2 ? QStringList{QStringLiteral("source.pdf")} : QStringList());
    if (state == 2)
        QCOMPARE(readFile(path(QStringLiteral("source.pdf"))), source);
    QVERIFY(QFileInfo(path(QStringLiteral("folder.pdf"))).isDir());
}

void TestPdfDocumentCompression::openDocumentIsNotChanged_data()
{
    QTest::addColumn<Options>("options");
    QTest::newRow("rasterising") << rasterOptions(36);
    QTest::newRow("keeping objects") << keepingOptions(72, true);
}

// The forecast is the written size, for both ways of copying; neither changes
// the open document, and an unsaved document is forecast too.
void TestPdfDocumentCompression::openDocumentIsNotChanged()
{
    QFETCH(Options, options);
    const QList<ImageSpec> images{image(300, 300, QStringLiteral("/DeviceRGB"), noisySamples(300, 300, 3),
                                        fixtures::placement(10, 10, 100, 100))};
    const QByteArray source = fixtures::imagePdf(images);
    PdfDocument& doc = openFixture(source);
    const QImage before = doc.renderPage(0, 0.5, 0);
    const qint64 forecast = doc.estimateCompressedSize(options);
    const QString target = path(QStringLiteral("out.pdf"));
    QVERIFY2(doc.compressTo(target, options), qPrintable(doc.lastError()));
    QCOMPARE(QFileInfo(target).size(), forecast);
    QVERIFY(forecast < source.size());
    QVERIFY(!doc.isModified());
    QCOMPARE(doc.pageCount(), 1);
    QCOMPARE(doc.renderPage(0, 0.5, 0), before);
    QCOMPARE(readFile(doc.filePath()), source);

    PdfDocument unsaved;
    QVERIFY(unsaved.createEmpty());
    QVERIFY(unsaved.insertBlankPage(0, QSizeF(595, 842)));
    QVERIFY(unsaved.estimateCompressedSize(options) > 0);
}

QTEST_MAIN(TestPdfDocumentCompression)
#include "tst_pdfdocument_compression.moc"
