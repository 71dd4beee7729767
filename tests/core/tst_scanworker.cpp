#include "FakeScanBackend.h"
#include "ScanWorker.h"
#include "StubBackend.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

struct Outcome {
    QList<int> progress;
    QStringList errors;
    QList<QImage> images;
    QList<bool> previews;
};

Outcome runWorker(ScanBackend* backend, const ScanParams& params, bool preview)
{
    ScanWorker worker(backend, params, preview);
    Outcome outcome;
    QObject::connect(&worker, &ScanWorker::progress, [&](int p) { outcome.progress.append(p); });
    QObject::connect(&worker, &ScanWorker::error, [&](const QString& e) { outcome.errors.append(e); });
    QObject::connect(&worker, &ScanWorker::finished, [&](const QImage& image, bool isPreview) {
        outcome.images.append(image);
        outcome.previews.append(isPreview);
        outcome.progress.append(-1);  // where the result came among the progress values
    });
    worker.run();
    return outcome;
}

std::unique_ptr<FakeScanBackend> openFake(const std::shared_ptr<FakeScanState>& state)
{
    auto backend = std::make_unique<FakeScanBackend>(state);
    backend->openDevice(QStringLiteral("fake:0"));
    return backend;
}

// A fake device that hands over frame, scanned at dpi.
std::unique_ptr<FakeScanBackend> openFakeWith(QImage frame, int dpi)
{
    auto state = std::make_shared<FakeScanState>();
    frame.setDotsPerMeterX(scanDotsPerMeter(dpi));
    frame.setDotsPerMeterY(scanDotsPerMeter(dpi));
    state->image = frame;
    return openFake(state);
}

}  // namespace

class TestScanWorker : public QObject {
    Q_OBJECT

private slots:
    void failures_data();
    void failures();
    void previewIsPostProcessed();
    void demoSizes_data();
    void demoSizes();
    void pagesThatCannotBeAreRefused_data();
    void pagesThatCannotBeAreRefused();
    void cleanUpTakesBoundedFrames_data();
    void cleanUpTakesBoundedFrames();
    void cleanUpLimit_data();
    void cleanUpLimit();
    void demoDevice();
    void demoResolutionMakesTheRightPage_data();
    void demoResolutionMakesTheRightPage();
    void demoNotice();
    void factoryHonoursDemoSetting();
};

void TestScanWorker::failures_data()
{
    QTest::addColumn<bool>("withBackend");
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("backendError");
    QTest::addColumn<QList<int>>("progress");
    QTest::addColumn<QString>("error");
    QTest::newRow("no back-end") << false << true << "" << QList<int>{} << "No backend";
    QTest::newRow("device closed") << true << false << "" << QList<int>{5} << "Устройство не открыто";
    QTest::newRow("null image with a reason") << true << true << "sane_read: Error during device I/O"
                                              << QList<int>{5, 20, 70, 90, 100} << "sane_read: Error during device I/O";
    QTest::newRow("null image without a reason") << true << true << "" << QList<int>{5, 20, 70, 90, 100}
                                                 << "Сканирование не вернуло изображение";
}

void TestScanWorker::failures()
{
    QFETCH(bool, withBackend);
    QFETCH(bool, open);
    QFETCH(QString, backendError);
    QFETCH(QList<int>, progress);
    QFETCH(QString, error);
    auto state = std::make_shared<FakeScanState>();
    state->error = backendError;
    state->openSucceeds = open;
    auto backend = openFake(state);
    const Outcome outcome = runWorker(withBackend ? backend.get() : nullptr, ScanParams(), false);
    QCOMPARE(outcome.progress, progress);
    QCOMPARE(outcome.errors, QStringList{error});
    QVERIFY(outcome.images.isEmpty());
}

void TestScanWorker::previewIsPostProcessed()
{
    auto state = std::make_shared<FakeScanState>();
    state->image = QImage(20, 20, QImage::Format_RGB32);
    state->image.fill(QColor(64, 64, 64));
    auto backend = openFake(state);
    ScanParams params;
    params.textEnhance = true;
    const Outcome outcome = runWorker(backend.get(), params, true);
    QCOMPARE(outcome.progress, (QList<int>{5, 20, 70, 90, -1, 100}));
    QCOMPARE(outcome.previews, QList<bool>{true});
    QVERIFY(state->lastWasPreview);
    QCOMPARE(qRed(outcome.images.first().pixel(10, 10)), 32);
}

