// The compressed-PDF dialog and its size fit, with the real fit worker on a
// small document, stand-in workers for failures, and the export from the
// window's Home button.
#include "CompressedPdfExportDialog.h"
#include "CompressionOptionsJson.h"
#include "DialogKit.h"
#include "PromptDriver.h"
#include "StandInWorker.h"
#include "WindowTestSupport.h"
#include "WorkProgressDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QSettings>
#include <QSlider>
#include <QThread>

#include <csignal>

using namespace windowtest;

namespace {

using Options = PdfDocument::CompressionOptions;

const QString kWorker = QStringLiteral(VORN_PDF_EXECUTABLE);
// How long a fit (the compressor run in a child) may take on a busy machine.
constexpr int kFitMs = 120000;

QLabel* forecast(QDialog* dialog)
{
    for (QLabel* label : dialog->findChildren<QLabel*>(QStringLiteral("DialogHint"))) {
        if (label->parentWidget() == dialog && label->wordWrap())
            return label;
    }
    return nullptr;
}

QPushButton* button(QDialog* dialog, const QString& text)
{
    return prompt::buttonWithText(dialog, text);
}

QStringList leftoverCopies()
{
    return QDir(QDir::tempPath()).entryList({QStringLiteral("vorn_pdf_compress_estimate_*")}, QDir::Files);
}

} // namespace

Q_DECLARE_METATYPE(PdfDocument::CompressionOptions)

class CompressedPdfTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { CompressedPdfExportDialog::setFitWorkerProgram(kWorker); }

    void levelForOptions_data();
    void levelForOptions();
    void openingState_data();
    void openingState();
    void fitThenChoicesFromTheCache();
    void failedFit_data();
    void failedFit();
    void closingDuringFitLeavesNothing();
    void homeButtonSavesOnReturn();
    void openDocumentIsNeverTheTarget();
    void savingCanBeCancelled();
    void newLimitAnsweredFromTheCacheOrRunAgain_data();
    void newLimitAnsweredFromTheCacheOrRunAgain();
    void noFitOffersTheTextKeptCopy();
    void customBadgeIsTranslated_data();
    void customBadgeIsTranslated();
    void unchangedDocumentIsMeasuredAsItsFile();
    void encryptedFileIsCopiedUncompressed_data();
    void encryptedFileIsCopiedUncompressed();

private:
    QTemporaryDir m_temp;
    QTemporaryDir m_dir;
    PdfDocument m_document;
};

void CompressedPdfTest::initTestCase()
{
    isolateSettings();
    // A temporary folder of this run's own: copies of other runs do not count.
    QVERIFY(QDir().mkpath(m_temp.path()));
    qputenv("TMPDIR", QFile::encodeName(m_temp.path()));
    QCOMPARE(QDir::tempPath(), QDir(m_temp.path()).canonicalPath());
    QVERIFY(m_document.open(writePdf(m_dir, QStringLiteral("doc.pdf"), 2)));
}

void CompressedPdfTest::init()
{
    QSettings().clear();
    CompressedPdfExportDialog::setFitWorkerProgram(kWorker);
}

Options options(int dpi, int quality, bool raster = true, bool mono = false, bool gray = false)
{
    Options o;
    o.imageDpi = dpi;
    o.jpegQuality = quality;
    o.rasterizePages = raster;
    o.monochrome = mono;
    o.grayscale = gray;
    return o;
}

void CompressedPdfTest::levelForOptions_data()
{
    QTest::addColumn<Options>("options");
    QTest::addColumn<int>("level");
    QTest::newRow("a level exactly") << options(120, 42) << 3;
    QTest::newRow("monochrome level exactly") << options(72, 35, true, true) << 5;
    QTest::newRow("keeping objects") << options(72, 20, false, true) << 0;
    QTest::newRow("80 dpi") << options(80, 90) << 4;
    QTest::newRow("quality 32") << options(300, 32) << 4;
    QTest::newRow("quality 45") << options(300, 45) << 3;
    QTest::newRow("130 dpi") << options(130, 90) << 3;
    QTest::newRow("180 dpi preset") << options(180, 68) << 1;
    QTest::newRow("140 dpi preset") << options(140, 50) << 2;
    QTest::newRow("240 dpi") << options(240, 80) << 1;
    QTest::newRow("quality 78") << options(300, 78) << 1;
    QTest::newRow("grayscale 300/85") << options(300, 85, true, false, true) << 0;
    QTest::newRow("above every threshold") << options(241, 79) << 0;
}

