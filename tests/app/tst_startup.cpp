// Edition choice, the start-up dispatch and the splash; the worker modes: the
// real executable's answers (revocation check and compression), and the fit's
// answers on real and broken files.
#include "AppProduct.h"
#include "CompressionWorkerCli.h"
#include "PdfFixtures.h"
#include "Preloader.h"
#include "RevocationCheckCli.h"
#include "StartupPlan.h"
#include "VornResources.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {
const QString kProgram = QStringLiteral("/usr/bin/vorn-pdf");
QStringList commandLine(const QStringList& arguments)
{
    return QStringList{kProgram} + arguments;
}

const QString kExecutable = QStringLiteral(VORN_PDF_EXECUTABLE);

struct Run {
    QByteArray output;
    QByteArray errorOutput;
    int exitCode = -1;
};

// The real executable without a display, as the window starts it.
Run runExecutable(const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QLatin1String(name));
    process.setProcessEnvironment(environment);
    process.start(kExecutable, arguments);
    if (!process.waitForFinished(60000))
        return {};
    return {process.readAllStandardOutput(), process.readAllStandardError(), process.exitCode()};
}

QJsonObject object(const QByteArray& line)
{
    return QJsonDocument::fromJson(line).object();
}

CompressionWorkerOutput fit(const QString& pdf, const QString& target, int threads = 2)
{
    return compressionFit({kExecutable, QStringLiteral("--vorn-compression-fit"), pdf, target}, threads);
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void editionFromArguments_data();
    void editionFromArguments();
    void plan_data();
    void plan();
    void preloaderStepMs_data();
    void preloaderStepMs();
    void preloaderShowsStagesInOrderAndCloses();

    void executableAnswers_data();
    void executableAnswers();
    void estimateIsRepeatableAndFitMatchesIt();
    void choice_data();
    void choice();
    void failureText_data();
    void failureText();
    void parallelism_data();
    void parallelism();

private:
    QTemporaryDir m_dir;
    QString m_pdf;
};

void StartupTest::initTestCase()
{
    initVornResources();
    QVERIFY(m_dir.isValid());
    m_pdf = m_dir.filePath(QStringLiteral("doc.pdf"));
    QVERIFY(fixtures::writeFile(m_pdf, fixtures::textPdf({"One", "Two", "Three"})));
}

void StartupTest::editionFromArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<AppProduct>("product");

    QTest::newRow("no arguments") << QStringList{} << AppProduct::ecp;
    QTest::newRow("viewer after a file") << QStringList{"a.pdf", "--vorn-product=viewer"} << AppProduct::viewer;
    QTest::newRow("last one wins") << QStringList{"--vorn-product=viewer", "a.pdf", "--vorn-product=editor"}
                                   << AppProduct::editor;
    QTest::newRow("capital letter ignored") << QStringList{"--vorn-product=Editor"} << AppProduct::ecp;
    QTest::newRow("unknown value keeps earlier") << QStringList{"--vorn-product=viewer", "--vorn-product=reader"}
                                                 << AppProduct::viewer;
    QTest::newRow("option with trailing blank") << QStringList{"--vorn-product=editor "} << AppProduct::ecp;
}

void StartupTest::editionFromArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(AppProduct, product);
    QCOMPARE(productFromArguments(commandLine(arguments)), product);
}

