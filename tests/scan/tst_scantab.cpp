#include "FakeScanBackend.h"
#include "ScanTab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

namespace {

// The tab's lists in the order it makes them.
enum Combo { Devices, Interfaces, Resolutions, ColourModes, PageSizes, Orientations };

QComboBox* combo(ScanTab& tab, Combo which)
{
    return tab.findChildren<QComboBox*>(QStringLiteral("ScanCombo")).value(which);
}

QString status(ScanTab& tab)
{
    return tab.findChild<QLabel*>(QStringLiteral("ScanStatusLabel"))->text();
}

void click(ScanTab& tab, const char* button)
{
    tab.findChild<QPushButton*>(QLatin1String(button))->click();
}

QImage greyPage()
{
    QImage image(60, 80, QImage::Format_RGB32);
    image.fill(QColor(120, 120, 120));
    return image;
}

}  // namespace

class TestScanTab : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void firstStartDefaults();
    void storedResolutionReselected_data();
    void storedResolutionReselected();
    void storedValuesSurviveStart();
    void whenSettingsAreWritten();
    void noDevices();
    void busyRefusesOtherRuns();
    void onePageScannedAfterStatus();
    void previewNeverEmitsAPage();
    void failureShowsReason();
    void cameraLivePreview();
    void destructionMidRead();
    void demoDeviceListed();
};

void TestScanTab::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    static const QTemporaryDir store;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store.path());
    QCoreApplication::setOrganizationName(QStringLiteral("vorn"));
}

void TestScanTab::init()
{
    QSettings().clear();
}

void TestScanTab::firstStartDefaults()
{
    ScanTab tab(std::make_unique<FakeScanBackend>(std::make_shared<FakeScanState>()), nullptr);
    const ScanParams p = tab.currentParams();
    QVERIFY(p.skew && p.noiseRemove && p.autoBright && p.autoContrast && p.denoise && p.textEnhance);
    QVERIFY(!p.geomCorr && !p.perspCorr && !p.structural && !p.whiteBalance && !p.sharpen);
    QCOMPARE(p.resolution, 300);
    QCOMPARE(p.colorMode, 0);
    QCOMPARE(p.brightness, 0);
    QCOMPARE(p.pageSize, QStringLiteral("A4"));
    QVERIFY(!p.landscape);
    QCOMPARE(p.delayMs, 0);
    QCOMPARE(status(tab), QStringLiteral("Устройство: Fake Flatbed"));
    QCOMPARE(combo(tab, Interfaces)->currentData().toString(), QStringLiteral("sane"));
}

void TestScanTab::storedResolutionReselected_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("expected");
    QTest::newRow("600 dpi offered") << "600 dpi" << 600;
    QTest::newRow("camera text on a scanner") << "720p" << 300;
    QTest::newRow("not offered") << "1200 dpi" << 300;
}

void TestScanTab::storedResolutionReselected()
{
    QFETCH(QString, stored);
    QFETCH(int, expected);
    QSettings().setValue(QStringLiteral("scan/resolution"), stored);
    ScanTab tab(std::make_unique<FakeScanBackend>(std::make_shared<FakeScanState>()), nullptr);
    QCOMPARE(tab.currentParams().resolution, expected);
}

// Reading the stored boxes toggles them; that must not write the values
// not read yet over the stored ones.
void TestScanTab::storedValuesSurviveStart()
{
    QSettings settings;
    settings.setValue(QStringLiteral("scan/resolution"), QStringLiteral("150 dpi"));
    settings.setValue(QStringLiteral("scan/color_mode"), 2);
    settings.setValue(QStringLiteral("scan/brightness"), -35);
    settings.sync();
    {
        ScanTab tab(std::make_unique<FakeScanBackend>(std::make_shared<FakeScanState>()), nullptr);
        QCOMPARE(tab.currentParams().resolution, 150);
        QCOMPARE(tab.currentParams().colorMode, 2);
        QCOMPARE(tab.currentParams().brightness, -35);
        QCOMPARE(tab.findChild<QSlider*>(QStringLiteral("ScanSlider"))->value(), -35);
    }
    QCOMPARE(QSettings().value(QStringLiteral("scan/resolution")).toString(), QStringLiteral("150 dpi"));
    QCOMPARE(QSettings().value(QStringLiteral("scan/color_mode")).toInt(), 2);
}