void TestScanWorker::demoSizes_data()
{
    QTest::addColumn<QString>("pageSize");
    QTest::addColumn<bool>("landscape");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<bool>("preview");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSizeF>("paper");  // the page in points the picture makes
    const QSizeF a4(595, 842);
    QTest::newRow("A4 preview") << "A4" << false << 300 << true << QSize(620, 877) << a4;
    QTest::newRow("A4 at 300") << "A4" << false << 300 << false << QSize(2480, 3508) << a4;
    // Capped whole, so that it keeps its proportions: the long side is what
    // the short side's cap leaves of it.
    QTest::newRow("A4 at 600 is capped") << "A4" << false << 600 << false << QSize(2480, 3507) << a4;
    QTest::newRow("A4 landscape at 300") << "A4" << true << 300 << false << QSize(3508, 2480) << a4.transposed();
    QTest::newRow("A4 landscape at 1200: capped whole") << "A4" << true << 1200 << false << QSize(3507, 2480)
                                                        << a4.transposed();
    QTest::newRow("Letter at 600: capped whole") << "Letter" << false << 600 << false << QSize(2480, 3209)
                                                 << QSizeF(612, 792);
    QTest::newRow("Legal landscape at 150") << "Legal" << true << 150 << false << QSize(2100, 1275)
                                            << QSizeF(1008, 612);
    QTest::newRow("Legal landscape at 400: capped whole") << "Legal" << true << 400 << false << QSize(3508, 2130)
                                                          << QSizeF(1008, 612);
    QTest::newRow("A3 at 75") << "A3" << false << 75 << false << QSize(877, 1240) << QSizeF(842, 1191);
    QTest::newRow("A3 at 600: capped whole") << "A3" << false << 600 << false << QSize(2480, 3507) << QSizeF(842, 1191);
    QTest::newRow("Letter at 100") << "Letter" << false << 100 << false << QSize(850, 1100) << QSizeF(612, 792);
    QTest::newRow("a3 in lower case is A4") << "a3" << false << 75 << false << QSize(620, 877) << a4;
    QTest::newRow("custom is A4") << "Произвольный" << false << 75 << false << QSize(620, 877) << a4;
}

void TestScanWorker::demoSizes()
{
    QFETCH(QString, pageSize);
    QFETCH(bool, landscape);
    QFETCH(int, dpi);
    QFETCH(bool, preview);
    QFETCH(QSize, size);
    QFETCH(QSizeF, paper);
    ScanParams params;
    params.pageSize = pageSize;
    params.landscape = landscape;
    params.resolution = dpi;
    StubBackend backend;
    const QImage image = preview ? backend.doPreview(params) : backend.doScan(params);
    QCOMPARE(image.size(), size);
    QCOMPARE(image.format(), QImage::Format_RGB888);
    // One resolution on both axes: the page is the paper, not squashed.
    QCOMPARE(image.dotsPerMeterX(), image.dotsPerMeterY());
    const QSizeF page = scanPageSize(image);
    QVERIFY2(qAbs(page.width() - paper.width()) < 1 && qAbs(page.height() - paper.height()) < 1,
             qPrintable(QStringLiteral("%1 x %2").arg(page.width()).arg(page.height())));
}

void TestScanWorker::pagesThatCannotBeAreRefused_data()
{
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<bool>("preview");
    QTest::addColumn<bool>("refused");
    QTest::newRow("A4 at 300 dpi") << QSize(2480, 3508) << 300 << false << false;
    QTest::newRow("1 x 1 at 1200 dpi") << QSize(1, 1) << 1200 << false << true;
    QTest::newRow("a strip past the largest page") << QSize(60, 61000) << 300 << false << true;
    QTest::newRow("near the largest page side") << QSize(60, 59000) << 300 << false << false;
    QTest::newRow("a strip, only previewed") << QSize(60, 61000) << 300 << true << false;
}

// A scan that can be no PDF page is refused with the reason, before the
// clean-up; a preview is only shown and never refused.
void TestScanWorker::pagesThatCannotBeAreRefused()
{
    QFETCH(QSize, pixels);
    QFETCH(int, dpi);
    QFETCH(bool, preview);
    QFETCH(bool, refused);
    QImage frame(pixels, QImage::Format_Grayscale8);
    frame.fill(200);
    auto backend = openFakeWith(frame, dpi);
    ScanParams params;
    params.textEnhance = true;
    const Outcome outcome = runWorker(backend.get(), params, preview);
    QCOMPARE(outcome.errors.size(), refused ? 1 : 0);
    QCOMPARE(outcome.images.size(), refused ? 0 : 1);
    if (refused) {
        QVERIFY2(outcome.errors.first().contains(QStringLiteral("14400")), qPrintable(outcome.errors.first()));
        QCOMPARE(outcome.progress, (QList<int>{5, 20, 70, 90, 100}));
    } else {
        QCOMPARE(outcome.images.first().size(), pixels);
    }
}

void TestScanWorker::cleanUpTakesBoundedFrames_data()
{
    QTest::addColumn<bool>("cleanUp");
    QTest::addColumn<bool>("refused");
    QTest::newRow("clean-up on") << true << true;
    QTest::newRow("clean-up off") << false << false;
}

// A 1200-dpi frame of 121 million pixels (a 23 cm square) would take
// gigabytes in the clean-up's 32-bit copies: refused, with the reason, only
// when a step is switched on; one bit a pixel, it is 15 MB here.
void TestScanWorker::cleanUpTakesBoundedFrames()
{
    QFETCH(bool, cleanUp);
    QFETCH(bool, refused);
    QImage frame(11000, 11000, QImage::Format_Mono);
    frame.fill(0);
    auto backend = openFakeWith(frame, 1200);
    ScanParams params;
    params.textEnhance = cleanUp;
    const Outcome outcome = runWorker(backend.get(), params, false);
    QCOMPARE(outcome.errors.size(), refused ? 1 : 0);
    QCOMPARE(outcome.images.size(), refused ? 0 : 1);
    if (refused)
        QVERIFY2(outcome.errors.first().contains(QStringLiteral("11000 × 11000")), qPrintable(outcome.errors.first()));
    else
        QCOMPARE(outcome.images.first().format(), QImage::Format_Mono);
}

