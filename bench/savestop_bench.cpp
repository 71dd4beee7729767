// Saves of a one-word text edit stopped through "Отмена" at many moments,
// as a user stops them: while the edit is written into its page (before and
// after the page changed) and while the file is written.
//   savestop_bench FILE [STOPS] [LONGEST_MS] [FIRST_MS]
//     FILE        a PDF whose first page has a line starting "Release" with
//                 the word "2022-10-20" (the GAP reference manual), or
//     FILE LINE WORD   another first-page line start and word
//   Each stop: a fresh window opens a fresh copy, the word is corrected,
//   Ctrl+S, and "Отмена" pressed as soon as possible after a delay spread
//   over FIRST_MS (0)..LONGEST_MS (6000). Told per stop: where it landed, whether the
//   file stayed byte for byte, whether a second prompt opened, whether the
//   edit stayed unsaved; then one save stopped and saved again writes it.
#include "BlockFixtures.h"
#include "MainWindow.h"
#include "PdfDocument.h"
#include "PdfView.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

namespace {

constexpr int kDefaultStops = 24;
constexpr int kDefaultLongestMs = 6000;
constexpr int kPollMs = 2;

QByteArray fileHash(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                                          : QByteArray();
}

QPushButton* cancelOf(QWidget* prompt)
{
    for (QPushButton* button : prompt->findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("Отмена"))
            return button;
    return nullptr;
}

struct Stop {
    QString landed;  // where the stop landed, or why none was taken
    bool taken = false;
    bool fileKept = false;
    bool secondPrompt = false;
    bool unsaved = false;
};

// One save of the corrected word stopped after delayMs; the window is left
// for the caller to save again when asked.
Stop stopOnce(MainWindow& window, const QString& path, int delayMs)
{
    Stop stop;
    const QByteArray before = fileHash(path);
    PdfDocument* doc = window.currentDocument();
    const quint64 revision = doc->revision();
    QSet<QWidget*> prompts;
    QPointer<QWidget> stoppedOn;
    QElapsedTimer clock;
    QTimer stopper;
    stopper.setInterval(kPollMs);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        QWidget* prompt = QApplication::activeModalWidget();
        if (!prompt || !prompt->isVisible())
            return;
        prompts.insert(prompt);
        if (stop.taken) {
            if (prompt != stoppedOn)
                stop.secondPrompt = true;
            return;
        }
        QPushButton* cancel = cancelOf(prompt);
        if (clock.elapsed() < delayMs || !cancel || !cancel->isEnabled())
            return;
        const bool pageWritten = doc->revision() != revision;
        stop.landed = prompts.size() > 1 ? QStringLiteral("during the file write")
                      : pageWritten      ? QStringLiteral("during the page write, the page changed")
                                         : QStringLiteral("during the page write, the page not yet changed");
        stop.taken = true;
        stoppedOn = prompt;
        cancel->click();
    });
    clock.start();
    stopper.start();
    QMetaObject::invokeMethod(&window, "onSave");
    // A prompt the save left queued would open here.
    for (int round = 0; round < 50; ++round)
        QCoreApplication::processEvents(QEventLoop::AllEvents, kPollMs);
    stopper.stop();
    if (!stop.taken)
        stop.landed = QStringLiteral("the save ended first");
    stop.fileKept = fileHash(path) == before;
    stop.unsaved = window.windowTitle().contains(QStringLiteral(" *"));
    return stop;
}

std::unique_ptr<MainWindow> editedWindow(const QString& path, const QString& line, const QString& word)
{
    auto window = std::make_unique<MainWindow>(AppProduct::editor);
    window->resize(900, 700);
    window->show();
    window->openFile(path);
    window->onToggleEditMode();
    auto* view = window->findChild<PdfView*>(QStringLiteral("DocumentScroll"));
    std::vector<TextBlock> blocks = view->blocks();
    if (!fixtures::correctWordInLine(blocks, line, word, word + QStringLiteral("A")))
        return nullptr;
    view->setOcrBlocks(blocks, 0, true);
    return window;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QTextStream out(stdout);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        out << "usage: savestop_bench FILE [LINE WORD] [STOPS] [LONGEST_MS] [FIRST_MS]\n";
        return 2;
    }
    const bool ownLine = args.size() >= 3 && !args[1].at(0).isDigit();
    const QString line = ownLine ? args[1] : QStringLiteral("Release");
    const QString word = ownLine ? args[2] : QStringLiteral("2022-10-20");
    const QStringList numbers = args.mid(ownLine ? 3 : 1);
    const int stops = numbers.size() > 0 ? numbers[0].toInt() : kDefaultStops;
    const int longestMs = numbers.size() > 1 ? numbers[1].toInt() : kDefaultLongestMs;
    const int firstMs = numbers.size() > 2 ? numbers[2].toInt() : 0;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("document.pdf"));
    int taken = 0, kept = 0, second = 0, unsaved = 0;
    for (int i = 0; i < stops; ++i) {
        QFile::remove(path);
        if (!QFile::copy(args[0], path) || !QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner)) {
            out << "cannot copy " << args[0] << '\n';
            return 1;
        }
        std::unique_ptr<MainWindow> window = editedWindow(path, line, word);
        if (!window) {
            out << "no line starting \"" << line << "\" with \"" << word << "\" on the first page\n";
            return 1;
        }
        const int delay = firstMs + (stops > 1 ? (longestMs - firstMs) * i / (stops - 1) : 0);
        const Stop stop = stopOnce(*window, path, delay);
        taken += stop.taken;
        kept += stop.taken && stop.fileKept;
        second += stop.secondPrompt;
        unsaved += stop.taken && stop.unsaved;
        out << "stop " << i + 1 << " after " << delay << " ms: " << stop.landed
            << (stop.taken ? QStringLiteral(", file %1, %2, edit %3")
                                 .arg(stop.fileKept ? "unchanged" : "CHANGED",
                                      stop.secondPrompt ? "A SECOND PROMPT" : "no second prompt",
                                      stop.unsaved ? "unsaved" : "SAVED")
                           : QString())
            << '\n';
        out.flush();
        if (i + 1 == stops && stop.taken) {
            // The edit kept unsaved is written by the next save.
            QMetaObject::invokeMethod(window.get(), "onSave");
            QProcess text;
            text.start(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                                    QStringLiteral("1"), path, QStringLiteral("-")});
            text.waitForFinished(120000);
            out << "saved again: the word " << word + QStringLiteral("A")
                << (QString::fromUtf8(text.readAllStandardOutput()).contains(word + QStringLiteral("A")) ? " is" : " is NOT")
                << " in the file\n";
        }
    }
    out << "\nstops taken " << taken << " of " << stops << ": file unchanged " << kept << ", second prompts " << second
        << ", edit kept unsaved " << unsaved << '\n';
    return 0;
}
