// Signing from the window on a large scanned-like PDF (default 100 MB of
// pages with pictures): the stamped copy's preparation with its progress and
// the window's longest stall; stopping (Escape) during the preparation and
// during the signing child: how long the window took to answer and how long
// until nothing was left. Then the hostile stamp templates, each in a child
// of this program: time and peak memory.
// Usage: signstop_bench [size in MB]
#include "LargePdf.h"
#include "MainWindow.h"
#include "ProcessMemory.h"
#include "SignatureDialog.h"
#include "SignatureStampTemplate.h"
#include "SigningBenchSupport.h"
#include "StampedPdfCopy.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kPictureSide = 230;  // bytes per page: side * side

// Drives one run from a 5 ms poll inside the dialog's event loop. With
// stopAt >= 0 it presses Escape once the preparation's progress reaches it
// (stopAt 1000: once the signing child runs); otherwise it closes the final
// message. The gaps between ticks are the window's stalls.
class Driver : public QObject {
public:
    Driver(QString p12, int mode, int stopAt) : p12(std::move(p12)), mode(mode), stopAt(stopAt)
    {
        connect(&poll, &QTimer::timeout, this, [this] { step(); });
        poll.start(5);
    }

    qint64 pressedToEnd = -1;      // to the final message, or to the dialog gone
    qint64 preparedAt = -1;        // the progress gone: the signing child starts
    qint64 answeredMs = -1;        // Escape handled
    qint64 longestStallMs = 0;
    int progressSteps = 0;         // distinct progress values seen
    QString outcome;

private:
    void step()
    {
        if (running) {
            longestStallMs = qMax(longestStallMs, clock.elapsed() - lastTick);
            lastTick = clock.elapsed();
        }
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<SignatureDialog*>(modal);
        if (running && !modal) {
            running = false;
            pressedToEnd = clock.elapsed();
            return;
        }
        if (!modal || busy)
            return;
        busy = true;
        if (!running && dialog && bench::buttonIn(dialog, QStringLiteral("Подписать"))) {
            bench::chooseContainerAndMode(dialog, p12, mode);
            running = true;
            clock.start();
            lastTick = 0;
            bench::buttonIn(dialog, QStringLiteral("Подписать"))->click();
        } else if (running && dialog) {
            watch(dialog);
        } else if (running) {
            outcome = modal->windowTitle();
            pressedToEnd = clock.elapsed();
            running = false;
            if (QPushButton* close = bench::buttonIn(modal, QStringLiteral("OK")))
                close->click();
            else
                modal->close();
        }
        busy = false;
    }

    void watch(SignatureDialog* dialog)
    {
        auto* bar = dialog->findChild<QProgressBar*>();
        const int value = bar && bar->isVisible() ? bar->value() : -1;
        if (value >= 0 && value != lastValue) {
            ++progressSteps;
            lastValue = value;
        }
        const bool childRunning = lastValue >= 0 && value < 0;
        if (childRunning && preparedAt < 0)
            preparedAt = clock.elapsed();
        if (stopAt >= 0 && !stopped && ((stopAt < 1000 && value >= stopAt) || (stopAt >= 1000 && childRunning))) {
            stopped = true;
            QElapsedTimer answer;
            answer.start();
            QTest::keyClick(dialog, Qt::Key_Escape);
            answeredMs = answer.elapsed();
            outcome = QStringLiteral("stopped");
        }
    }

    QString p12;
    int mode;
    int stopAt;
    bool running = false;
    bool busy = false;
    bool stopped = false;
    int lastValue = -1;
    QTimer poll;
    QElapsedTimer clock;
    qint64 lastTick = 0;
};

// Anything of a run left in the temporary folder or beside the source.
int leftovers(const QString& temp, const QString& folder, const QString& source)
{
    int left = QDir(temp).entryList({QStringLiteral("vorn-sign-*")}, QDir::AllEntries | QDir::Hidden).size();
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        if (name.startsWith(QFileInfo(source).completeBaseName()) && name != QFileInfo(source).fileName())
            ++left;
    }
    return left;
}

