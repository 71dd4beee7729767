#include "PdfDocument.h"
#include "ScanEngine.h"

#include <QPainter>
#include <QTransform>
#include <QtTest>

#include <array>
#include <cmath>

namespace {

QString scannerFixture(const char* name)
{
    return QStringLiteral(VORN_TEST_DATA "/scanner/") + QLatin1String(name);
}

ScanParams noFlags()
{
    return ScanParams();
}

ScanParams onlyDeskew()
{
    ScanParams params;
    params.skew = true;
    return params;
}

ScanParams allFlags()
{
    ScanParams params;
    params.geomCorr = params.perspCorr = params.skew = params.structural = params.noiseRemove = true;
    params.autoBright = params.autoContrast = params.whiteBalance = params.denoise = params.sharpen = true;
    params.textEnhance = true;
    return params;
}

QImage filled(int w, int h, QColor colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// The turn, to a fifth of a degree, that lines up the dark pixels of a page
// best: measured apart from the chain, on a finer grid.
double residualSkew(const QImage& page)
{
    const QImage grey = page.convertToFormat(QImage::Format_Grayscale8)
                            .scaledToWidth(page.width() / 2, Qt::SmoothTransformation);
    double bestAngle = 0.0;
    double bestScore = -1.0;
    for (int step = -18; step <= 18; ++step) {
        const double angle = step / 5.0;
        QImage turned(grey.size() * 1.2, QImage::Format_Grayscale8);
        turned.fill(255);
        QPainter painter(&turned);
        painter.translate(turned.width() / 2.0, turned.height() / 2.0);
        painter.rotate(angle);
        painter.drawImage(QPointF(-grey.width() / 2.0, -grey.height() / 2.0), grey);
        painter.end();
        double sum = 0.0;
        std::vector<int> counts;
        for (int y = 0; y < turned.height(); ++y) {
            int count = 0;
            for (int x = 0; x < turned.width(); ++x)
                count += turned.constScanLine(y)[x] < 160;
            counts.push_back(count);
            sum += count;
        }
        const double mean = sum / counts.size();
        double score = 0.0;
        for (int c : counts)
            score += (c - mean) * (c - mean);
        if (score > bestScore) {
            bestScore = score;
            bestAngle = angle;
        }
    }
    return bestAngle;
}

// The first page of a real document as a flatbed gives it, in grey.
QImage realPage(const char* pdf, int dpi)
{
    PdfDocument doc;
    if (!doc.open(QStringLiteral(VORN_TEST_DATA "/") + QLatin1String(pdf)))
        return QImage();
    QImage page = doc.renderPage(0, dpi / 72.0, 0).convertToFormat(QImage::Format_Grayscale8);
    page.setDotsPerMeterX(scanDotsPerMeter(dpi));
    page.setDotsPerMeterY(scanDotsPerMeter(dpi));
    return page;
}

// The page turned by degrees about its centre on a white sheet of its size.
QImage turned(const QImage& page, double degrees)
{
    QImage out(page.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(page.width() / 2.0, page.height() / 2.0);
    painter.rotate(degrees);
    painter.translate(-page.width() / 2.0, -page.height() / 2.0);
    painter.drawImage(0, 0, page);
    painter.end();
    return out.convertToFormat(page.format());
}

ScanParams defaultChain()
{
    ScanParams params;
    params.skew = params.noiseRemove = params.autoBright = params.autoContrast = true;
    params.denoise = params.textEnhance = true;
    return params;
}

int greyLevels(const QImage& image)
{
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    std::array<bool, 256> seen{};
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x)
            seen[grey.constScanLine(y)[x]] = true;
    return int(std::count(seen.begin(), seen.end(), true));
}

int greyAt(const QImage& image, int x, int y)
{
    return qGray(image.pixel(x, y));
}

}  // namespace

class TestScanPostProcess : public QObject {
    Q_OBJECT

private slots:
    void nullAndNoFlagPassThrough();
    void resolutionKept_data();
    void resolutionKept();
    void noiseRemoval_data();
    void noiseRemoval();
    void smallImagesSkipGeometry();
    void skewedScansStraightened_data();
    void skewedScansStraightened();
    void straightAndBlankPagesUntouched_data();
    void straightAndBlankPagesUntouched();
    void turnedPageHasWhiteCorners();
    void straightRealPagesKeepTheirGeometry_data();
    void straightRealPagesKeepTheirGeometry();
    void slightlyTurnedPagesStraightened_data();
    void slightlyTurnedPagesStraightened();
    void blackAndWhiteStaysBlackAndWhite_data();
    void blackAndWhiteStaysBlackAndWhite();
    void perspectiveCrop_data();
    void perspectiveCrop();
    void autoCropTop_data();
    void autoCropTop();
    void autoCropKeepsAThird();
    void brightness_data();
    void brightness();
    void contrastClip_data();
    void contrastClip();
    void smoothingAndSharpeningReadInput();
    void textCurve_data();
    void textCurve();
    void whiteBalanceEvensChannels();
    void cameraBrightness_data();
    void cameraBrightness();
    void cameraBlackAndWhiteAndLandscape();
};

void TestScanPostProcess::nullAndNoFlagPassThrough()
{
    QVERIFY(applyPostProcess(QImage(), allFlags()).isNull());
    QImage grey(30, 20, QImage::Format_Grayscale8);
    grey.fill(77);
    const QImage out = applyPostProcess(grey, noFlags());
    QCOMPARE(out.format(), QImage::Format_Grayscale8);
    QCOMPARE(out, grey);
    QVERIFY(applyCameraParams(QImage(), allFlags()).isNull());
}

void TestScanPostProcess::resolutionKept_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<bool>("all");
    QTest::newRow("skewed page, deskew") << scannerFixture("page-skew-plus3.jpg") << false;
    QTest::newRow("skewed page, every flag") << scannerFixture("page-skew-plus3.jpg") << true;
    QTest::newRow("straight page, every flag") << scannerFixture("page-straight.jpg") << true;
}