// The splash shows for a window start only, and only the worker start has a
// worker to run.
void StartupTest::plan_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<AppProduct>("product");
    QTest::addColumn<StartKind>("start");
    QTest::addColumn<QString>("shellAction");
    QTest::addColumn<QStringList>("files");
    using Kind = StartKind;
    const AppProduct ecp = AppProduct::ecp, editor = AppProduct::editor, viewer = AppProduct::viewer;

    QTest::newRow("no arguments: signing start, no files")
        << QStringList{} << ecp << Kind::EcpSigning << QString() << QStringList{};
    QTest::newRow("ecp keeps every file, drops edition options")
        << QStringList{"a.pdf", "--vorn-product=ecp", "b.pdf", "--vorn-product=Editor"} << ecp << Kind::EcpSigning
        << QString() << QStringList{"a.pdf", "b.pdf"};
    QTest::newRow("viewer then editor opens only the first file")
        << QStringList{"--vorn-product=viewer", "--vorn-product=editor", "a.pdf", "b.pdf"} << editor
        << Kind::Windowed << QString() << QStringList{"a.pdf"};
    QTest::newRow("viewer without a file")
        << QStringList{"--vorn-product=viewer"} << viewer << Kind::Windowed << QString() << QStringList{};
    QTest::newRow("action option not second is a file")
        << QStringList{"--vorn-product=editor", "--vorn-shell-merge", "a.pdf", "b.pdf"} << editor << Kind::Windowed
        << QString() << QStringList{"--vorn-shell-merge"};
    QTest::newRow("worker option not second is a file")
        << QStringList{"--vorn-product=editor", "--vorn-cert-revocation-check", "x"} << editor << Kind::Windowed
        << QString() << QStringList{"--vorn-cert-revocation-check"};
    QTest::newRow("merge action passes every later argument unfiltered")
        << QStringList{"--vorn-shell-merge", "--vorn-product=editor", "a.pdf", "b.pdf"} << editor
        << Kind::FileManagerAction << "merge" << QStringList{"--vorn-product=editor", "a.pdf", "b.pdf"};
    QTest::newRow("compress action without files")
        << QStringList{"--vorn-shell-compress"} << ecp << Kind::FileManagerAction << "compress" << QStringList{};
    QTest::newRow("sign action in the signing edition")
        << QStringList{"--vorn-shell-sign", "a.pdf"} << ecp << Kind::FileManagerAction << "sign"
        << QStringList{"a.pdf"};
    QTest::newRow("action option in other case is no action")
        << QStringList{"--vorn-shell-Merge", "--vorn-product=viewer"} << viewer << Kind::Windowed << QString()
        << QStringList{"--vorn-shell-Merge"};
    QTest::newRow("worker as second argument")
        << QStringList{"--vorn-cert-revocation-check", "--vorn-product=editor"} << editor << Kind::Worker
        << QString() << QStringList{};
    QTest::newRow("compression estimate worker")
        << QStringList{"--vorn-compression-estimate", "a.pdf"} << ecp << Kind::Worker << QString() << QStringList{};
    QTest::newRow("compression fit worker")
        << QStringList{"--vorn-compression-fit", "a.pdf", "1"} << ecp << Kind::Worker << QString() << QStringList{};
}

void StartupTest::plan()
{
    QFETCH(QStringList, arguments);
    QFETCH(AppProduct, product);
    QFETCH(StartKind, start);
    QFETCH(QString, shellAction);
    QFETCH(QStringList, files);

    const StartupPlan plan = planStartup(commandLine(arguments));
    QCOMPARE(plan.product, product);
    QCOMPARE(plan.start, start);
    QCOMPARE(plan.shellAction, shellAction);
    QCOMPARE(plan.files, files);
    QCOMPARE(plan.showSplash, start == StartKind::Windowed);
    const WorkerRunner expected = start != StartKind::Worker ? nullptr
                                  : arguments.first() == "--vorn-compression-estimate" ? &runCompressionEstimateCli
                                  : arguments.first() == "--vorn-compression-fit"      ? &runCompressionFitCli
                                                                                       : &runCertificateRevocationCheckCli;
    QVERIFY(plan.worker == expected);
}

void StartupTest::preloaderStepMs_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("stepMs");

    QTest::newRow("unset") << QByteArray() << 120;
    QTest::newRow("zero means no pause") << QByteArray("0") << 0;
    QTest::newRow("positive") << QByteArray("250") << 250;
    QTest::newRow("negative") << QByteArray("-5") << 120;
    QTest::newRow("number with unit") << QByteArray("40ms") << 120;
}

void StartupTest::preloaderStepMs()
{
    QFETCH(QByteArray, value);
    QFETCH(int, stepMs);
    QCOMPARE(::preloaderStepMs(value), stepMs);
}

void StartupTest::preloaderShowsStagesInOrderAndCloses()
{
    QList<int> percents;
    runPreloader(QStringLiteral("ВОРН PDF Просмотр"), 0, [&](const QDialog& splash) {
        QVERIFY(splash.isVisible());
        percents << splash.findChild<QProgressBar*>(QStringLiteral("PreloaderProgress"))->value();
    });
    QVERIFY(percents.size() > 1);
    QVERIFY(std::is_sorted(percents.begin(), percents.end()));
    QCOMPARE(percents.last(), 100);
    for (QWidget* widget : QApplication::topLevelWidgets())
        QVERIFY(widget->objectName() != QLatin1String("Preloader"));
}

