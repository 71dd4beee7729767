// Signing from the window: from "Подписать" to the final message for 1 MB
// and 200 MB PDFs open in the window, in modes 0, 3 and 4, split into the
// window's share and its signing children's; then a batch of 50 one-page
// PDFs: time per further file and this process's memory before and after.
// Usage: signwindow_bench [size in MB ...]   (default 1 200)
#include "MainWindow.h"
#include "PaddedPdf.h"
#include "ProcessMemory.h"
#include "SignatureDialog.h"

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
#include <functional>

namespace {

constexpr qint64 kMegabyte = 1024 * 1024;
constexpr int kBatchFiles = 50;

QPushButton* buttonIn(QWidget* window, const QString& text)
{
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (button->text() == text && button->isVisible() && button->isEnabled())
            return button;
    }
    return nullptr;
}

// Polls until a modal window for which act returns true appears.
bool waitFor(const std::function<bool(QWidget*)>& act, int timeoutMs = 600000)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (QWidget* modal = QApplication::activeModalWidget()) {
            if (act(modal))
                return true;
        }
    }
    return false;
}

// The children's own time: a wrapper appends start and end in ns.
QString writeTimingWrapper(const QString& dir)
{
    const QString path = dir + QStringLiteral("/timed-worker");
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("#!/bin/sh\nstart=$(date +%s%N)\n\"" VORN_PDF_EXECUTABLE "\" \"$@\"\nrc=$?\n"
               "echo \"$start $(date +%s%N)\" >> \"" + QFile::encodeName(dir) + "/child-times\"\nexit $rc\n");
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

// Presses "Подписать" in the dialog with the container and mode set; true
// when the final message came; elapsed in ms from the press to it.
bool signInDialog(QWidget* dialog, const QString& p12, int mode, qint64* elapsed, bool batch)
{
    auto* d = qobject_cast<SignatureDialog*>(dialog);
    QList<QLineEdit*> fields = d->findChildren<QLineEdit*>(QStringLiteral("DialogLineEdit"));
    // The key group's fields in order: certificate, key, key password,
    // container, container password.
    QList<QLineEdit*> keyFields;
    for (QLineEdit* field : fields) {
        if (field->parentWidget() && field->parentWidget()->property("title").toString() == QLatin1String("Linux / OpenSSL"))
            keyFields << field;
    }
    if (keyFields.size() < 5)
        return false;
    keyFields[0]->clear();
    keyFields[1]->clear();
    keyFields[3]->setText(p12);
    for (QComboBox* box : d->findChildren<QComboBox*>()) {
        if (box->count() == 5 && box->itemData(4).toInt() == 4)
            box->setCurrentIndex(mode);
    }
    QElapsedTimer timer;
    timer.start();
    buttonIn(d, QStringLiteral("Подписать"))->click();
    if (batch && !waitFor([](QWidget* w) {
            QPushButton* yes = buttonIn(w, QStringLiteral("Подписать остальные"));
            if (yes)
                yes->click();
            return yes != nullptr;
        }))
        return false;
    QString text;
    const bool done = waitFor([&text](QWidget* w) {
        if (w->windowTitle() != QStringLiteral("Подпись создана") && w->windowTitle() != QStringLiteral("Ошибка подписи")
            && w->windowTitle() != QStringLiteral("Подписание"))
            return false;
        for (QLabel* label : w->findChildren<QLabel*>())
            text += label->text() + QLatin1Char(' ');
        if (QPushButton* ok = buttonIn(w, QStringLiteral("OK")))
            ok->click();
        else
            w->close();
        return true;
    });
    *elapsed = timer.elapsed();
    if (!text.contains(QStringLiteral("Подписан:")))
        std::printf("  message: %s\n", qPrintable(text.left(300)));
    return done && text.contains(QStringLiteral("Подписан:"));
}

void runDialog(MainWindow& window, const QStringList& batch, const std::function<void(QWidget*)>& inDialog)
{
    QTimer::singleShot(0, &window, [&window, batch] {
        window.showSignatureDialog(false, batch, {}, batch.isEmpty() ? QString() : batch.first());
    });
    waitFor([&inDialog](QWidget* w) {
        if (!qobject_cast<SignatureDialog*>(w))
            return false;
        // The certificate search ends first, so the run button is enabled.
        QElapsedTimer t;
        t.start();
        while (!buttonIn(w, QStringLiteral("Подписать")) && t.elapsed() < 30000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        inDialog(w);
        return true;
    });
    QElapsedTimer t;
    t.start();
    while (QApplication::activeModalWidget() && t.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/signwindow-bench-XXXXXX"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path() + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path() + QStringLiteral("/data")));
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("vorn"));
    QApplication::setApplicationName(QStringLiteral("vorn-pdf-editor"));
    QSettings().setValue(QStringLiteral("signing/revocationMode"), QStringLiteral("never"));
    QSettings().sync();

    QList<qint64> sizes;
    for (const QString& argument : QApplication::arguments().mid(1))
        sizes << argument.toLongLong() * kMegabyte;
    if (sizes.isEmpty())
        sizes = {kMegabyte, 200 * kMegabyte};

    const QString p12 = dir.path() + QStringLiteral("/signer.p12");
    QProcess::execute(QStringLiteral("openssl"),
                      {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/C=RU/CN=Test Signer", "-days", "2",
                       "-keyout", dir.path() + "/k.pem", "-out", dir.path() + "/c.pem"});
    QProcess::execute(QStringLiteral("openssl"), {"pkcs12", "-export", "-inkey", dir.path() + "/k.pem", "-in",
                                                  dir.path() + "/c.pem", "-passout", "pass:", "-out", p12});

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
            qint64 elapsed = -1;
            bool ok = false;
            runDialog(window, {}, [&](QWidget* d) { ok = signInDialog(d, p12, mode, &elapsed, false); });
            const double children = childMsAndReset(dir.path());
            std::printf("mode %d %4lld MB: press to message %7lld ms, children %7.0f ms, window %7.0f ms%s\n", mode,
                        size / kMegabyte, elapsed, children, elapsed - children, ok ? "" : "  FAILED");
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
    qint64 elapsed = -1;
    bool ok = false;
    runDialog(window, files, [&](QWidget* d) { ok = signInDialog(d, p12, 0, &elapsed, true); });
    const double children = childMsAndReset(dir.path());
    const qint64 after = bench::residentBytes();
    std::printf("batch of %d (mode 0): %lld ms, %.1f ms a file (children %.1f ms a file); memory %lld -> %lld MB%s\n",
                kBatchFiles, elapsed, double(elapsed) / kBatchFiles, children / kBatchFiles, before / kMegabyte,
                after / kMegabyte, ok ? "" : "  FAILED");
    return 0;
}
