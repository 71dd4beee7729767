#include "PdfDocument.h"
#include "PdfTools.h"
#include "SaneBackend.h"
#include "SaneOptions.h"
#include "SaneTestDevice.h"
#include "WorkMeter.h"

#include <QTemporaryDir>

#include <QtTest>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Settings = QMap<QString, QString>;

Settings grid(const Settings& more = {})
{
    Settings settings{{QStringLiteral("test-picture"), QStringLiteral("\"Grid\"")}};
    settings.insert(more);
    return settings;
}

ScanParams params(int resolution, int colorMode)
{
    ScanParams p;
    p.resolution = resolution;
    p.colorMode = colorMode;
    return p;
}

SANE_Option_Descriptor descriptor(SANE_Value_Type type, SANE_Int cap = SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT)
{
    SANE_Option_Descriptor d{};
    d.name = "x";
    d.type = type;
    d.size = sizeof(SANE_Word);
    d.cap = cap;
    d.constraint_type = SANE_CONSTRAINT_NONE;
    return d;
}

SANE_Parameters frameParams(int format, int depth, int pixels, int stride, int lines)
{
    SANE_Parameters p{};
    p.format = SANE_Frame(format);
    p.depth = depth;
    p.pixels_per_line = pixels;
    p.bytes_per_line = stride;
    p.lines = lines;
    return p;
}

}  // namespace

class TestSaneBackend : public QObject {
    Q_OBJECT

private slots:
    void framesEqualScanimage_data();
    void framesEqualScanimage();
    void blackAndWhiteWithoutLineart();
    void blackAndWhiteScanStaysOneBitOnItsPage_data();
    void blackAndWhiteScanStaysOneBitOnItsPage();
    void rangeGivesDefaultList();
    void previewAt75();
    void readErrorLeavesBackendUsable();
    void deviceGoneAfterListing();
    void cancelFromAnotherThread();
    void noDeviceOpen();
    void optionWords_data();
    void optionWords();
    void resolutionLists();
    void inactiveAndReadOnlyOptionsAreNotWritten();
    void modes_data();
    void modes();
    void frames_data();
    void frames();
    void frameRefusals_data();
    void frameRefusals();
    void refusedFramesSayWhy_data();
    void refusedFramesSayWhy();
};

void TestSaneBackend::framesEqualScanimage_data()
{
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("colorMode");
    QTest::addColumn<QString>("depth");
    QTest::newRow("75 dpi grey") << 75 << 1 << "8";
    QTest::newRow("150 dpi grey") << 150 << 1 << "8";
    QTest::newRow("75 dpi colour") << 75 << 0 << "8";
    QTest::newRow("150 dpi colour") << 150 << 0 << "8";
    QTest::newRow("75 dpi grey, 1 bit") << 75 << 1 << "1";
    QTest::newRow("75 dpi grey, 16 bits") << 75 << 1 << "16";
    QTest::newRow("75 dpi colour, 16 bits") << 75 << 0 << "16";
}

void TestSaneBackend::framesEqualScanimage()
{
    QFETCH(int, dpi);
    QFETCH(int, colorMode);
    QFETCH(QString, depth);
    SaneTestDevice device(grid({{QStringLiteral("depth"), depth}}));
    QVERIFY(device.isValid());
    QString error;
    const QImage expected = device.scanimage({QStringLiteral("--resolution"), QString::number(dpi), QStringLiteral("--mode"),
                                              colorMode == 0 ? QStringLiteral("Color") : QStringLiteral("Gray")},
                                             &error);
    QVERIFY2(!expected.isNull(), qPrintable(error));

    SaneBackend backend;
    QVERIFY(backend.init());
    QVERIFY(backend.openDevice(QStringLiteral("test:0")));
    const QImage image = backend.doScan(params(dpi, colorMode));
    QVERIFY2(!image.isNull(), qPrintable(backend.lastError()));
    QCOMPARE(image.size(), expected.size());
    QCOMPARE(image.convertToFormat(expected.format()), expected);
    QCOMPARE(image.dotsPerMeterX(), scanDotsPerMeter(dpi));
    QCOMPARE(image.dotsPerMeterY(), scanDotsPerMeter(dpi));
}

