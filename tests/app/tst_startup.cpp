// Edition choice, the start-up dispatch, the splash and the revocation worker.
#include "AppProduct.h"
#include "CompressionWorkerCli.h"
#include "Preloader.h"
#include "RevocationCheckCli.h"
#include "StartupPlan.h"
#include "VornResources.h"

#include <QApplication>
#include <QDialog>
#include <QProcess>
#include <QProgressBar>
#include <QSet>
#include <QTest>

#include <algorithm>

namespace {

const QString kProgram = QStringLiteral("/usr/bin/vorn-pdf");
const QByteArray kUsageLine =
    QByteArrayLiteral("{\"ok\":false,\"status\":\"Usage: --vorn-cert-revocation-check <certificate-id>\"}\n");
const QByteArray kNotConfirmedLine =
    QStringLiteral("{\"ok\":false,\"status\":\"изолированная проверка отзыва используется только на Windows\"}\n")
        .toUtf8();

QStringList commandLine(const QStringList& arguments)
{
    return QStringList{kProgram} + arguments;
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initVornResources(); }

    void editionFromArguments_data();
    void editionFromArguments();
    void editionsKeepSettingsApart();

    void plan_data();
    void plan();

    void preloaderStepMs_data();
    void preloaderStepMs();
    void preloaderShowsStagesInOrderAndCloses();

    void revocationCheckProcess_data();
    void revocationCheckProcess();
};

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

// Each edition keeps its settings in a store of its own.
void StartupTest::editionsKeepSettingsApart()
{
    const QSet<QString> stores{productApplicationName(AppProduct::ecp), productApplicationName(AppProduct::editor),
                               productApplicationName(AppProduct::viewer)};
    QCOMPARE(stores.size(), 3);
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
    QTest::newRow("hexadecimal") << QByteArray("0x10") << 120;
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

void StartupTest::revocationCheckProcess_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("without identifier") << QStringList{"--vorn-cert-revocation-check"} << kUsageLine << 2;
    QTest::newRow("with identifier") << QStringList{"--vorn-cert-revocation-check", "linux-file|/tmp/c.pem"}
                                     << kNotConfirmedLine << 3;
    QTest::newRow("empty identifier still checks") << QStringList{"--vorn-cert-revocation-check", ""}
                                                   << kNotConfirmedLine << 3;
    QTest::newRow("edition option after the mode")
        << QStringList{"--vorn-cert-revocation-check", "--vorn-product=editor"} << kNotConfirmedLine << 3;
}

// The real executable without any display: nothing but the one line on
// standard output, and the code.
void StartupTest::revocationCheckProcess()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, line);
    QFETCH(int, exitCode);

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QLatin1String(name));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VORN_PDF_EXECUTABLE), arguments);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.readAllStandardOutput(), line);
    QCOMPARE(process.exitCode(), exitCode);
}

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