qint64 waitUntilClean(const QString& temp, const QString& folder, const QString& source)
{
    QElapsedTimer clock;
    clock.start();
    while (leftovers(temp, folder, source) > 0 && clock.elapsed() < 120000)
        QTest::qWait(10);
    return leftovers(temp, folder, source) > 0 ? -1 : clock.elapsed();
}

// ---- hostile templates, each case in a child ------------------------------

void storeTemplates(const QString& folder, int count, int placeholders)
{
    QDir().mkpath(folder);
    QImage picture(1180, 490, QImage::Format_ARGB32);
    picture.fill(QColor(0xf0, 0xf4, 0xf8));
    const QString picturePath = QDir(folder).filePath(QStringLiteral("shared.png"));
    picture.save(picturePath, "PNG");
    const QJsonObject line{{QStringLiteral("text"), QStringLiteral("{{SIGNER}}").repeated(placeholders)},
                           {QStringLiteral("h"), 0.8},
                           {QStringLiteral("fontSizePx"), 22}};
    for (int i = 0; i < count; ++i) {
        const QString id = QStringLiteral("t%1").arg(i, 4, 10, QLatin1Char('0'));
        QFile file(QDir(folder).filePath(id + QStringLiteral(".json")));
        file.open(QIODevice::WriteOnly);
        file.write(QJsonDocument(QJsonObject{{QStringLiteral("id"), id},
                                             {QStringLiteral("name"), QStringLiteral("Шаблон ") + id},
                                             {QStringLiteral("image"), picturePath},
                                             {QStringLiteral("variables"), QJsonArray{line}}})
                       .toJson(QJsonDocument::Compact));
    }
}

// In the child: the case's work, then "ms peak-KB".
int runHostileCase(const QString& what, const QString& source, const QString& output)
{
    QElapsedTimer clock;
    clock.start();
    if (what == QLatin1String("dialog")) {
        SignatureDialog::Setup setup;
        setup.sourcePath = source;
        setup.children.program = QStringLiteral("/bin/true");
        SignatureDialog dialog(setup, nullptr);
        for (QComboBox* box : dialog.findChildren<QComboBox*>()) {
            if (box->count() == 5 && box->itemData(4).toInt() == 4)
                box->setCurrentIndex(3);
        }
        dialog.show();
        for (QComboBox* box : dialog.findChildren<QComboBox*>()) {
            if (box->iconSize() == QSize(118, 48)) {
                QApplication::processEvents();
                box->showPopup();
                QApplication::processEvents();
                box->hidePopup();
            }
        }
    } else {
        SigningCertificate certificate;
        certificate.subject = QStringLiteral("CN=Иванов Иван Иванович");
        SignatureStampOptions options;
        options.templateId = QStringLiteral("t0000");
        QString error;
        createStampedPdfCopy(source, output, certificate, QByteArray(32, '\x5a'), QDateTime::currentDateTime(),
                             options, &error);
    }
    std::printf("%lld %lld\n", static_cast<long long>(clock.elapsed()), bench::peakBytes() / 1024);
    return 0;
}