void TestSaneBackend::blackAndWhiteWithoutLineart()
{
    SaneTestDevice device(grid({{QStringLiteral("mode"), QStringLiteral("Color")}}));
    QString error;
    const QImage grey = device.scanimage({QStringLiteral("--resolution"), QStringLiteral("100"), QStringLiteral("--mode"),
                                          QStringLiteral("Gray")},
                                         &error);
    QVERIFY2(!grey.isNull(), qPrintable(error));
    SaneBackend backend;
    QVERIFY(backend.init());
    QVERIFY(backend.openDevice(QStringLiteral("test:0")));
    const QImage image = backend.doScan(params(100, 2));
    QVERIFY2(!image.isNull(), qPrintable(backend.lastError()));
    QCOMPARE(image.format(), QImage::Format_Mono);
    QCOMPARE(image.convertToFormat(QImage::Format_Grayscale8),
             SaneOptions::thresholded(grey).convertToFormat(QImage::Format_Grayscale8));
    QCOMPARE(image.dotsPerMeterX(), scanDotsPerMeter(100));
}

void TestSaneBackend::blackAndWhiteScanStaysOneBitOnItsPage_data()
{
    QTest::addColumn<QString>("depth");  // of the device's frames
    QTest::addColumn<bool>("everyStep");
    QTest::newRow("thresholded grey, default chain") << "8" << false;
    QTest::newRow("thresholded grey, every step") << "8" << true;
    QTest::newRow("1-bit frames, default chain") << "1" << false;
}

// A "Ч/Б" scan through the clean-up chain and onto a page: one bit a pixel
// all the way, as pdfimages reads the saved file.
void TestSaneBackend::blackAndWhiteScanStaysOneBitOnItsPage()
{
    QFETCH(QString, depth);
    QFETCH(bool, everyStep);
    SaneTestDevice device(grid({{QStringLiteral("depth"), depth}}));
    SaneBackend backend;
    QVERIFY(backend.init());
    QVERIFY(backend.openDevice(QStringLiteral("test:0")));
    ScanParams scan = params(150, depth == QLatin1String("1") ? 1 : 2);
    scan.skew = scan.noiseRemove = scan.autoBright = scan.autoContrast = scan.denoise = scan.textEnhance = true;
    if (everyStep)
        scan.geomCorr = scan.perspCorr = scan.structural = scan.whiteBalance = scan.sharpen = true;
    const QImage frame = backend.doScan(scan);
    QVERIFY2(!frame.isNull(), qPrintable(backend.lastError()));
    QCOMPARE(frame.format(), QImage::Format_Mono);
    const QImage cleaned = applyPostProcess(frame, scan);
    QCOMPARE(cleaned.format(), QImage::Format_Mono);

    PdfDocument doc;
    QVERIFY(doc.appendRenderedPage(cleaned, scanPageSize(cleaned)));
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("bw.pdf"));
    QVERIFY(doc.save(out));
    const QList<pdftools::ImageRow> rows = pdftools::listImages(out);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].bitsPerComponent, 1);
    QCOMPARE(QSize(rows[0].width, rows[0].height), cleaned.size());
}

void TestSaneBackend::rangeGivesDefaultList()
{
    SaneTestDevice device(grid());
    SaneBackend backend;
    QVERIFY(backend.init());
    QCOMPARE(backend.supportedResolutions(), SaneBackend::defaultResolutions());
    const QList<ScanDevice> devices = backend.enumerateDevices();
    QCOMPARE(devices.size(), 2);
    QCOMPARE(devices[0].name, QStringLiteral("test:0"));
    QVERIFY(backend.openDevice(devices[0].name));
    QCOMPARE(backend.supportedResolutions(), SaneBackend::defaultResolutions());
}