void TestScanPostProcess::resolutionKept()
{
    QFETCH(QString, fixture);
    QFETCH(bool, all);
    QImage page(fixture);
    QVERIFY(!page.isNull());
    page.setDotsPerMeterX(scanDotsPerMeter(300));
    page.setDotsPerMeterY(scanDotsPerMeter(150));
    const QImage out = applyPostProcess(page, all ? allFlags() : onlyDeskew());
    QCOMPARE(out.dotsPerMeterX(), scanDotsPerMeter(300));
    QCOMPARE(out.dotsPerMeterY(), scanDotsPerMeter(150));
}

void TestScanPostProcess::noiseRemoval_data()
{
    QTest::addColumn<int>("background");
    QTest::addColumn<int>("dot");
    QTest::addColumn<int>("expected");
    QTest::newRow("black dot on white stays (g = 0)") << 255 << 0 << 0;
    QTest::newRow("white dot on grey 100 becomes 99") << 100 << 255 << 99;
    QTest::newRow("difference 35 is left") << 100 << 135 << 135;
    QTest::newRow("difference 36 is pulled to the median") << 100 << 136 << 99;
}

void TestScanPostProcess::noiseRemoval()
{
    QFETCH(int, background);
    QFETCH(int, dot);
    QFETCH(int, expected);
    QImage image = filled(9, 9, QColor(background, background, background));
    image.setPixel(4, 4, qRgb(dot, dot, dot));
    image.setPixel(0, 0, qRgb(dot, dot, dot));  // a border pixel is never rewritten
    ScanParams params;
    params.noiseRemove = true;
    const QImage out = applyPostProcess(image, params);
    QCOMPARE(out.format(), QImage::Format_RGB32);
    QCOMPARE(greyAt(out, 4, 4), expected);
    QCOMPARE(greyAt(out, 0, 0), dot);
    QCOMPARE(greyAt(out, 3, 3), background);
}

