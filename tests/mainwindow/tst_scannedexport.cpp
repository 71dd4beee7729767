// The scanned-look export through its dialog: the options it shows, the
// file it writes, and what it refuses.
#include "ExportTestSupport.h"
#include "ScannedPdfExportDialog.h"
#include "UiTranslate.h"

#include <QComboBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSlider>

using namespace exporttest;
using namespace windowtest;

class ScannedExportTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        isolateSettings();
        qApp->setProperty("uiLanguage", QStringLiteral("ru"));
    }

    // Stored values out of range are brought into the controls' ranges.
    void storedScannedValuesInRange()
    {
        QSettings settings;
        settings.setValue(QStringLiteral("export/scannedPdf/dpi"), 250);
        settings.setValue(QStringLiteral("export/scannedPdf/rotation"), 45);
        settings.setValue(QStringLiteral("export/scannedPdf/darkness"), 90);
        settings.setValue(QStringLiteral("export/scannedPdf/marginMm"), 30.0);
        ScannedPdfExportDialog dialog(readScannedPdfDefaults(), nullptr, nullptr);
        const ScannedPdfExportOptions shown = dialog.options();
        QCOMPARE(shown.dpi, 200);
        QCOMPARE(shown.rotation, 0);
        QCOMPARE(shown.darkness, 50);
        QCOMPARE(shown.marginMm, 12.0);
    }

    // The defaults button stores all thirteen values and tells so;
    // and cancelling afterwards keeps them.
    void defaultsButtonStoresTheValues()
    {
        ScannedPdfExportDialog dialog(readScannedPdfDefaults(), nullptr, nullptr);
        dialog.findChild<QComboBox*>(QStringLiteral("ScanCombo"))->setCurrentIndex(4);  // 400 dpi
        const QList<QSlider*> sliders = dialog.findChildren<QSlider*>(QStringLiteral("ScanSlider"));
        QCOMPARE(sliders.size(), 7);
        sliders.at(6)->setValue(33);
        QPushButton* button = prompt::buttonWithText(&dialog, QStringLiteral("Сохранить как дефолтные"));
        button->click();
        QCOMPARE(button->text(), QStringLiteral("Дефолтные сохранены"));
        dialog.reject();
        QSettings settings;
        settings.beginGroup(QStringLiteral("export/scannedPdf"));
        QCOMPARE(settings.childKeys().size(), 13);
        QCOMPARE(settings.value(QStringLiteral("dpi")).toInt(), 400);
        QCOMPARE(settings.value(QStringLiteral("foldedCorner")).toInt(), 33);
    }

    // A name chosen by browsing gets ".pdf" unless it has it, then the suffix.
    void browsedNames_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no extension") << "copy" << "copy_сканированный.pdf";
        QTest::newRow("upper-case extension") << "COPY.PDF" << "COPY_сканированный.pdf";
    }

    void browsedNames()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QTemporaryDir dir;
        ScannedPdfExportDialog dialog(readScannedPdfDefaults(), nullptr, nullptr);
        prompt::Driver prompts;
        answerFileDialog(prompts, QString(), dir.filePath(typed));
        prompt::buttonWithText(&dialog, QStringLiteral("Обзор..."))->click();
        QCOMPARE(QFileInfo(dialog.options().outputPath).fileName(), shown);
    }

    // Three A4 pages become three pages of one picture each at the chosen
    // resolution, no fonts.
    void scannedExportStructure()
    {
        QSettings().setValue(QStringLiteral("export/scannedPdf/dpi"), 100);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        const QString source = showWithPdf(window, dir, 3);
        prompt::Driver prompts;
        acceptScannedDialog(prompts);
        QVERIFY(window.showScannedPdfExportDialog(QString()));
        const QString out = dir.filePath(QStringLiteral("a_сканированный.pdf"));
        QVERIFY(QFileInfo::exists(out));
        QCOMPARE(pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--check"), out}).exitCode, 0);
        const QList<QSizeF> sizes = pdftools::pageSizes(out);
        QCOMPARE(sizes.size(), 3);
        for (const QSizeF& size : sizes)
            QVERIFY(qAbs(size.width() - 595) <= 1 && qAbs(size.height() - 842) <= 1);
        const QList<pdftools::ImageRow> images = pdftools::listImages(out);
        QCOMPARE(images.size(), 3);
        for (const pdftools::ImageRow& row : images)
            QVERIFY(qAbs(row.xPpi - 100) <= 1);
        QCOMPARE(pdftools::fontCount(out), 0);
        QVERIFY(fixtures::readFile(source).size() > 0);
    }

    // A grey scan is stored grey, one byte a pixel before compression, a
    // colour one in colour; each as a JPEG, as a scanner keeps a page, and
    // no smaller mask beside it.
    void scanStoredAsItsOptionsSay_data()
    {
        QTest::addColumn<bool>("grey");
        QTest::addColumn<QString>("colour");
        QTest::addColumn<int>("bytesPerPixel");
        QTest::newRow("grey") << true << "gray" << 1;
        QTest::newRow("colour") << false << "rgb" << 3;
    }

    void scanStoredAsItsOptionsSay()
    {
        QFETCH(bool, grey);
        QFETCH(QString, colour);
        QFETCH(int, bytesPerPixel);
        QSettings().setValue(QStringLiteral("export/scannedPdf/dpi"), 150);
        QSettings().setValue(QStringLiteral("export/scannedPdf/grayscale"), grey);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showWithPdf(window, dir, 2);
        prompt::Driver prompts;
        acceptScannedDialog(prompts);
        QVERIFY(window.showScannedPdfExportDialog(QString()));
        const QString out = dir.filePath(QStringLiteral("a_сканированный.pdf"));
        const QList<pdftools::ImageRow> images = pdftools::listImages(out);
        QCOMPARE(images.size(), 2);
        qint64 pixels = 0;
        for (const pdftools::ImageRow& row : images) {
            QCOMPARE(row.type, QStringLiteral("image"));
            QCOMPARE(row.color, colour);
            QCOMPARE(row.bitsPerComponent, 8);
            QCOMPARE(row.encoding, QStringLiteral("jpeg"));
            QVERIFY(qAbs(row.xPpi - 150) <= 1);
            pixels += qint64(row.width) * row.height;
        }
        // Well under the raw pictures the options describe.
        QVERIFY2(QFileInfo(out).size() < pixels * bytesPerPixel / 4, qPrintable(QString::number(QFileInfo(out).size())));
        QCOMPARE(pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--check"), out}).exitCode, 0);
    }

    // Turned a quarter: sizes swap. Two exports give the same pictures.
    void scannedExportTurnedAndRepeatable()
    {
        QSettings().setValue(QStringLiteral("export/scannedPdf/rotation"), 90);
        QSettings().setValue(QStringLiteral("export/scannedPdf/dpi"), 100);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showWithPdf(window, dir, 1);
        prompt::Driver prompts;
        const QString first = dir.filePath(QStringLiteral("one.pdf"));
        const QString second = dir.filePath(QStringLiteral("two.pdf"));
        acceptScannedDialog(prompts, first);
        QVERIFY(window.showScannedPdfExportDialog(QString()));
        window.activateDocument(0);
        acceptScannedDialog(prompts, second);
        QVERIFY(window.showScannedPdfExportDialog(QString()));
        const QString one = dir.filePath(QStringLiteral("one_сканированный.pdf"));
        const QString two = dir.filePath(QStringLiteral("two_сканированный.pdf"));
        const QList<QSizeF> sizes = pdftools::pageSizes(one);
        QCOMPARE(sizes.size(), 1);
        QVERIFY(qAbs(sizes.first().width() - 842) <= 1 && qAbs(sizes.first().height() - 595) <= 1);
        QCOMPARE(imagesDigest(one, dir.filePath(QStringLiteral("i1"))),
                 imagesDigest(two, dir.filePath(QStringLiteral("i2"))));
    }

    // A refused output says why, in the interface's language: a document
    // open here (the file untouched), a folder that is not there.
    void scannedExportRefusals_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("output");  // "open" or a name in the temporary folder
        QTest::addColumn<QString>("told");
        QTest::newRow("a document open here")
            << "ru" << "open" << "Сканированный PDF|Файл b_сканированный.pdf открыт в программе. Укажите другой файл результата.";
        QTest::newRow("a folder not there")
            << "ru" << "gone/x.pdf" << "Ошибка экспорта|Не удалось создать PDF файл.\nНет такого файла или папки";
        QTest::newRow("a folder not there, German interface")
            << "de" << "gone/x.pdf" << "Ошибка экспорта|Не удалось создать PDF файл.\nНет такого файла или папки";
    }

    void scannedExportRefusals()
    {
        QFETCH(QString, language);
        QFETCH(QString, output);
        QFETCH(QString, told);
        QSettings().setValue(QStringLiteral("ui/language"), language);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showSmall(window);
        const QString source = writePdf(dir, QStringLiteral("b_сканированный.pdf"), 1);
        const QByteArray before = fixtures::readFile(source);
        window.openFile(source);
        prompt::Driver prompts;
        acceptScannedDialog(prompts, output == QLatin1String("open") ? source : dir.filePath(output));
        QString shown;
        noteNotice(prompts, &shown);
        QVERIFY(!window.showScannedPdfExportDialog(QString()));
        // Every line in the interface's language.
        const QStringList lines = told.split(QLatin1Char('|'));
        QStringList expected{uiTranslate(lines.first())};
        for (const QString& line : lines.last().split(QLatin1Char('\n')))
            expected << uiTranslate(line);
        QCOMPARE(shown, expected.first() + QLatin1Char('|') + expected.mid(1).join(QLatin1Char('\n')));
        QVERIFY2(shown.contains(QRegularExpression(QStringLiteral("[а-яА-Я]"))) == (language == QLatin1String("ru")),
                 qPrintable(shown));
        QCOMPARE(fixtures::readFile(source), before);
        QCOMPARE(fixtures::filesIn(dir.path()), QStringList{"b_сканированный.pdf"});
    }

    // A page that cannot be rendered (over the engine's budget at 600 dpi):
    // the old file stays whole and no partial one is left.
    void scannedExportFailureKeepsTheOldFile()
    {
        QSettings().setValue(QStringLiteral("export/scannedPdf/dpi"), 600);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showSmall(window);
        fixtures::PageSpec huge;
        huge.width = 1500;
        huge.height = 1500;
        window.openFile(writeFixture(dir, QStringLiteral("huge.pdf"), fixtures::pagesPdf({huge})));
        QDir().mkpath(dir.filePath(QStringLiteral("out")));
        const QString old = writeFixture(dir, QStringLiteral("out/x_сканированный.pdf"), "old");
        prompt::Driver prompts;
        acceptScannedDialog(prompts, old);
        prompts.clickButton(QStringLiteral("Перезаписать"));
        QString told;
        noteNotice(prompts, &told);
        QVERIFY(!window.showScannedPdfExportDialog(QString()));
        QCOMPARE(told, QStringLiteral("Ошибка экспорта|Не удалось сохранить сканированный PDF."));
        QCOMPARE(fixtures::readFile(old), QByteArray("old"));
        QCOMPARE(fixtures::filesIn(dir.filePath(QStringLiteral("out"))), QStringList{"x_сканированный.pdf"});
    }

};

QTEST_MAIN(ScannedExportTest)
#include "tst_scannedexport.moc"