void TestSaneBackend::previewAt75()
{
    SaneTestDevice device(grid());
    QString error;
    const QImage expected = device.scanimage({QStringLiteral("--resolution"), QStringLiteral("75")}, &error);
    QVERIFY2(!expected.isNull(), qPrintable(error));
    SaneBackend backend;
    QVERIFY(backend.init());
    QVERIFY(backend.openDevice(QStringLiteral("test:0")));
    const QImage preview = backend.doPreview(params(600, 1));
    QCOMPARE(preview.size(), expected.size());
    QCOMPARE(preview.dotsPerMeterX(), scanDotsPerMeter(75));
}

void TestSaneBackend::readErrorLeavesBackendUsable()
{
    {
        SaneTestDevice device(grid({{QStringLiteral("read-status-code"), QStringLiteral("\"SANE_STATUS_IO_ERROR\"")}}));
        SaneBackend backend;
        QVERIFY(backend.init());
        QVERIFY(backend.openDevice(QStringLiteral("test:0")));
        QVERIFY(backend.doScan(params(75, 1)).isNull());
        QCOMPARE(backend.lastError(),
                 QStringLiteral("sane_read: ") + QString::fromUtf8(sane_strstatus(SANE_STATUS_IO_ERROR)));
        QVERIFY(backend.isDeviceOpen());
        QVERIFY(backend.doPreview(params(75, 1)).isNull());  // the device still answers
        QVERIFY(backend.lastError().startsWith(QLatin1String("sane_read: ")));
    }
    // The library starts afresh for the next back-end.
    SaneTestDevice device(grid());
    SaneBackend backend;
    QVERIFY(backend.init());
    QVERIFY(backend.openDevice(QStringLiteral("test:1")));
    QVERIFY(!backend.doScan(params(75, 1)).isNull());
}

void TestSaneBackend::deviceGoneAfterListing()
{
    SaneTestDevice device(grid());
    SaneBackend backend;
    QVERIFY(backend.init());
    QVERIFY(backend.openDevice(QStringLiteral("test:0")));
    QVERIFY(!backend.openDevice(QStringLiteral("test:7")));
    QVERIFY(backend.lastError().startsWith(QLatin1String("sane_open: ")));
    QVERIFY(!backend.isDeviceOpen());
    QVERIFY(backend.doScan(params(75, 1)).isNull());
    QCOMPARE(backend.lastError(), QStringLiteral("No device open"));
    QVERIFY(backend.openDevice(QStringLiteral("test:0")));
    QVERIFY(!backend.doScan(params(75, 1)).isNull());
}

// Stopped from another thread once its bytes flow, a scan ends with no page
// having read a small part of its frame (3.3 MB at 300 dpi, sent a buffer
// each 0.2 s): the stop reaches the read, not the frame's end.
void TestSaneBackend::cancelFromAnotherThread()
{
    constexpr qint64 kFrameBytes = qint64(945) * 1181 * 3;
    SaneTestDevice device(grid({{QStringLiteral("read-delay"), QStringLiteral("true")},
                                {QStringLiteral("read-delay-duration"), QStringLiteral("200000")}}));
    SaneBackend backend;
    QVERIFY(backend.init());
    QVERIFY(backend.openDevice(QStringLiteral("test:0")));
    const workmeter::Meter work;
    std::atomic<bool> scanned{false};
    std::thread canceller([&backend, &work, &scanned] {
        // Its first buffers have come: the device is reading.
        while (!scanned && work.bytesRead() < 16 * 1024)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        backend.cancelAcquisition();
    });
    const QImage image = backend.doScan(params(300, 0));
    scanned = true;
    canceller.join();
    QVERIFY(image.isNull());  // a partial frame is no page
    QVERIFY2(work.bytesRead() < kFrameBytes / 2, qPrintable(QString::number(work.bytesRead())));
    QVERIFY2(backend.lastError().contains(QString::fromUtf8(sane_strstatus(SANE_STATUS_CANCELLED))),
             qPrintable(backend.lastError()));
}