void TestScanPostProcess::smallImagesSkipGeometry()
{
    // A dark diagonal would be "straightened"; at 50 × 50 deskew does not run.
    QImage small = filled(50, 50, Qt::white);
    QPainter(&small).drawLine(0, 10, 49, 14);
    ScanParams params;
    params.skew = params.perspCorr = true;
    QCOMPARE(applyPostProcess(small, params), small);
    const QImage one = filled(1, 1, Qt::black);
    QCOMPARE(applyPostProcess(one, allFlags()).size(), QSize(1, 1));
}

void TestScanPostProcess::skewedScansStraightened_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<double>("skew");
    QTest::newRow("turned 3° clockwise") << scannerFixture("page-skew-plus3.jpg") << 3.0;
    QTest::newRow("turned 2° anticlockwise") << scannerFixture("page-skew-minus2.jpg") << -2.0;
}

void TestScanPostProcess::skewedScansStraightened()
{
    QFETCH(QString, fixture);
    QFETCH(double, skew);
    const QImage page(fixture);
    QVERIFY(!page.isNull());
    QVERIFY(std::abs(residualSkew(page) + skew) <= 0.5);  // the measure sees the skew
    const QImage out = applyPostProcess(page, onlyDeskew());
    QCOMPARE(out.size(), page.size());  // turned on a sheet of its own size
    QVERIFY2(std::abs(residualSkew(out)) <= 0.5, qPrintable(QString::number(residualSkew(out))));
}

void TestScanPostProcess::straightAndBlankPagesUntouched_data()
{
    QTest::addColumn<QImage>("page");
    QTest::newRow("straight noisy scan") << QImage(scannerFixture("page-straight.jpg"));
    QTest::newRow("blank page") << filled(400, 560, Qt::white);
    // A page filled edge to edge: turned, its rows would only seem to differ
    // because the turned page no longer spans them.
    QTest::newRow("test device grid") << QImage(scannerFixture("test-device-grid-150.png"));
}

void TestScanPostProcess::straightAndBlankPagesUntouched()
{
    QFETCH(QImage, page);
    QVERIFY(!page.isNull());
    QCOMPARE(applyPostProcess(page, onlyDeskew()), page);
}

void TestScanPostProcess::turnedPageHasWhiteCorners()
{
    const QImage out = applyPostProcess(QImage(scannerFixture("page-skew-plus3.jpg")), onlyDeskew());
    QVERIFY(!out.isNull());
    for (const QPoint corner : {QPoint(0, 0), QPoint(out.width() - 1, 0), QPoint(0, out.height() - 1),
                                QPoint(out.width() - 1, out.height() - 1)})
        QVERIFY2(greyAt(out, corner.x(), corner.y()) > 200, qPrintable(QStringLiteral("%1,%2").arg(corner.x()).arg(corner.y())));
    QVERIFY(!out.hasAlphaChannel());
}

void TestScanPostProcess::straightRealPagesKeepTheirGeometry_data()
{
    QTest::addColumn<QImage>("page");
    QTest::newRow("pdfTeX page, 150 dpi") << realPage("pdftex-page.pdf", 150);
    QTest::newRow("pdfTeX page, 300 dpi") << realPage("pdftex-page.pdf", 300);
    QTest::newRow("Ghostscript page, 150 dpi") << realPage("gs-helvetica.pdf", 150);
    QTest::newRow("groff columns, 150 dpi") << realPage("groff-columns.pdf", 150);
    QTest::newRow("LibreOffice heading, 150 dpi") << realPage("libreoffice-heading.pdf", 150);
    QTest::newRow("LibreOffice form, 150 dpi") << realPage("libreoffice-form.pdf", 150);
    QTest::newRow("scanned page, 150 dpi") << realPage("gs-scan.pdf", 150);
    QTest::newRow("test device grid") << QImage(scannerFixture("test-device-grid-150.png"));
}