void CompressedPdfTest::levelForOptions()
{
    QFETCH(Options, options);
    QFETCH(int, level);
    QCOMPARE(::levelForOptions(options), level);
}

void CompressedPdfTest::openingState_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<int>("slider");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("comboDpi");
    QTest::addColumn<double>("limit");

    const QString custom = QStringLiteral("Пользовательские настройки");
    QTest::newRow("defaults: a small file gets 1 MB") << QVariantMap{} << 2 << "Среднее сжатие" << 150 << 1.0;
    QTest::newRow("first level")
        << QVariantMap{{"imageDpi", 300}, {"jpegQuality", 85}} << 0 << "Почти без потери качества" << 300 << 1.0;
    QTest::newRow("110 dpi: the earlier of two near entries")
        << QVariantMap{{"imageDpi", 110}} << 3 << custom << 100 << 1.0;
    QTest::newRow("keeping objects") << QVariantMap{{"rasterizePages", false}} << 0 << custom << 150 << 1.0;
    QTest::newRow("monochrome at 150") << QVariantMap{{"monochrome", true}} << 5 << custom << 150 << 1.0;
    QTest::newRow("limit below the range") << QVariantMap{{"targetMb", 0}} << 2 << "Среднее сжатие" << 150 << 0.1;
    QTest::newRow("limit above the range") << QVariantMap{{"targetMb", 5000}} << 2 << "Среднее сжатие" << 150
                                           << 4096.0;
}

// The stored options set the level and the fine settings; the controls wait
// for the opening fit.
void CompressedPdfTest::openingState()
{
    QFETCH(QVariantMap, stored);
    QFETCH(int, slider);
    QFETCH(QString, title);
    QFETCH(int, comboDpi);
    QFETCH(double, limit);
    QSettings settings;
    for (auto it = stored.begin(); it != stored.end(); ++it)
        settings.setValue("export/compressedPdf/" + it.key(), it.value());

    CompressedPdfExportDialog dialog(&m_document, m_dir.filePath("doc_сжатый.pdf"), false);
    QCOMPARE(dialog.findChild<QSlider*>("ScanSlider")->value(), slider);
    QCOMPARE(dialog.findChildren<QLabel*>(QStringLiteral("DialogTitle")).at(1)->text(), title);
    QCOMPARE(dialog.findChild<QComboBox*>("ScanCombo")->currentData().toInt(), comboDpi);
    QCOMPARE(dialog.findChild<QDoubleSpinBox*>("ScanSpin")->value(), limit);
    QVERIFY(!button(&dialog, "Сохранить")->isEnabled());
}

// One worker run per dialog: a new limit and "Подобрать" choose from its
// estimates; only the run writes the stored limit.
void CompressedPdfTest::fitThenChoicesFromTheCache()
{
    CompressedPdfExportDialog dialog(&m_document, m_dir.filePath("doc_сжатый.pdf"), false);
    dialog.show();
    QTRY_VERIFY(dialog.isFitRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isFitRunning(), kFitMs);
    QVERIFY2(forecast(&dialog)->text().startsWith("Варианты сжатия посчитаны и сохранены для этого окна.\nПодобрано"),
             qPrintable(forecast(&dialog)->text()));
    QVERIFY(button(&dialog, "Сохранить")->isEnabled());
    QCOMPARE(QSettings().value("export/compressedPdf/targetMb").toDouble(), 1.0);
    QVERIFY(leftoverCopies().isEmpty());
    // A text document under 1 MB fits as it is: its text is kept.
    QVERIFY(!dialog.options().rasterizePages);
    QVERIFY(!dialog.options().recompressSmallImages);

    auto* limit = dialog.findChild<QDoubleSpinBox*>("ScanSpin");
    limit->setValue(0.1);
    QVERIFY(!dialog.isFitRunning());
    QVERIFY(forecast(&dialog)->text().startsWith("Повторный подбор не запускался"));
    QCOMPARE(QSettings().value("export/compressedPdf/targetMb").toDouble(), 1.0);
    button(&dialog, "Подобрать")->click();
    QVERIFY(!dialog.isFitRunning());
    QVERIFY(forecast(&dialog)->text().startsWith("Повторный подбор не запускался"));

    // The run stopped at its choice: a level it never measured has no forecast.
    dialog.findChild<QSlider*>("ScanSlider")->setValue(2);
    QCOMPARE(forecast(&dialog)->text(), QStringLiteral("Прогноз размера: настройки изменились, пересчитайте."));

    // The explicit estimate runs beside the dialog and leaves the cache alone.
    button(&dialog, "Оценить размер")->click();
    QVERIFY(!button(&dialog, "Оценить размер")->isEnabled());
    QTRY_VERIFY(button(&dialog, "Оценить размер")->isEnabled());
    const QStringList lines = forecast(&dialog)->text().split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.at(0).startsWith("Прогноз текущих настроек: около "));
    QVERIFY(lines.at(1).startsWith("Минимальный прогноз: около "));
    dialog.findChild<QSlider*>("ScanSlider")->setValue(1);
    QCOMPARE(forecast(&dialog)->text(), QStringLiteral("Прогноз размера: настройки изменились, пересчитайте."));
}