void StartupTest::executableAnswers_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("line");  // exact, or empty to check keys below
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("keys");

    QTest::newRow("estimate with a missing argument")
        << QStringList{"--vorn-compression-estimate", "a.pdf", "0", "150", "55", "0"}
        << QByteArray("{\"error\":\"Usage: --vorn-compression-estimate <pdf> <index> <dpi> <quality> <mono> "
                      "<gray>\",\"ok\":false}\n")
        << 2 << QString();
    QTest::newRow("fit without a target")
        << QStringList{"--vorn-compression-fit", "a.pdf"}
        << QByteArray("{\"error\":\"Usage: --vorn-compression-fit <pdf> <target-bytes>\",\"ok\":false}\n") << 2
        << QString();
    QTest::newRow("estimate of a missing file keeps the index")
        << QStringList{"--vorn-compression-estimate", "/nonexistent/x.pdf", "7", "150", "55", "0", "0"}
        << QByteArray() << 3 << QStringLiteral("error,index,ok");
    QTest::newRow("estimate of a file that is no PDF")
        << QStringList{"--vorn-compression-estimate", QStringLiteral(VORN_TEST_DATA "/make-fixtures.sh"), "1", "150",
                       "55", "0", "0"}
        << QByteArray() << 3 << QStringLiteral("error,index,ok");
    QTest::newRow("fit of a missing file")
        << QStringList{"--vorn-compression-fit", "/nonexistent/x.pdf", "300000"} << QByteArray() << 4
        << QStringLiteral("error,ok");
    const QByteArray notConfirmed =
        QStringLiteral("{\"ok\":false,\"status\":\"изолированная проверка отзыва используется только на Windows\"}\n")
            .toUtf8();
    QTest::newRow("revocation check without identifier")
        << QStringList{"--vorn-cert-revocation-check"}
        << QByteArray("{\"ok\":false,\"status\":\"Usage: --vorn-cert-revocation-check <certificate-id>\"}\n") << 2
        << QString();
    QTest::newRow("revocation check") << QStringList{"--vorn-cert-revocation-check", "linux-file|/tmp/c.pem"}
                                      << notConfirmed << 3 << QString();
    QTest::newRow("revocation check of an empty identifier") << QStringList{"--vorn-cert-revocation-check", ""}
                                                             << notConfirmed << 3 << QString();
    QTest::newRow("edition option after the revocation mode")
        << QStringList{"--vorn-cert-revocation-check", "--vorn-product=editor"} << notConfirmed << 3 << QString();
}

// Through the real dispatch, without a display: one line on standard output,
// nothing on standard error.
void StartupTest::executableAnswers()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, line);
    QFETCH(int, exitCode);
    QFETCH(QString, keys);

    const Run run = runExecutable(arguments);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.errorOutput, QByteArray());
    if (!line.isEmpty())
        QCOMPARE(run.output, line);
    else
        QCOMPARE(object(run.output).keys().join(','), keys);
    QVERIFY(run.output.endsWith('\n') && run.output.count('\n') == 1);
}

// The fit's rasterising estimates are those of the estimate mode run alone,
// byte for byte, on a scan without text, where a one-byte limit leaves
// every picture smaller than the source in the list.
void StartupTest::estimateIsRepeatableAndFitMatchesIt()
{
    const QString scan = QStringLiteral(VORN_TEST_DATA "/gs-scan.pdf");
    const Run fitRun = runExecutable({QStringLiteral("--vorn-compression-fit"), scan, QStringLiteral("1")});
    QCOMPARE(fitRun.exitCode, 0);
    const QJsonObject answer = object(fitRun.output);
    const QJsonArray estimates = answer.value(QStringLiteral("estimates")).toArray();
    int compared = 0;
    for (const QJsonValue& value : estimates) {
        const QJsonObject estimate = value.toObject();
        const QJsonObject options = estimate.value(QStringLiteral("options")).toObject();
        if (!options.value(QStringLiteral("rasterizePages")).toBool())
            continue;
        const int i = estimate.value(QStringLiteral("index")).toInt();
        const Run alone = runExecutable(
            {QStringLiteral("--vorn-compression-estimate"), scan, QString::number(i),
             QString::number(options.value(QStringLiteral("imageDpi")).toInt()),
             QString::number(options.value(QStringLiteral("jpegQuality")).toInt()),
             options.value(QStringLiteral("monochrome")).toBool() ? QStringLiteral("1") : QStringLiteral("0"),
             QStringLiteral("0")});
        QCOMPARE(alone.exitCode, 0);
        const QJsonObject single = object(alone.output);
        QCOMPARE(single.value(QStringLiteral("index")).toInt(), i);
        QCOMPARE(single.value(QStringLiteral("sampled")), QJsonValue(false));
        QCOMPARE(single.value(QStringLiteral("bytes")), estimate.value(QStringLiteral("bytes")));
        ++compared;
    }
    QVERIFY(compared > 0);
    QVERIFY(!answer.value(QStringLiteral("matchedTarget")).toBool());
}