void TestSaneBackend::noDeviceOpen()
{
    SaneTestDevice device(grid());
    SaneBackend backend;
    QVERIFY(backend.init());
    QVERIFY(!backend.isDeviceOpen());
    QVERIFY(backend.doPreview(params(75, 0)).isNull());
    QCOMPARE(backend.lastError(), QStringLiteral("No device open"));
    QCOMPARE(backend.supportedResolutions(), SaneBackend::defaultResolutions());
}

void TestSaneBackend::optionWords_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("word");
    QTest::newRow("int resolution") << int(SANE_TYPE_INT) << 75 << 75;
    QTest::newRow("fixed resolution") << int(SANE_TYPE_FIXED) << 75 << int(SANE_FIX(75));
    QTest::newRow("fixed brightness -1") << int(SANE_TYPE_FIXED) << -1 << int(SANE_FIX(-1));
    QTest::newRow("int brightness -1") << int(SANE_TYPE_INT) << -1 << -1;
}

void TestSaneBackend::optionWords()
{
    QFETCH(int, type);
    QFETCH(int, value);
    QFETCH(int, word);
    const SANE_Option_Descriptor d = descriptor(SANE_Value_Type(type));
    QCOMPARE(SaneOptions::wordFor(d, value), word);
    QCOMPARE(SaneOptions::intFrom(d, word), value);
}

void TestSaneBackend::resolutionLists()
{
    const QList<int> fallback = SaneBackend::defaultResolutions();
    SANE_Option_Descriptor d = descriptor(SANE_TYPE_INT);
    QCOMPARE(SaneOptions::resolutions(d, fallback), fallback);
    const SANE_Word ints[] = {3, 50, 100, 200};
    d.constraint_type = SANE_CONSTRAINT_WORD_LIST;
    d.constraint.word_list = ints;
    QCOMPARE(SaneOptions::resolutions(d, fallback), (QList<int>{50, 100, 200}));
    const SANE_Word fixed[] = {2, SANE_FIX(150), SANE_FIX(300)};
    SANE_Option_Descriptor f = descriptor(SANE_TYPE_FIXED);
    f.constraint_type = SANE_CONSTRAINT_WORD_LIST;
    f.constraint.word_list = fixed;
    QCOMPARE(SaneOptions::resolutions(f, fallback), (QList<int>{150, 300}));
    SANE_Range range{SANE_FIX(50), SANE_FIX(600), 0};
    f.constraint_type = SANE_CONSTRAINT_RANGE;
    f.constraint.range = &range;
    QCOMPARE(SaneOptions::resolutions(f, fallback), fallback);
}

void TestSaneBackend::inactiveAndReadOnlyOptionsAreNotWritten()
{
    QVERIFY(SaneOptions::writable(descriptor(SANE_TYPE_INT)));
    QVERIFY(!SaneOptions::writable(descriptor(SANE_TYPE_INT, SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT | SANE_CAP_INACTIVE)));
    QVERIFY(!SaneOptions::writable(descriptor(SANE_TYPE_INT, SANE_CAP_SOFT_DETECT)));
}

void TestSaneBackend::modes_data()
{
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<int>("colorMode");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<bool>("threshold");
    const QStringList twoModes{QStringLiteral("Gray"), QStringLiteral("Color")};
    const QStringList threeModes{QStringLiteral("Lineart"), QStringLiteral("Gray"), QStringLiteral("Color")};
    QTest::newRow("colour listed") << twoModes << 0 << "Color" << false;
    QTest::newRow("grey listed") << twoModes << 1 << "Gray" << false;
    QTest::newRow("no Lineart: grey, thresholded") << twoModes << 2 << "Gray" << true;
    QTest::newRow("Lineart listed") << threeModes << 2 << "Lineart" << false;
    QTest::newRow("other values are black and white") << threeModes << 7 << "Lineart" << false;
    QTest::newRow("colour not listed: nothing sent") << QStringList{QStringLiteral("Gray")} << 0 << "" << false;
}