namespace {

// A fit answer whose estimates are the levels of the given sizes, in order.
QString answeringScript(const QList<int>& levels, const QList<int>& bytes, bool matched, bool complete,
                        const QList<bool>& keepsText = {})
{
    QJsonArray estimates;
    for (int i = 0; i < levels.size(); ++i) {
        QJsonObject options = compressionOptionsToJson(stageForLevel(levels.at(i)).options);
        estimates.append(QJsonObject{{"index", i}, {"label", QStringLiteral("L%1").arg(i)},
                                     {"bytes", QString::number(bytes.at(i))}, {"sampled", false},
                                     {"options", options}, {"keepsText", keepsText.value(i, false)}});
    }
    QJsonObject answer = estimates.last().toObject();
    answer.remove("index");
    answer.insert("ok", true);
    answer.insert("matchedTarget", matched);
    answer.insert("complete", complete);
    answer.insert("estimates", estimates);
    return QStringLiteral("echo '%1'").arg(QString::fromUtf8(QJsonDocument(answer).toJson(QJsonDocument::Compact)));
}

} // namespace

void CompressedPdfTest::newLimitAnsweredFromTheCacheOrRunAgain_data()
{
    QTest::addColumn<bool>("complete");
    QTest::addColumn<double>("limitMb");
    QTest::addColumn<bool>("runsAgain");

    // The stand-in measured levels 0 and 2 (2 MB and 0.5 MB) under 1 MB.
    QTest::newRow("complete run, lower limit") << true << 0.1 << false;
    QTest::newRow("complete run, higher limit") << true << 3.0 << false;
    QTest::newRow("stopped at its choice, a lower limit it still fits") << false << 0.6 << false;
    QTest::newRow("stopped at its choice, a limit below it") << false << 0.2 << true;
    QTest::newRow("stopped at its choice, a higher limit") << false << 3.0 << true;
}

// A run that stopped at its choice answers from its estimates only the limits
// they decide; any other starts the worker again.
void CompressedPdfTest::newLimitAnsweredFromTheCacheOrRunAgain()
{
    QFETCH(bool, complete);
    QFETCH(double, limitMb);
    QFETCH(bool, runsAgain);
    QTemporaryDir dir;
    const QString runs = dir.filePath("runs");
    CompressedPdfExportDialog::setFitWorkerProgram(standin::script(
        dir, QStringLiteral("echo run >> '%1'\n").arg(runs) + answeringScript({0, 2}, {2 * 1048576, 524288}, true, complete)));
    const auto runCount = [&runs] {
        QFile file(runs);
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : 0;
    };
    CompressedPdfExportDialog dialog(&m_document, m_dir.filePath("doc_сжатый.pdf"), false);
    dialog.show();
    QTRY_VERIFY(dialog.isFitRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isFitRunning(), kFitMs);
    QCOMPARE(dialog.options().imageDpi, 150);
    QCOMPARE(runCount(), 1);
    dialog.findChild<QDoubleSpinBox*>("ScanSpin")->setValue(limitMb);
    QVERIFY(!dialog.isFitRunning());  // not while the limit is being typed
    if (runsAgain) {
        QTRY_COMPARE_WITH_TIMEOUT(runCount(), 2, kFitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.isFitRunning(), kFitMs);
    } else {
        QVERIFY(forecast(&dialog)->text().startsWith("Повторный подбор не запускался"));
    }
}