void TestScanTab::whenSettingsAreWritten()
{
    auto state = std::make_shared<FakeScanState>();
    state->image = greyPage();
    ScanTab tab(std::make_unique<FakeScanBackend>(state), nullptr);
    combo(tab, Resolutions)->setCurrentIndex(combo(tab, Resolutions)->findText(QStringLiteral("600 dpi")));
    QVERIFY(!QSettings().contains(QStringLiteral("scan/resolution")));
    tab.findChildren<QCheckBox*>(QStringLiteral("ScanCheckBox")).at(0)->toggle();  // geometric correction
    QVERIFY(QSettings().value(QStringLiteral("scan/geom_corr")).toBool());
    QCOMPARE(QSettings().value(QStringLiteral("scan/resolution")).toString(), QStringLiteral("600 dpi"));
    combo(tab, Resolutions)->setCurrentIndex(combo(tab, Resolutions)->findText(QStringLiteral("75 dpi")));
    click(tab, "ScanPreviewButton");
    QCOMPARE(QSettings().value(QStringLiteral("scan/resolution")).toString(), QStringLiteral("75 dpi"));
    QTRY_VERIFY(!tab.isBusy());
}

void TestScanTab::noDevices()
{
    auto state = std::make_shared<FakeScanState>();
    state->devices.clear();
    ScanTab tab(std::make_unique<FakeScanBackend>(state), nullptr);
    QCOMPARE(combo(tab, Devices)->currentText(), QStringLiteral("Нет доступных устройств"));
    QVERIFY(!combo(tab, Devices)->isEnabled());
    QCOMPARE(status(tab), QStringLiteral("Сканер не обнаружен"));
    click(tab, "ScanScanButton");
    QCOMPARE(status(tab), QStringLiteral("Выберите устройство"));
    QCOMPARE(state->runs.load(), 0);
}

void TestScanTab::busyRefusesOtherRuns()
{
    auto state = std::make_shared<FakeScanState>();
    state->slow = true;
    state->image = greyPage();
    ScanTab tab(std::make_unique<FakeScanBackend>(state), nullptr);
    QSignalSpy pages(&tab, &ScanTab::pageScanned);
    click(tab, "ScanScanButton");
    QVERIFY(tab.isBusy());
    QCOMPARE(status(tab), QStringLiteral("Сканирование..."));
    QTRY_COMPARE(state->runs.load(), 1);
    const int enumerations = state->enumerations;
    tab.onPreviewClicked();
    tab.onScanClicked();
    tab.onRefreshDevices();
    QVERIFY(!tab.findChild<QToolButton*>(QStringLiteral("ScanRefreshButton"))->isEnabled());
    QVERIFY(!combo(tab, Interfaces)->isEnabled());
    QVERIFY(!combo(tab, Devices)->isEnabled());
    state->release();
    QTRY_VERIFY(!tab.isBusy());
    QCOMPARE(state->runs.load(), 1);
    QCOMPARE(state->enumerations.load(), enumerations);
    QVERIFY(!state->usedWhileRunning);
    QCOMPARE(pages.size(), 1);
    QVERIFY(tab.findChild<QToolButton*>(QStringLiteral("ScanRefreshButton"))->isEnabled());
}

void TestScanTab::onePageScannedAfterStatus()
{
    auto state = std::make_shared<FakeScanState>();
    state->image = greyPage();
    ScanTab tab(std::make_unique<FakeScanBackend>(state), nullptr);
    QStringList statusAtPage;
    connect(&tab, &ScanTab::pageScanned, this, [&](const QImage& image) {
        QVERIFY(!image.isNull());
        statusAtPage << status(tab);
    });
    click(tab, "ScanScanButton");
    QTRY_VERIFY(!tab.isBusy());
    QCOMPARE(statusAtPage, QStringList{QStringLiteral("Сканирование завершено")});
    QVERIFY(!state->lastWasPreview);
}