void TestSaneBackend::modes()
{
    QFETCH(QStringList, listed);
    QFETCH(int, colorMode);
    QFETCH(QString, sent);
    QFETCH(bool, threshold);
    QList<QByteArray> storage;
    std::vector<SANE_String_Const> strings;
    for (const QString& mode : listed)
        storage.append(mode.toUtf8());
    for (const QByteArray& mode : storage)
        strings.push_back(mode.constData());
    strings.push_back(nullptr);
    SANE_Option_Descriptor d = descriptor(SANE_TYPE_STRING);
    d.size = 32;
    d.constraint_type = SANE_CONSTRAINT_STRING_LIST;
    d.constraint.string_list = strings.data();
    bool thresholdNeeded = !threshold;
    QCOMPARE(SaneOptions::modeFor(d, colorMode, &thresholdNeeded), sent);
    QCOMPARE(thresholdNeeded, threshold);
}

void TestSaneBackend::frames_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("depth");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<int>("stride");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("expected");  // the image's first line; empty: null image
    QTest::newRow("lineart: 1 is black") << int(SANE_FRAME_GRAY) << 1 << 4 << 1 << QByteArray("\xa0", 1)
                                         << QByteArray("\x00\xff\x00\xff", 4);
    QTest::newRow("grey 16 bits keep the high byte")
        << int(SANE_FRAME_GRAY) << 16 << 2 << 4 << QByteArray("\x34\x12\xff\xab", 4) << QByteArray("\x12\xab", 2);
    QTest::newRow("colour 1 bit: 1 is full") << int(SANE_FRAME_RGB) << 1 << 2 << 1 << QByteArray("\xa4", 1)
                                             << QByteArray("\xff\x00\xff\x00\x00\xff", 6);
    QTest::newRow("stride shorter than the line") << int(SANE_FRAME_GRAY) << 8 << 4 << 3 << QByteArray("abcabc")
                                                  << QByteArray();
    QTest::newRow("no complete line") << int(SANE_FRAME_RGB) << 8 << 2 << 6 << QByteArray("abc") << QByteArray();
    QTest::newRow("one frame of a three-pass device") << int(SANE_FRAME_RED) << 8 << 2 << 2 << QByteArray("ab")
                                                      << QByteArray();
}

void TestSaneBackend::frames()
{
    QFETCH(int, format);
    QFETCH(int, depth);
    QFETCH(int, pixels);
    QFETCH(int, stride);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, expected);
    const QImage image = SaneOptions::frameImage(frameParams(format, depth, pixels, stride, -1), bytes, 200);
    if (expected.isEmpty()) {
        QVERIFY(image.isNull());
        return;
    }
    QVERIFY(!image.isNull());
    // Line art stays one bit a pixel; its samples read as grey 0 and 255.
    const bool lineArt = format == SANE_FRAME_GRAY && depth == 1;
    QCOMPARE(image.format() == QImage::Format_Mono, lineArt);
    const QImage samples = lineArt ? image.convertToFormat(QImage::Format_Grayscale8) : image;
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(samples.constScanLine(0)), expected.size()), expected);
    QCOMPARE(image.dotsPerMeterX(), scanDotsPerMeter(200));
}