// When nothing fits, the smallest copy that keeps the text is offered and
// the text says so; a picture of the pages that fits is chosen with a warning.
void CompressedPdfTest::noFitOffersTheTextKeptCopy()
{
    QTemporaryDir dir;
    CompressedPdfExportDialog::setFitWorkerProgram(
        standin::script(dir, answeringScript({0, 4}, {900000, 300000}, false, true, {true, false})));
    CompressedPdfExportDialog dialog(&m_document, m_dir.filePath("doc_сжатый.pdf"), false);
    dialog.show();
    QTRY_VERIFY(dialog.isFitRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isFitRunning(), kFitMs);
    auto* limit = dialog.findChild<QDoubleSpinBox*>("ScanSpin");
    limit->setValue(0.1);
    QVERIFY(!dialog.isFitRunning());
    QStringList lines = forecast(&dialog)->text().split('\n');
    QCOMPARE(lines.value(1), QStringLiteral("Даже самый жёсткий режим не укладывается в 0.1 МБ."));
    QVERIFY2(lines.value(2).startsWith("Выбран самый маленький вариант с сохранением текста: L0"),
             qPrintable(lines.value(2)));
    QCOMPARE(dialog.options().imageDpi, 300);
    limit->setValue(0.5);
    lines = forecast(&dialog)->text().split('\n');
    QCOMPARE(lines.value(1), QStringLiteral("Подобрано под лимит 0.5 МБ: L1."));
    QVERIFY(lines.contains(QStringLiteral("Внимание: текст документа не сохранится, страницы станут изображениями.")));
}

// The badge of edited settings is in the interface language.
void CompressedPdfTest::customBadgeIsTranslated_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("badge");
    QTest::newRow("Russian") << "ru" << "Свои";
    QTest::newRow("English") << "en" << "Custom";
}

void CompressedPdfTest::customBadgeIsTranslated()
{
    QFETCH(QString, language);
    QFETCH(QString, badge);
    qApp->setProperty("uiLanguage", language);
    QTemporaryDir dir;
    CompressedPdfExportDialog::setFitWorkerProgram(standin::script(dir, "exit 4"));
    CompressedPdfExportDialog dialog(&m_document, m_dir.filePath("doc_сжатый.pdf"), false);
    dialog.show();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isFitRunning(), kFitMs);
    dialog.findChild<QComboBox*>("ScanCombo")->setCurrentIndex(0);
    qApp->setProperty("uiLanguage", QVariant());
    bool found = false;
    for (QLabel* label : dialog.findChildren<QLabel*>(QStringLiteral("DialogHint")))
        found = found || label->text() == badge;
    QVERIFY(found);
}

void CompressedPdfTest::failedFit_data()
{
    QTest::addColumn<QString>("body");  // empty: no such program
    QTest::addColumn<QString>("text");

    QTest::newRow("silent failure") << "exit 4" << "Не удалось подобрать настройки: процесс подбора завершился с ошибкой";
    QTest::newRow("failure with its reason") << "echo ' no luck ' >&2; exit 4" << "Не удалось подобрать настройки: no luck";
    QTest::newRow("crash") << "kill -SEGV $$" << "Не удалось подобрать настройки: процесс подбора завершился с ошибкой";
    QTest::newRow("garbage") << "echo '[1]'" << "Не удалось подобрать настройки: некорректный ответ процесса подбора";
    QTest::newRow("its own error") << "echo '{\"ok\":false,\"error\":\"x\"}'" << "Не удалось подобрать настройки: x";
    QTest::newRow("no usable size")
        << "echo '{\"ok\":true,\"bytes\":12,\"estimates\":[{\"label\":\" \",\"bytes\":\"5\"}]}'"
        << "Не удалось подобрать настройки: некорректный размер результата.";
    QTest::newRow("no such program") << "" << "Не удалось запустить процесс подбора.";
}