// The default chain leaves a straight page where it is: the same picture as
// the chain without deskew, of the same size.
void TestScanPostProcess::straightRealPagesKeepTheirGeometry()
{
    QFETCH(QImage, page);
    QVERIFY(!page.isNull());
    ScanParams withoutDeskew = defaultChain();
    withoutDeskew.skew = false;
    const QImage out = applyPostProcess(page, defaultChain());
    QCOMPARE(out.size(), page.size());
    QVERIFY(out == applyPostProcess(page, withoutDeskew));
}

void TestScanPostProcess::slightlyTurnedPagesStraightened_data()
{
    QTest::addColumn<double>("degrees");
    QTest::newRow("0.7° clockwise") << 0.7;
    QTest::newRow("1.2° anticlockwise") << -1.2;
    QTest::newRow("3° clockwise") << 3.0;
}

void TestScanPostProcess::slightlyTurnedPagesStraightened()
{
    QFETCH(double, degrees);
    const QImage page = turned(realPage("pdftex-page.pdf", 150), degrees);
    QVERIFY(std::abs(residualSkew(page) + degrees) <= 0.3);  // the measure sees the turn
    const QImage out = applyPostProcess(page, onlyDeskew());
    QCOMPARE(out.size(), page.size());
    QVERIFY2(std::abs(residualSkew(out)) <= 0.2, qPrintable(QString::number(residualSkew(out))));
}

void TestScanPostProcess::blackAndWhiteStaysBlackAndWhite_data()
{
    QTest::addColumn<QImage>("page");
    QTest::addColumn<bool>("all");
    const QImage grey = realPage("pdftex-page.pdf", 150);
    const QImage mono = blackAndWhite(grey);
    QTest::newRow("one bit, default chain") << mono << false;
    QTest::newRow("one bit, every step") << mono << true;
    QTest::newRow("grey of black and white, default chain") << mono.convertToFormat(QImage::Format_Grayscale8) << false;
    QTest::newRow("one bit, turned 2°, default chain") << blackAndWhite(turned(grey, 2.0)) << false;
}

// The steps work in grey; the page comes back one bit a pixel, at its resolution.
void TestScanPostProcess::blackAndWhiteStaysBlackAndWhite()
{
    QFETCH(QImage, page);
    QFETCH(bool, all);
    page.setDotsPerMeterX(scanDotsPerMeter(150));
    page.setDotsPerMeterY(scanDotsPerMeter(150));
    const QImage out = applyPostProcess(page, all ? allFlags() : defaultChain());
    QCOMPARE(out.format(), QImage::Format_Mono);
    QCOMPARE(greyLevels(out), 2);
    QCOMPARE(out.dotsPerMeterX(), scanDotsPerMeter(150));
    if (!all)
        QCOMPARE(out.size(), page.size());
    QVERIFY2(std::abs(residualSkew(out)) <= 0.4, qPrintable(QString::number(residualSkew(out))));
}

void TestScanPostProcess::perspectiveCrop_data()
{
    QTest::addColumn<int>("side");
    QTest::addColumn<QRect>("content");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("content inside margins is cut out") << 200 << QRect(40, 40, 121, 121) << QSize(120, 120);
    QTest::newRow("content reaching the borders stays") << 200 << QRect(0, 0, 200, 200) << QSize(200, 200);
    QTest::newRow("a small island is not enough") << 200 << QRect(90, 90, 20, 20) << QSize(200, 200);
    QTest::newRow("51 × 51 runs") << 51 << QRect(10, 10, 31, 31) << QSize(30, 30);
    QTest::newRow("50 × 50 does not") << 50 << QRect(10, 10, 31, 31) << QSize(50, 50);
}

