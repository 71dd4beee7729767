// The scanned look: deterministic, and each stage as it is meant to act.
#include "ScannedPdfEffect.h"

#include <QTest>

#include <algorithm>
#include <random>

namespace {

QImage flat(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

// Everything off: the page lands on the canvas unchanged.
ScannedPdfExportOptions plain()
{
    ScannedPdfExportOptions o;
    o.marginMm = 0;
    o.maxSkewDegrees = 0;
    o.darkness = o.contrast = o.noise = o.stripes = o.verticalStreaks = o.edgeShadow = o.foldedCorner = 0;
    o.grayscale = false;
    return o;
}

// Runs of adjacent columns in which some pixel differs from the input.
int changedColumnRuns(const QImage& before, const QImage& after)
{
    int runs = 0;
    bool inRun = false;
    for (int x = 0; x < after.width(); ++x) {
        bool changed = false;
        for (int y = 0; y < after.height() && !changed; ++y)
            changed = after.pixel(x, y) != before.pixel(x, y);
        if (changed && !inRun)
            ++runs;
        inRun = changed;
    }
    return runs;
}

} // namespace

class TestScannedPdfEffect : public QObject {
    Q_OBJECT

private slots:
    void repeatedCallsGiveTheSameImage()
    {
        QImage page = flat(300, 420, Qt::white);
        page.setPixel(150, 200, qRgb(0, 0, 0));
        const ScannedPdfExportOptions defaults;
        for (int index : {0, 1, 5}) {
            const QImage first = applyScannedPdfEffect(page, defaults, index, false);
            QCOMPARE(applyScannedPdfEffect(page, defaults, index, false), first);
        }
        QVERIFY(applyScannedPdfEffect(page, defaults, 0, false) != applyScannedPdfEffect(page, defaults, 1, false));
    }

    void previewChangesOnlyTheTilt()
    {
        QImage page = flat(300, 420, Qt::white);
        for (int y = 50; y < 370; y += 20)
            for (int x = 40; x < 260; ++x)
                page.setPixel(x, y, qRgb(0, 0, 0));
        ScannedPdfExportOptions options;
        QVERIFY(applyScannedPdfEffect(page, options, 2, true) != applyScannedPdfEffect(page, options, 2, false));
        options.maxSkewDegrees = 0;
        QCOMPARE(applyScannedPdfEffect(page, options, 2, true), applyScannedPdfEffect(page, options, 2, false));
    }

    void zeroEffectsKeepTheColours()
    {
        QImage page(64, 48, QImage::Format_ARGB32);
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                page.setPixel(x, y, qRgb(x * 4, y * 5, (x + y) % 256));
        const QImage result = applyScannedPdfEffect(page, plain(), 3, false);
        QCOMPARE(result.format(), QImage::Format_ARGB32);
        QCOMPARE(result, page);
    }

