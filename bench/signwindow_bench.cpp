// Signing from the window: from "Подписать" to the final message for 1 MB
// and 200 MB PDFs open in the window, in modes 0, 3 and 4, split into the
// window's share and its signing children's; then a batch of 50 one-page
// PDFs: time per further file and this process's memory before and after.
// Usage: signwindow_bench [size in MB ...]   (default 1 200)
#include "MainWindow.h"
#include "PaddedPdf.h"
#include "ProcessMemory.h"
#include "SignatureDialog.h"
#include "SignatureStampTemplate.h"
#include "SigningBenchSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

constexpr qint64 kMegabyte = 1024 * 1024;
constexpr int kBatchFiles = 50;

// The children's own time: a wrapper appends start and end in ns.
QString writeTimingWrapper(const QString& dir)
{
    const QString path = dir + QStringLiteral("/timed-worker");
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("#!/bin/sh\nstart=$(date +%s%N)\n\"" VORN_PDF_EXECUTABLE "\" \"$@\"\nrc=$?\n"
               "[ \"$1\" = --vorn-sign-file ] && echo \"$start $(date +%s%N)\" >> \"" + QFile::encodeName(dir)
               + "/child-times\"\nexit $rc\n");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

double childMsAndReset(const QString& dir)
{
    QFile file(dir + QStringLiteral("/child-times"));
    double ms = 0;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() == 2)
                ms += (parts[1].toLongLong() - parts[0].toLongLong()) / 1e6;
        }
    }
    file.remove();
    return ms;
}

// Answers the signature dialog from a timer inside its own event loop: sets
// the container and mode, presses "Подписать", agrees to the batch and
// closes the final message. elapsed: from the press to that message.
class DialogDriver : public QObject {
public:
    DialogDriver(QString p12, int mode, bool batch) : p12(std::move(p12)), mode(mode), batch(batch)
    {
        connect(&poll, &QTimer::timeout, this, [this] { step(); });
        poll.start(5);
    }

    qint64 elapsed = -1;
    qint64 longestStallMs = 0;  // between two ticks of the poll while signing
    bool ok = false;

private:
    void step()
    {
        if (state == 1 || state == 2) {
            longestStallMs = qMax(longestStallMs, timer.elapsed() - lastTick);
            lastTick = timer.elapsed();
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || busy)
            return;
        busy = true;
        if (state == 0) {
            if (auto* d = qobject_cast<SignatureDialog*>(modal); d && bench::buttonIn(d, QStringLiteral("Подписать"))) {
                bench::chooseContainerAndMode(d, p12, mode);
                state = batch ? 1 : 2;
                timer.start();
                lastTick = 0;
                bench::buttonIn(d, QStringLiteral("Подписать"))->click();
            }
        } else if (state == 1) {
            if (QPushButton* yes = bench::buttonIn(modal, QStringLiteral("Подписать остальные"))) {
                state = 2;
                yes->click();
            }
        } else if (state == 2 && !qobject_cast<SignatureDialog*>(modal)) {
            QString text;
            for (QLabel* label : modal->findChildren<QLabel*>())
                text += label->text() + QLatin1Char(' ');
            elapsed = timer.elapsed();
            ok = modal->windowTitle() == QStringLiteral("Подпись создана");
            if (!ok)
                std::printf("  %s: %s\n", qPrintable(modal->windowTitle()), qPrintable(text.left(300)));
            state = 3;
            if (QPushButton* close = bench::buttonIn(modal, QStringLiteral("OK")))
                close->click();
            else
                modal->close();
            if (!ok) {
                QTimer::singleShot(100, [] {
                    if (QWidget* d = QApplication::activeModalWidget())
                        d->close();
                });
            }
        }
        busy = false;
    }