void hostileTemplates(const QString& dir)
{
    struct Case {
        const char* name;
        int templates;
        int placeholders;
        const char* what;
    };
    const Case cases[] = {
        {"200,000 placeholders, template list", 1, 200000, "dialog"},
        {"200,000 placeholders, stamped copy", 1, 200000, "stamp"},
        {"1,000 templates, template list", 1000, 1, "dialog"},
        {"1,000 templates, stamped copy", 1000, 1, "stamp"},
    };
    const QString source = dir + QStringLiteral("/small.pdf");
    largepdf::writePicturePages(source, 2, 64);
    for (const Case& c : cases) {
        QTemporaryDir data;
        storeTemplates(data.path() + QStringLiteral("/vorn/vorn-pdf-editor/signature-stamps"), c.templates,
                       c.placeholders);
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
        child.setProcessEnvironment(environment);
        QElapsedTimer clock;
        clock.start();
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--hostile-case"), QString::fromLatin1(c.what), source,
                     data.path() + QStringLiteral("/out.pdf")});
        const bool ended = child.waitForFinished(120000);
        const QList<QByteArray> said = child.readAllStandardOutput().trimmed().split(' ');
        std::printf("hostile template, %-38s %s: child %6lld ms (its work %s ms), peak %5lld MB\n", c.name,
                    ended && child.exitCode() == 0 ? "ok" : "FAILED", static_cast<long long>(clock.elapsed()),
                    said.value(0).constData(), said.value(1).toLongLong() / 1024);
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 5 && QByteArray(argv[1]) == "--hostile-case") {
        QApplication app(argc, argv);
        QApplication::setOrganizationName(QStringLiteral("vorn"));
        QApplication::setApplicationName(QStringLiteral("vorn-pdf-editor"));
        return runHostileCase(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                              QString::fromLocal8Bit(argv[4]));
    }
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/signstop-bench-XXXXXX"));
    const QString temp = dir.path() + QStringLiteral("/tmp");
    QDir().mkpath(temp);
    qputenv("TMPDIR", QFile::encodeName(temp));
    QApplication app(argc, argv);
    bench::useEditorSettingsIn(dir.path());
    const int megabytes = argc > 1 ? QByteArray(argv[1]).toInt() : 100;

    const QString p12 = bench::makeSignerP12(dir.path());

    const QString folder = dir.path() + QStringLiteral("/docs");
    QDir().mkpath(folder);
    const QString source = folder + QStringLiteral("/manual.pdf");
    const int pages = int(qint64(megabytes) * 1024 * 1024 / (kPictureSide * kPictureSide));
    largepdf::writePicturePages(source, pages, kPictureSide);
    std::printf("source: %d pages, %lld MB\n", pages, QFileInfo(source).size() / (1024 * 1024));

    MainWindow window(AppProduct::editor);
    window.setSigningWorkerProgram(QStringLiteral(VORN_PDF_EXECUTABLE));
    window.resize(1000, 700);
    window.show();

    struct Run {
        const char* name;
        int mode;
        bool openDocument;
        int stopAt;
    };
    const Run runs[] = {
        {"stamped copy of a file, signed", 3, false, -1},
        {"stamped copy of the open document, signed", 3, true, -1},
        {"Escape at 40 % of the preparation", 3, false, 400},
        {"Escape at 60 % of the open document's preparation", 3, true, 600},
        {"Escape while the embedded signature's child runs", 4, true, 1000},
    };
    for (const Run& run : runs) {
        for (const QString& name : QDir(folder).entryList(QDir::Files)) {
            if (name != QFileInfo(source).fileName())
                QFile::remove(QDir(folder).filePath(name));
        }
        if (run.openDocument)
            window.openFile(source);
        Driver driver(p12, run.mode, run.stopAt);
        window.showSignatureDialog(false, {}, {}, run.openDocument ? QString() : source);
        if (run.stopAt < 0) {
            std::printf("%-52s %s: press to message %6lld ms, prepared after %6lld ms, %3d progress steps, "
                        "longest stall %4lld ms\n",
                        run.name, qPrintable(driver.outcome), driver.pressedToEnd, driver.preparedAt,
                        driver.progressSteps, driver.longestStallMs);
        } else {
            const qint64 clean = waitUntilClean(temp, folder, source);
            std::printf("%-52s %s: window answered in %3lld ms, longest stall %4lld ms, nothing left after "
                        "%5lld ms%s\n",
                        run.name, qPrintable(driver.outcome), driver.answeredMs, driver.longestStallMs, clean,
                        clean < 0 ? "  FILES LEFT" : "");
        }
        std::fflush(stdout);
    }
    hostileTemplates(dir.path());
    return 0;
}