// The answer names its choice among its estimates, in the JSON form the
// dialog reads; the estimates end at the first that fits.
void StartupTest::choice_data()
{
    QTest::addColumn<QString>("pdf");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("matched");
    QTest::addColumn<bool>("rasterized");

    const QString manual = QStringLiteral(VORN_TEST_DATA "/pdftex-manual.pdf");
    const QString scan = QStringLiteral(VORN_TEST_DATA "/gs-scan.pdf");
    QTest::newRow("manual under a roomy limit: kept as it is") << manual << "10000000" << true << false;
    for (const char* target : {"abc", "0", "-5"})
        QTest::newRow(qPrintable(QStringLiteral("manual, target %1 is one byte: the smallest keeping text").arg(target)))
            << manual << target << false << false;
    QTest::newRow("scan under a roomy limit: kept as it is") << scan << "10000000" << true << false;
    QTest::newRow("scan, one byte: the smallest picture") << scan << "1" << false << true;
}

void StartupTest::choice()
{
    QFETCH(QString, pdf);
    QFETCH(QString, target);
    QFETCH(bool, matched);
    QFETCH(bool, rasterized);

    const CompressionWorkerOutput output = fit(pdf, target);
    QCOMPARE(output.exitCode, 0);
    const QJsonObject answer = object(output.line);
    QCOMPARE(answer.value(QStringLiteral("ok")), QJsonValue(true));
    QCOMPARE(answer.value(QStringLiteral("matchedTarget")).toBool(), matched);
    QCOMPARE(answer.value(QStringLiteral("options")).toObject().value(QStringLiteral("rasterizePages")).toBool(),
             rasterized);
    const QJsonArray estimates = answer.value(QStringLiteral("estimates")).toArray();
    QVERIFY(!estimates.isEmpty());
    bool listed = false;
    for (const QJsonValue& value : estimates) {
        const QJsonObject estimate = value.toObject();
        QVERIFY(estimate.value(QStringLiteral("bytes")).isString());
        if (estimate.value(QStringLiteral("label")) == answer.value(QStringLiteral("label"))) {
            QCOMPARE(estimate.value(QStringLiteral("bytes")), answer.value(QStringLiteral("bytes")));
            QCOMPARE(estimate.value(QStringLiteral("options")), answer.value(QStringLiteral("options")));
            listed = true;
        }
    }
    QVERIFY(listed);
    if (matched)
        QCOMPARE(estimates.last().toObject().value(QStringLiteral("label")), answer.value(QStringLiteral("label")));
}

void StartupTest::failureText_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("no such file") << false << QByteArray();
    QTest::newRow("a file that is no PDF") << true << QByteArray("not a pdf at all");
    QTest::newRow("an empty file") << true << QByteArray();
    QTest::newRow("a PDF cut after its header") << true << QByteArray("%PDF-1.7\n1 0 obj\n<< /Type /Catalog");
}

// Every failure is one JSON line with its reason and exit code 4.
void StartupTest::failureText()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, content);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("in.pdf"));
    if (exists) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    const CompressionWorkerOutput output = fit(path, QStringLiteral("100"));
    QCOMPARE(output.exitCode, 4);
    const QJsonObject answer = object(output.line);
    QCOMPARE(answer.keys().join(','), QStringLiteral("error,ok"));
    QCOMPARE(answer.value(QStringLiteral("ok")), QJsonValue(false));
    QVERIFY(!answer.value(QStringLiteral("error")).toString().trimmed().isEmpty());
}

void StartupTest::parallelism_data()
{
    QTest::addColumn<int>("processors");
    QTest::addColumn<int>("parallel");

    QTest::newRow("none reported") << 0 << 1;
    QTest::newRow("two") << 2 << 1;
    QTest::newRow("three") << 3 << 2;
    QTest::newRow("sixteen") << 16 << 4;
}

void StartupTest::parallelism()
{
    QFETCH(int, processors);
    QFETCH(int, parallel);
    QCOMPARE(compressionFitParallelism(processors), parallel);
}

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