void TestScanPostProcess::perspectiveCrop()
{
    QFETCH(int, side);
    QFETCH(QRect, content);
    QFETCH(QSize, expected);
    QImage page = filled(side, side, Qt::white);
    QPainter(&page).fillRect(content, Qt::black);
    ScanParams params;
    params.perspCorr = true;
    const QImage out = applyPostProcess(page, params);
    QCOMPARE(out.size(), expected);
    if (expected != page.size())
        QCOMPARE(greyAt(out, 0, 0), 0);
}

void TestScanPostProcess::autoCropTop_data()
{
    QTest::addColumn<int>("darkRowsFromTop");
    QTest::addColumn<int>("expectedTop");
    QTest::newRow("dark line in row 0 only") << 1 << 35;
    QTest::newRow("no line") << 0 << 35;
    QTest::newRow("rows 0-3 dark") << 4 << 0;
}

void TestScanPostProcess::autoCropTop()
{
    QFETCH(int, darkRowsFromTop);
    QFETCH(int, expectedTop);
    QImage page = filled(300, 300, Qt::white);
    QPainter painter(&page);
    painter.fillRect(0, 0, 300, darkRowsFromTop, Qt::black);
    painter.fillRect(20, 40, 260, 200, Qt::black);  // the text, rows 40 … 239
    painter.end();
    ScanParams params;
    params.geomCorr = true;
    const QImage out = applyPostProcess(page, params);
    const int firstTextRow = 40 - expectedTop;
    QCOMPARE(greyAt(out, out.width() / 2, firstTextRow), 0);
    QCOMPARE(greyAt(out, out.width() / 2, firstTextRow - 1), 255);
    QCOMPARE(out.height(), 239 + 5 - expectedTop + 1);
}

void TestScanPostProcess::autoCropKeepsAThird()
{
    QImage page = filled(300, 300, Qt::white);
    QPainter(&page).fillRect(140, 140, 20, 20, Qt::black);
    ScanParams params;
    params.structural = true;
    QCOMPARE(applyPostProcess(page, params).size(), page.size());
}

void TestScanPostProcess::brightness_data()
{
    QTest::addColumn<int>("brightest");
    QTest::addColumn<int>("expectedBrightest");
    // 200 × (255 / 200) is a hair below 255 in doubles and truncates.
    QTest::newRow("brightest at 200 is scaled by 255/200") << 200 << int(200 * (255.0 / 200));
    QTest::newRow("brightest at 240 is left") << 240 << 240;
}

void TestScanPostProcess::brightness()
{
    QFETCH(int, brightest);
    QFETCH(int, expectedBrightest);
    QImage page = filled(100, 100, QColor(100, 100, 100));
    QPainter(&page).fillRect(0, 0, 100, 5, QColor(brightest, brightest, brightest));
    ScanParams params;
    params.autoBright = true;
    const QImage out = applyPostProcess(page, params);
    QCOMPARE(greyAt(out, 0, 0), expectedBrightest);
    QCOMPARE(greyAt(out, 50, 50), brightest == 200 ? int(100 * (255.0 / 200)) : 100);
}

void TestScanPostProcess::contrastClip_data()
{
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("outliers");  // pixels at 10 and at 250
    QTest::addColumn<int>("expectedMid");
    // N = 90: clip 1, so the extremes 10 and 250 set the stretch.
    QTest::newRow("10 × 9, clip 1") << 10 << 9 << 1 << (130 - 10) * 255 / 240;
    // N = 10000: clip 200; 100 outliers each side do not reach it.
    QTest::newRow("100 × 100, clip 200") << 100 << 100 << 100 << 130;
}

void TestScanPostProcess::contrastClip()
{
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, outliers);
    QFETCH(int, expectedMid);
    QImage page = filled(w, h, QColor(130, 130, 130));
    for (int i = 0; i < outliers; ++i) {
        page.setPixel(i % w, i / w, qRgb(10, 10, 10));
        page.setPixel(w - 1 - i % w, h - 1 - i / w, qRgb(250, 250, 250));
    }
    ScanParams params;
    params.autoContrast = true;
    const QImage out = applyPostProcess(page, params);
    QCOMPARE(greyAt(out, w / 2, h / 2), expectedMid);
}