    void greyIsTheWeightedSum()
    {
        QImage page(16, 16, QImage::Format_ARGB32);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                page.setPixel(x, y, qRgb(x * 16, 255 - y * 16, (x * y) % 256));
        ScannedPdfExportOptions options = plain();
        options.grayscale = true;
        const QImage result = applyScannedPdfEffect(page, options, 0, false);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const QRgb in = page.pixel(x, y);
                const int grey = (11 * qRed(in) + 16 * qGreen(in) + 5 * qBlue(in)) >> 5;
                QCOMPARE(result.pixel(x, y), qRgb(grey, grey, grey));
            }
        }
    }

    void quarterTurnSwapsTheSize()
    {
        ScannedPdfExportOptions options;
        options.rotation = 90;
        const QImage result = applyScannedPdfEffect(flat(1654, 2339, Qt::white), options, 0, false);
        QCOMPARE(result.size(), QSize(2339, 1654));
        QCOMPARE(result.dotsPerMeterX(), 7874);
        QCOMPARE(result.dotsPerMeterY(), 7874);
    }

    void tooWideAMarginUsesTheWholeCanvas()
    {
        const QImage page = flat(20, 20, QColor(10, 20, 30));
        ScannedPdfExportOptions options = plain();
        options.dpi = 254;
        options.marginMm = 0.7;  // 7 pixels: an inner square of 6
        QCOMPARE(applyScannedPdfEffect(page, options, 0, false), page);
        options.marginMm = 0.2;  // 2 pixels of paper around a shrunk page
        const QImage framed = applyScannedPdfEffect(page, options, 0, false);
        QCOMPARE(framed.pixel(0, 0), qRgb(252, 251, 247));
        QCOMPARE(framed.pixel(10, 10), page.pixel(10, 10));
    }

    // The noise is the tone generator's per-pixel bounded draw, after the
    // one real draw of the banding phase.
    void noiseReplaysTheToneGenerator()
    {
        const int width = 40;
        const int height = 30;
        const int page = 4;
        ScannedPdfExportOptions options = plain();
        options.noise = 7;
        options.grayscale = true;
        const QImage result = applyScannedPdfEffect(flat(width, height, QColor(120, 120, 120)), options, page, false);

        std::seed_seq sequence{scannedToneSeed(page)};
        std::mt19937 twister(sequence);
        twister.discard(2);  // the phase: one 64-bit draw
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const int noise = int((quint64(twister()) * quint64(2 * options.noise + 1)) >> 32) - options.noise;
                QCOMPARE(qRed(result.pixel(x, y)), 120 + noise);
            }
        }
    }

    void streakCounts_data()
    {
        QTest::addColumn<int>("strength");
        QTest::addColumn<int>("streaks");
        QTest::newRow("1") << 1 << 1;
        QTest::newRow("26") << 26 << 1;
        QTest::newRow("27") << 27 << 2;
        QTest::newRow("44") << 44 << 2;
        QTest::newRow("45") << 45 << 3;
        QTest::newRow("80") << 80 << 4;
    }

    void streakCounts()
    {
        QFETCH(int, strength);
        QFETCH(int, streaks);
        const QImage page = flat(1200, 300, QColor(128, 128, 128));
        ScannedPdfExportOptions options = plain();
        options.verticalStreaks = strength;
        QCOMPARE(changedColumnRuns(page, applyScannedPdfEffect(page, options, 0, false)), streaks);
    }

    void foldSizes_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<double>("fold");
        QTest::newRow("A4 at 200 dpi") << QSize(1654, 2339) << 165.4;
        QTest::newRow("small side 30") << QSize(60, 30) << 6.0;
    }

    // The shadow triangle reaches s + 5 down the last column but one.
    void foldSizes()
    {
        QFETCH(QSize, size);
        QFETCH(double, fold);
        const QImage page = flat(size.width(), size.height(), Qt::white);
        ScannedPdfExportOptions options = plain();
        options.foldedCorner = 10;
        const QImage result = applyScannedPdfEffect(page, options, 0, false);
        const int x = size.width() - 2;
        int lowest = -1;
        for (int y = 0; y < size.height(); ++y) {
            if (result.pixel(x, y) != page.pixel(x, y))
                lowest = y;
        }
        QVERIFY2(qAbs(lowest - (fold + 5 - 1)) <= 2.0, qPrintable(QString::number(lowest)));
        QCOMPARE(result.pixel(0, size.height() - 1), page.pixel(0, size.height() - 1));
    }

    void scannerLineRows_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QList<int>>("rows");
        QTest::newRow("page 0") << 0 << QList<int>{0, 97, 194};
        QTest::newRow("page 1") << 1 << QList<int>{60, 157};
    }

    void scannerLineRows()
    {
        QFETCH(int, page);
        QFETCH(QList<int>, rows);
        ScannedPdfExportOptions options = plain();
        options.stripes = 80;
        const QImage result = applyScannedPdfEffect(flat(10, 240, QColor(200, 200, 200)), options, page, false);
        QList<int> marked;
        for (int y = 0; y < result.height(); ++y) {
            const int here = qRed(result.pixel(5, y));
            const int above = y > 0 ? qRed(result.pixel(5, y - 1)) : qRed(result.pixel(5, y + 1));
            const int below = y + 1 < result.height() ? qRed(result.pixel(5, y + 1)) : above;
            if (std::min(above, below) - here >= 35)
                marked << y;
        }
        QCOMPARE(marked, rows);
    }

    void nullStaysNull()
    {
        QVERIFY(applyScannedPdfEffect(QImage(), ScannedPdfExportOptions(), 0, false).isNull());
    }
};

QTEST_MAIN(TestScannedPdfEffect)
#include "tst_scannedpdfeffect.moc"