void TestScanWorker::cleanUpLimit_data()
{
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<bool>("refused");
    QTest::newRow("A4 at 1200 dpi") << QSize(9920, 14032) << true;
    QTest::newRow("A4 at 600 dpi") << QSize(4960, 7016) << false;
    QTest::newRow("at the limit") << QSize(10000, 11000) << false;
    QTest::newRow("one line past it") << QSize(10000, 11001) << true;
    QTest::newRow("a strip past it") << QSize(110000001, 1) << true;
}

// Every step counts: any one of them switched on makes the frame too large.
void TestScanWorker::cleanUpLimit()
{
    QFETCH(QSize, pixels);
    QFETCH(bool, refused);
    QVERIFY(scanFrameRefusal(pixels, ScanParams()).isEmpty());
    bool ScanParams::*steps[] = {&ScanParams::geomCorr,     &ScanParams::perspCorr,    &ScanParams::skew,
                                 &ScanParams::structural,   &ScanParams::noiseRemove,  &ScanParams::autoBright,
                                 &ScanParams::autoContrast, &ScanParams::whiteBalance, &ScanParams::denoise,
                                 &ScanParams::sharpen,      &ScanParams::textEnhance};
    for (bool ScanParams::*step : steps) {
        ScanParams params;
        params.*step = true;
        QCOMPARE(scanFrameRefusal(pixels, params).isEmpty(), !refused);
    }
}

void TestScanWorker::demoDevice()
{
    StubBackend backend;
    QVERIFY(!backend.isDeviceOpen());
    const QList<ScanDevice> devices = backend.enumerateDevices();
    QCOMPARE(devices.size(), 1);
    QVERIFY(backend.openDevice(QString()));
    QVERIFY(backend.isDeviceOpen());
    QVERIFY(!backend.hasLivePreview());
    QVERIFY(!backend.isCameraDevice());
    QVERIFY(!backend.supportsNativeDialog());
    QVERIFY(backend.grabLiveFrame().isNull());
    QVERIFY(backend.doNativeScan(0).isNull());
    backend.closeDevice();
    QVERIFY(!backend.isDeviceOpen());
}

void TestScanWorker::demoResolutionMakesTheRightPage_data()
{
    QTest::addColumn<int>("dpi");
    QTest::addColumn<double>("widthMm");
    QTest::newRow("300 dpi") << 300 << 210.0;
    QTest::newRow("600 dpi, capped") << 600 << 210.0;
    QTest::newRow("150 dpi") << 150 << 210.0;
}

// The picture's resolution gives back its paper size, capped or not.
void TestScanWorker::demoResolutionMakesTheRightPage()
{
    QFETCH(int, dpi);
    QFETCH(double, widthMm);
    ScanParams params;
    params.resolution = dpi;
    const QImage image = StubBackend().doScan(params);
    QVERIFY(image.dotsPerMeterX() > 0);
    QVERIFY(qAbs(image.width() * 1000.0 / image.dotsPerMeterX() - widthMm) < 0.5);
    QVERIFY(qAbs(image.height() * 1000.0 / image.dotsPerMeterY() - 297.0) < 0.5);
}

void TestScanWorker::demoNotice()
{
    // The notice is set at height ÷ 30 points: a preview's text is taller
    // than a 10-point one on a page too small for the rule.
    auto textHeight = [](const QImage& image) {
        int top = image.height();
        int bottom = -1;
        for (int y = 12; y < image.height() - 12; ++y)
            for (int x = 12; x < image.width() - 12; ++x)
                if (qGray(image.pixel(x, y)) < 200) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        return bottom - top;
    };
    ScanParams params;
    const QImage preview = StubBackend().doPreview(params);  // 877 high: 29 pt
    params.resolution = 30;  // 350 high: 11 pt
    const QImage small = StubBackend().doScan(params);
    QCOMPARE(small.height(), 351);
    const double ratio = double(textHeight(preview)) / textHeight(small);
    QVERIFY2(ratio > 29.0 / 11 * 0.8 && ratio < 29.0 / 11 * 1.2, qPrintable(QString::number(ratio)));
}

void TestScanWorker::factoryHonoursDemoSetting()
{
    qputenv("VORN_SCAN_BACKEND", "demo");
    const std::unique_ptr<ScanBackend> backend = createScanBackend();
    qunsetenv("VORN_SCAN_BACKEND");
    QVERIFY(backend);
    QCOMPARE(backend->enumerateDevices().value(0).name, QStringLiteral("demo:0"));
}

QTEST_MAIN(TestScanWorker)
#include "tst_scanworker.moc"