// A failed run changes neither the level, the settings nor the stored limit,
// leaves no copy, and a later "Подобрать" runs the worker again.
void CompressedPdfTest::failedFit()
{
    QFETCH(QString, body);
    QFETCH(QString, text);
    QTemporaryDir dir;
    CompressedPdfExportDialog::setFitWorkerProgram(body.isEmpty() ? dir.filePath("none") : standin::script(dir, body));
    CompressedPdfExportDialog dialog(&m_document, m_dir.filePath("doc_сжатый.pdf"), false);
    const Options before = dialog.options();
    dialog.show();
    QTRY_VERIFY(dialog.isFitRunning() || forecast(&dialog)->text() == text);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isFitRunning(), kFitMs);
    QCOMPARE(forecast(&dialog)->text(), text);
    QVERIFY(dialog.options() == before);
    QVERIFY(button(&dialog, "Подобрать")->isEnabled());
    QVERIFY(!QSettings().contains("export/compressedPdf/targetMb"));
    QVERIFY(leftoverCopies().isEmpty());

    QTemporaryDir answering;
    CompressedPdfExportDialog::setFitWorkerProgram(standin::script(
        answering, QStringLiteral("echo '{\"ok\":true,\"bytes\":\"9\",\"estimates\":[{\"label\":\"L\","
                                  "\"bytes\":\"9\",\"options\":{\"imageDpi\":140,\"jpegQuality\":50}}]}'")));
    button(&dialog, "Подобрать")->click();
    QVERIFY(dialog.isFitRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isFitRunning(), kFitMs);
    QVERIFY(forecast(&dialog)->text().startsWith("Варианты сжатия посчитаны и сохранены для этого окна.\n"
                                                 "Подобрано под лимит 1.0 МБ: L."));
    QCOMPARE(dialog.options().imageDpi, 140);
}

// The worker goes with the dialog, and so does the copy it was reading.
void CompressedPdfTest::closingDuringFitLeavesNothing()
{
    QTemporaryDir dir;
    CompressedPdfExportDialog::setFitWorkerProgram(
        standin::script(dir, QStringLiteral("echo $$ > %1/pid; exec sleep 30").arg(dir.path())));
    auto* dialog = new CompressedPdfExportDialog(&m_document, m_dir.filePath("doc_сжатый.pdf"), false);
    dialog->show();
    QTRY_VERIFY(QFile::exists(dir.filePath("pid")));
    QFile pidFile(dir.filePath("pid"));
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    const pid_t pid = pid_t(pidFile.readAll().trimmed().toInt());
    QCOMPARE(leftoverCopies().size(), 1);
    QVERIFY(QFileInfo(QDir(QDir::tempPath()).filePath(leftoverCopies().first())).permissions() ==
            (QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser));
    delete dialog;
    QVERIFY(::kill(pid, 0) != 0);
    QVERIFY(leftoverCopies().isEmpty());
}

// From the Home button, with a block edit not yet written: the copy the fit
// measures holds the edit, and Return saves beside the source and opens the
// result in a new tab.
void CompressedPdfTest::homeButtonSavesOnReturn()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    const QString source = writeLinesPdf(dir, QStringLiteral("a.pdf"), {700, 600});
    window.resize(900, 700);
    showActive(window);
    window.openFile(source);
    window.onToggleEditMode();
    typeAtBlockEnd(view(window), 0, QStringLiteral("AB"));
    PdfDocument* edited = window.currentDocument();
    prompt::Driver prompts;
    QString proposed;
    QString textWhileOpen;
    prompts.whenShown([&](QDialog* dialog) {
        textWhileOpen = edited->extractAllText(0);
        QTRY_VERIFY_WITH_TIMEOUT(prompt::buttonWithText(dialog, "Сохранить")->isEnabled(), 30000);
        proposed = dialog->findChild<QLineEdit*>("DialogLineEdit")->text();
        prompt::pressKey(dialog, Qt::Key_Return);
    });
    homeButton(window, "Сжать PDF")->click();
    QCOMPARE(prompts.pending(), 0);
    QVERIFY2(textWhileOpen.contains("Line of page 1AB"), qPrintable(textWhileOpen));
    const QString written = dir.filePath("a_сжатый.pdf");
    QCOMPARE(proposed, written);
    PdfDocument check;
    QVERIFY(check.open(written));
    QCOMPARE(check.pageCount(), 2);
    QCOMPARE(tabTexts(window).last(), QStringLiteral("a_сжатый.pdf"));
    QVERIFY(statusText(window).startsWith("Сжатый PDF сохранён: a_сжатый.pdf ("));
}