// Frames the program cannot take are known by their parameters, before a
// byte is read; a hand scanner (lines -1) is judged as its bytes come.
void TestSaneBackend::frameRefusals_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("depth");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<int>("stride");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("reason"); // its start; empty: taken
    const QString large = QStringLiteral("Кадр сканера");
    QTest::newRow("A4 at 300 dpi, colour") << int(SANE_FRAME_RGB) << 8 << 2480 << 7440 << 3508 << "";
    QTest::newRow("A4 at 1200 dpi, grey") << int(SANE_FRAME_GRAY) << 8 << 9920 << 9920 << 14032 << "";
    QTest::newRow("A4 at 1200 dpi, 16-bit colour") << int(SANE_FRAME_RGB) << 16 << 9920 << 59520 << 14032 << large;
    QTest::newRow("lines not known yet") << int(SANE_FRAME_RGB) << 16 << 9920 << 59520 << -1 << "";
    QTest::newRow("line past the largest side") << int(SANE_FRAME_GRAY) << 1 << 32768 << 4096 << 10 << large;
    QTest::newRow("column past the largest side") << int(SANE_FRAME_GRAY) << 1 << 100 << 13 << 32768 << large;
    QTest::newRow("largest side, one bit") << int(SANE_FRAME_GRAY) << 1 << 32767 << 4096 << 32767 << "";
    QTest::newRow("three-pass colour")
        << int(SANE_FRAME_GREEN) << 8 << 100 << 100 << 100 << "Сканер передаёт цвета отдельными проходами";
    QTest::newRow("4 bits a sample") << int(SANE_FRAME_GRAY) << 4 << 100 << 50 << 100 << "Сканер передаёт кадр";
    QTest::newRow("stride short of the line")
        << int(SANE_FRAME_RGB) << 8 << 100 << 299 << 100 << "Сканер передал неверные размеры";
    QTest::newRow("no pixels") << int(SANE_FRAME_GRAY) << 8 << 0 << 0 << 100 << "Сканер передал неверные размеры";
}

void TestSaneBackend::frameRefusals()
{
    QFETCH(int, format);
    QFETCH(int, depth);
    QFETCH(int, pixels);
    QFETCH(int, stride);
    QFETCH(int, lines);
    QFETCH(QString, reason);
    const QString refusal = SaneOptions::frameRefusal(frameParams(format, depth, pixels, stride, lines));
    QVERIFY2(reason.isEmpty() ? refusal.isEmpty() : refusal.startsWith(reason), qPrintable(refusal));
}

// A frame the program cannot take is refused with the reason, and the device
// is stopped before it sends half a gigabyte.
void TestSaneBackend::refusedFramesSayWhy_data()
{
    QTest::addColumn<Settings>("settings");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QString>("reason"); // its start
    QTest::newRow("20 cm square at 1200 dpi, 16-bit colour")
        << grid({{QStringLiteral("depth"), QStringLiteral("16")},
                 {QStringLiteral("br_x"), QStringLiteral("200.0")},
                 {QStringLiteral("br_y"), QStringLiteral("200.0")}})
        << 1200 << "Кадр сканера 9448 × 9448 точек (511 МБ)";
    QTest::newRow("three-pass colour") << grid({{QStringLiteral("three-pass"), QStringLiteral("true")}}) << 75
                                       << "Сканер передаёт цвета отдельными проходами";
}

void TestSaneBackend::refusedFramesSayWhy()
{
    QFETCH(Settings, settings);
    QFETCH(int, dpi);
    QFETCH(QString, reason);
    SaneTestDevice device(settings);
    QVERIFY(device.isValid());
    SaneBackend backend;
    QVERIFY(backend.init());
    QVERIFY(backend.openDevice(QStringLiteral("test:0")));
    const workmeter::Meter work;
    QVERIFY(backend.doScan(params(dpi, 0)).isNull());
    QVERIFY2(backend.lastError().startsWith(reason), qPrintable(backend.lastError()));
    QVERIFY2(work.bytesRead() < 16 * 1024 * 1024, qPrintable(QString::number(work.bytesRead())));
    // The device was stopped: it answers the next scan.
    QVERIFY(backend.isDeviceOpen());
    QVERIFY2(!backend.doPreview(params(75, 1)).isNull(), qPrintable(backend.lastError()));
}

QTEST_GUILESS_MAIN(TestSaneBackend)
#include "tst_sanebackend.moc"