void TestScanTab::previewNeverEmitsAPage()
{
    auto state = std::make_shared<FakeScanState>();
    state->image = greyPage();
    ScanTab tab(std::make_unique<FakeScanBackend>(state), nullptr);
    QSignalSpy pages(&tab, &ScanTab::pageScanned);
    click(tab, "ScanPreviewButton");
    QTRY_COMPARE(status(tab), QStringLiteral("Предпросмотр готов"));
    QVERIFY(state->lastWasPreview);
    QCOMPARE(pages.size(), 0);
    QVERIFY(!tab.findChild<QLabel*>(QStringLiteral("ScanPreviewLabel"))->pixmap().isNull());
}

void TestScanTab::failureShowsReason()
{
    auto state = std::make_shared<FakeScanState>();
    state->error = QStringLiteral("sane_read: Document feeder jammed");
    ScanTab tab(std::make_unique<FakeScanBackend>(state), nullptr);
    QSignalSpy pages(&tab, &ScanTab::pageScanned);
    click(tab, "ScanScanButton");
    QTRY_VERIFY(!tab.isBusy());
    QCOMPARE(status(tab), QStringLiteral("Ошибка: sane_read: Document feeder jammed"));
    QCOMPARE(pages.size(), 0);
    QVERIFY(tab.findChild<QPushButton*>(QStringLiteral("ScanScanButton"))->isEnabled());
}

void TestScanTab::cameraLivePreview()
{
    auto state = std::make_shared<FakeScanState>();
    state->camera = true;
    state->devices = {{QStringLiteral("vfw:0"), QString(), QStringLiteral("Webcam"), QStringLiteral("camera")}};
    state->resolutions = {480, 720};
    state->liveFrame = greyPage();
    ScanTab tab(std::make_unique<FakeScanBackend>(state), nullptr);
    QCOMPARE(combo(tab, Interfaces)->currentText(), QStringLiteral("Камера (VFW)"));
    QCOMPARE(combo(tab, Resolutions)->currentText(), QStringLiteral("720p"));
    QVERIFY(!combo(tab, PageSizes)->isEnabled());
    auto* preview = tab.findChild<QLabel*>(QStringLiteral("ScanPreviewLabel"));
    QTRY_VERIFY(!preview->pixmap().isNull());
}

void TestScanTab::destructionMidRead()
{
    auto state = std::make_shared<FakeScanState>();
    state->slow = true;
    state->image = greyPage();
    auto* tab = new ScanTab(std::make_unique<FakeScanBackend>(state), nullptr);
    QSignalSpy pages(tab, &ScanTab::pageScanned);
    click(*tab, "ScanScanButton");
    QTRY_VERIFY(state->running);
    delete tab;
    QVERIFY(state->cancelled);
    QVERIFY(state->destroyed);
    QVERIFY(!state->usedWhileRunning);
    QCoreApplication::processEvents();
    QCOMPARE(pages.size(), 0);
}

void TestScanTab::demoDeviceListed()
{
    qputenv("VORN_SCAN_BACKEND", "demo");
    ScanTab tab(nullptr);
    qunsetenv("VORN_SCAN_BACKEND");
    QCOMPARE(combo(tab, Devices)->currentText(), QStringLiteral("Demo Virtual Scanner"));
    QCOMPARE(combo(tab, Interfaces)->currentText(), QStringLiteral("SANE (Linux)"));
    QSignalSpy pages(&tab, &ScanTab::pageScanned);
    combo(tab, Resolutions)->setCurrentIndex(combo(tab, Resolutions)->findText(QStringLiteral("75 dpi")));
    click(tab, "ScanScanButton");
    QTRY_COMPARE(pages.size(), 1);
    QCOMPARE(pages.at(0).at(0).value<QImage>().size(), QSize(620, 877));
}

QTEST_MAIN(TestScanTab)
#include "tst_scantab.moc"
