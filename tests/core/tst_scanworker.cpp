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

}  // namespace

class TestScanWorker : public QObject {
    Q_OBJECT

private slots:
    void failures_data();
    void failures();
    void previewIsPostProcessed();
    void demoSizes_data();
    void demoSizes();
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
    QTest::newRow("A4 preview") << "A4" << false << 300 << true << QSize(620, 877);
    QTest::newRow("A4 at 300") << "A4" << false << 300 << false << QSize(2480, 3508);
    QTest::newRow("A4 at 600 is capped") << "A4" << false << 600 << false << QSize(2480, 3508);
    QTest::newRow("A4 landscape at 300: same caps") << "A4" << true << 300 << false << QSize(2480, 2480);
    QTest::newRow("Legal landscape at 150") << "Legal" << true << 150 << false << QSize(2100, 1275);
    QTest::newRow("A3 at 75") << "A3" << false << 75 << false << QSize(877, 1240);
    QTest::newRow("Letter at 100") << "Letter" << false << 100 << false << QSize(850, 1100);
    QTest::newRow("a3 in lower case is A4") << "a3" << false << 75 << false << QSize(620, 877);
    QTest::newRow("custom is A4") << "Произвольный" << false << 75 << false << QSize(620, 877);
}

void TestScanWorker::demoSizes()
{
    QFETCH(QString, pageSize);
    QFETCH(bool, landscape);
    QFETCH(int, dpi);
    QFETCH(bool, preview);
    QFETCH(QSize, size);
    ScanParams params;
    params.pageSize = pageSize;
    params.landscape = landscape;
    params.resolution = dpi;
    StubBackend backend;
    const QImage image = preview ? backend.doPreview(params) : backend.doScan(params);
    QCOMPARE(image.size(), size);
    QCOMPARE(image.format(), QImage::Format_RGB888);
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