    QString p12;
    int mode;
    bool batch;
    int state = 0;
    bool busy = false;
    QTimer poll;
    QElapsedTimer timer;
    qint64 lastTick = 0;
};

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/signwindow-bench-XXXXXX"));
    QApplication app(argc, argv);
    bench::useEditorSettingsIn(dir.path());

    QList<qint64> sizes;
    for (const QString& argument : QApplication::arguments().mid(1))
        sizes << argument.toLongLong() * kMegabyte;
    if (sizes.isEmpty())
        sizes = {kMegabyte, 200 * kMegabyte};

    const QString p12 = bench::makeSignerP12(dir.path());

    // The dialog with 100 stored stamp templates: built, and its template
    // list opened.
    for (int i = 0; i < 100; ++i) {
        SignatureStampTemplate stamp = loadSignatureStampTemplate(QStringLiteral("default"));
        stamp.id.clear();
        stamp.builtIn = false;
        stamp.name = QStringLiteral("Шаблон %1").arg(i, 3, 10, QLatin1Char('0'));
        saveSignatureStampTemplate(stamp, nullptr);
    }
    {
        SignatureDialog::Setup setup;
        setup.sourcePath = p12;
        setup.children.program = writeTimingWrapper(dir.path());
        QElapsedTimer timer;
        timer.start();
        SignatureDialog dialog(setup, nullptr);
        const qint64 built = timer.elapsed();
        QComboBox* templates = nullptr;
        for (QComboBox* box : dialog.findChildren<QComboBox*>()) {
            if (box->iconSize() == QSize(118, 48))
                templates = box;
        }
        // Previews are drawn for the chosen row and, one at a time, for the
        // rows the open list shows.
        QApplication::processEvents();
        const qint64 chosen = timer.elapsed();
        dialog.show();
        timer.restart();
        templates->showPopup();
        const qint64 opened = timer.elapsed();
        qint64 longest = opened;
        qint64 last = timer.elapsed();
        while (timer.elapsed() < 1000) {
            QApplication::processEvents();
            longest = qMax(longest, timer.elapsed() - last);
            last = timer.elapsed();
        }
        templates->hidePopup();
        std::printf("dialog with %d templates: built in %lld ms, chosen preview after %lld ms, the list opened in "
                    "%lld ms, longest step while its previews fill in %lld ms\n",
                    templates->count(), built, chosen, opened, longest);
        QDir(signatureStampTemplatesDir()).removeRecursively();
        childMsAndReset(dir.path());
    }

    MainWindow window(AppProduct::editor);
    window.setSigningWorkerProgram(writeTimingWrapper(dir.path()));
    window.resize(1000, 700);
    window.show();

    for (qint64 size : sizes) {
        const QString input = dir.path() + QStringLiteral("/doc-%1mb.pdf").arg(size / kMegabyte);
        bench::writePaddedPdf(input, size);
        for (int mode : {0, 3, 4}) {
            window.openFile(input);
            childMsAndReset(dir.path());
            DialogDriver driver(p12, mode, false);
            window.showSignatureDialog(false, {}, {}, QString());
            const double children = childMsAndReset(dir.path());
            std::printf("mode %d %4lld MB: press to message %7lld ms, signing children %7.0f ms, window %7.0f ms, "
                        "longest stall %5lld ms%s\n",
                        mode, size / kMegabyte, driver.elapsed, children, driver.elapsed - children,
                        driver.longestStallMs, driver.ok ? "" : "  FAILED");
            std::fflush(stdout);
            for (const QString& name : QDir(dir.path()).entryList({QStringLiteral("doc-*")}, QDir::Files)) {
                if (name != QFileInfo(input).fileName())
                    QFile::remove(dir.path() + QLatin1Char('/') + name);
            }
        }
        QFile::remove(input);
    }

    QStringList files;
    for (int i = 0; i < kBatchFiles; ++i) {
        files << dir.path() + QStringLiteral("/batch-%1.pdf").arg(i, 2, 10, QLatin1Char('0'));
        bench::writePaddedPdf(files.last(), 20 * 1024);
    }
    const qint64 before = bench::residentBytes();
    childMsAndReset(dir.path());
    DialogDriver driver(p12, 0, true);
    window.showSignatureDialog(false, files, {}, files.first());
    const qint64 elapsed = driver.elapsed;
    const bool ok = driver.ok;
    const double children = childMsAndReset(dir.path());
    const qint64 after = bench::residentBytes();
    std::printf("batch of %d (mode 0): %lld ms, %.1f ms a file (children %.1f ms a file); memory %lld -> %lld MB%s\n",
                kBatchFiles, elapsed, double(elapsed) / kBatchFiles, children / kBatchFiles, before / kMegabyte,
                after / kMegabyte, ok ? "" : "  FAILED");
    return 0;
}