// With the compressed copy open, the proposal is a free name, and a save onto
// the open file is refused without writing.
void CompressedPdfTest::openDocumentIsNeverTheTarget()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    const QString open = writePdf(dir, QStringLiteral("r_сжатый.pdf"), 1);
    window.openFile(open);
    QFile file(open);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    prompt::Driver prompts;
    QString proposed;
    prompts.whenShown([&proposed, open](QDialog* dialog) {
        QTRY_VERIFY_WITH_TIMEOUT(prompt::buttonWithText(dialog, "Сохранить")->isEnabled(), 30000);
        auto* field = dialog->findChild<QLineEdit*>("DialogLineEdit");
        proposed = field->text();
        field->setText(open);
        prompt::buttonWithText(dialog, "Сохранить")->click();
    });
    QString notice;
    prompt::answerNoting(prompts, "OK", &notice);
    homeButton(window, "Сжать PDF")->click();
    QCOMPARE(proposed, dir.filePath("r_сжатый (1).pdf"));
    QVERIFY(notice.startsWith("Сжатый PDF|Файл r_сжатый.pdf открыт в программе."));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    QCOMPARE(tabTexts(window).size(), 1);
}

// The save runs behind a prompt whose "Отмена" stops the work at its next
// report; work that ends by itself closes the prompt.
void CompressedPdfTest::savingCanBeCancelled()
{
    const auto endless = [](const WorkProgressDialog::Report& report) {
        for (int done = 0;; ++done) {
            if (!report(done % 10, 10))
                return false;
            QThread::msleep(2);
        }
    };
    prompt::Driver prompts;
    prompts.clickButton("Отмена");
    WorkProgressDialog cancelled(QStringLiteral("Сжатый PDF"), QStringLiteral("Сжатие PDF..."));
    QVERIFY(!cancelled.run(endless));
    QVERIFY(cancelled.wasCancelled());
    QCOMPARE(prompts.pending(), 0);

    WorkProgressDialog finishing(QStringLiteral("Сжатый PDF"), QStringLiteral("Сжатие PDF..."));
    QVERIFY(finishing.run([](const WorkProgressDialog::Report& report) { return report(1, 1); }));
    QVERIFY(!finishing.wasCancelled());
}

// The copy that keeps an unchanged document is its file: the fit measures
// those bytes, not a new save of them, so its forecast is what is written.
void CompressedPdfTest::unchangedDocumentIsMeasuredAsItsFile()
{
    const QString path = fixtures::realPdf(QStringLiteral("pdftex-manual.pdf"));
    PdfDocument manual;
    QVERIFY(manual.open(path));
    CompressedPdfExportDialog dialog(&manual, m_dir.filePath("manual_сжатый.pdf"), false);
    dialog.show();
    QTRY_VERIFY(dialog.isFitRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isFitRunning(), kFitMs);
    const QString expected = QStringLiteral("Прогноз итогового размера: около %1.").arg(formatFileSize(QFileInfo(path).size()));
    QVERIFY2(forecast(&dialog)->text().split('\n').contains(expected), qPrintable(forecast(&dialog)->text()));
    QVERIFY(!dialog.options().rasterizePages);
}

void CompressedPdfTest::encryptedFileIsCopiedUncompressed_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("rasterize");
    QTest::addColumn<bool>("said");
    QTest::newRow("encrypted, keeping the text") << "pdftex-manual-encrypted.pdf" << false << true;
    QTest::newRow("encrypted, as pictures") << "pdftex-manual-encrypted.pdf" << true << false;
    QTest::newRow("not encrypted") << "pdftex-manual.pdf" << false << false;
}

// The text-keeping copy of an encrypted file is the file itself: the fine
// settings say so.
void CompressedPdfTest::encryptedFileIsCopiedUncompressed()
{
    QFETCH(QString, name);
    QFETCH(bool, rasterize);
    QFETCH(bool, said);
    PdfDocument document;
    QVERIFY(document.open(fixtures::realPdf(name)));
    QTemporaryDir dir;
    CompressedPdfExportDialog::setFitWorkerProgram(standin::script(dir, "exit 4"));
    CompressedPdfExportDialog dialog(&document, m_dir.filePath("enc_сжатый.pdf"), false);
    dialog.show();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isFitRunning(), kFitMs);
    QCheckBox* box = nullptr;
    for (QCheckBox* candidate : dialog.findChildren<QCheckBox*>()) {
        if (candidate->text().startsWith(QStringLiteral("Сжимать как изображение")))
            box = candidate;
    }
    QVERIFY(box);
    box->setChecked(!rasterize);
    box->setChecked(rasterize);
    bool found = false;
    for (QLabel* label : dialog.findChildren<QLabel*>(QStringLiteral("DialogHint")))
        found = found || label->text().contains(QStringLiteral("Файл зашифрован: в этом режиме он копируется без сжатия."));
    QCOMPARE(found, said);
}

QTEST_MAIN(CompressedPdfTest)
#include "tst_compressedpdf.moc"