void TestScanPostProcess::smoothingAndSharpeningReadInput()
{
    // Two dots side by side: a filter that read its own output would smear
    // the first into the second.
    QImage page = filled(7, 5, Qt::black);
    page.setPixel(2, 2, qRgb(160, 160, 160));
    page.setPixel(3, 2, qRgb(160, 160, 160));
    ScanParams smooth;
    smooth.denoise = true;
    const QImage smoothed = applyPostProcess(page, smooth);
    QCOMPARE(greyAt(smoothed, 2, 2), (4 * 160 + 2 * 160) / 16);
    QCOMPARE(greyAt(smoothed, 3, 2), (4 * 160 + 2 * 160) / 16);
    QCOMPARE(greyAt(smoothed, 0, 2), 0);  // border copied
    ScanParams sharpen;
    sharpen.sharpen = true;
    const QImage sharpened = applyPostProcess(page, sharpen);
    QCOMPARE(greyAt(sharpened, 2, 2), 5 * 160 - 160 > 255 ? 255 : 5 * 160 - 160);
    QCOMPARE(greyAt(sharpened, 4, 2), 0);  // 5 × 0 − 160 clamps to 0
    QCOMPARE(greyAt(sharpened, 1, 2), 0);
}

void TestScanPostProcess::textCurve_data()
{
    QTest::addColumn<int>("in");
    QTest::addColumn<int>("out");
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("64") << 64 << 32;
    QTest::newRow("127") << 127 << 127;
    QTest::newRow("128") << 128 << 128;
    QTest::newRow("191") << 191 << 223;
    QTest::newRow("255") << 255 << 255;
}

void TestScanPostProcess::textCurve()
{
    QFETCH(int, in);
    QFETCH(int, out);
    ScanParams params;
    params.textEnhance = true;
    QCOMPARE(greyAt(applyPostProcess(filled(3, 3, QColor(in, in, in)), params), 1, 1), out);
}

void TestScanPostProcess::whiteBalanceEvensChannels()
{
    const QImage page = filled(20, 20, QColor(200, 100, 150));
    ScanParams params;
    params.whiteBalance = true;
    const QRgb out = applyPostProcess(page, params).pixel(5, 5);
    QCOMPARE(qRed(out), 150);
    QCOMPARE(qGreen(out), 150);
    QCOMPARE(qBlue(out), 150);
}

void TestScanPostProcess::cameraBrightness_data()
{
    QTest::addColumn<int>("brightness");
    QTest::addColumn<int>("expected");
    QTest::newRow("50 adds 127") << 50 << 100 + 127;
    QTest::newRow("-1 takes 2") << -1 << 98;
}

void TestScanPostProcess::cameraBrightness()
{
    QFETCH(int, brightness);
    QFETCH(int, expected);
    ScanParams params;
    params.brightness = brightness;
    QCOMPARE(greyAt(applyCameraParams(filled(4, 4, QColor(100, 100, 100)), params), 1, 1), expected);
}

void TestScanPostProcess::cameraBlackAndWhiteAndLandscape()
{
    QImage frame = filled(40, 20, QColor(127, 127, 127));
    QPainter(&frame).fillRect(0, 0, 20, 20, QColor(128, 128, 128));
    ScanParams params;
    params.colorMode = 2;
    params.landscape = true;
    const QImage out = applyCameraParams(frame, params);
    QCOMPARE(out.size(), QSize(20, 40));
    QCOMPARE(out.format(), QImage::Format_Grayscale8);
    QCOMPARE(greyAt(out, 10, 5), 255);
    QCOMPARE(greyAt(out, 10, 35), 0);
    const QImage unchanged = filled(4, 4, Qt::red);
    QCOMPARE(applyCameraParams(unchanged, ScanParams()).format(), QImage::Format_RGB32);
}

QTEST_MAIN(TestScanPostProcess)
#include "tst_scanpostprocess.moc"
