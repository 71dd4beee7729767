// The window during long work on long manuals (made by make-manual.py): the
// whole time of each piece of work and the longest time the GUI thread was
// kept from its event loop meanwhile, driven as the user drives it.
//   windowwork_bench [manualPages] [pngPages]   each the best of two rounds
//     png export     "Изображение PNG" of a pngPages-page manual (46) at 150 dpi
//     find all       "Найти все в документе" for a phrase on the long manual (2415 pages),
//                    and for a word found some ten thousand times
//     first find     the first "Найти далее" for another phrase there
//     save           the save of the long manual after one added line
//     stopped save   saves of the long manual stopped through "Отмена" at
//                    several times: the longest stall from the stop until
//                    the save has ended
//   windowwork_bench [manualPages] [pngPages] save   only the two saves
#include "BenchDocuments.h"
#include "MainWindow.h"
#include "PdfDocument.h"
#include "SearchDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <functional>

namespace {

constexpr int kDefaultManualPages = 2415;
constexpr int kDefaultPngPages = 46;
constexpr int kTickMs = 2;
constexpr int kPngRow = 6;  // the PNG row of the save and export dialog's types
constexpr int kDpi = 150;
constexpr int kRounds = 2;
constexpr int kSettleMs = 2000;  // a document just opened renders its first pages and thumbnails

// The longest gap between two ticks of a timer on the GUI thread.
class StallMeter : public QObject {
public:
    StallMeter()
    {
        m_tick.setInterval(kTickMs);
        connect(&m_tick, &QTimer::timeout, this, [this] {
            const double now = bench::msSince(m_clock);
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
    }
    void start()
    {
        m_clock.start();
        m_last = 0;
        m_longest = 0;
        m_tick.start();
    }
    // The longest gap, counting the time since the last tick.
    double stop()
    {
        m_longest = std::max(m_longest, bench::msSince(m_clock) - m_last);
        m_tick.stop();
        return m_longest;
    }

private:
    QTimer m_tick;
    QElapsedTimer m_clock;
    double m_last = 0;
    double m_longest = 0;
};

// Answers the file dialog (a type chosen by its row, a name typed) and the
// resolution question; progress prompts are left to run.
class Answers : public QObject {
public:
    Answers(int typeRow, QString path)
        : m_row(typeRow)
        , m_path(std::move(path))
    {
        m_poll.setInterval(5);
        connect(&m_poll, &QTimer::timeout, this, [this] { answer(); });
        m_poll.start();
    }
    // When the last dialog was answered: the work starts there.
    QElapsedTimer answered;

private:
    void answer()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* files = qobject_cast<QFileDialog*>(modal)) {
            if (auto* types = files->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
                types->setCurrentIndex(m_row);
            files->setDirectory(QFileInfo(m_path).absolutePath());
            files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(m_path).fileName());
            answered.start();
            static_cast<QDialog*>(files)->done(QDialog::Accepted);
        } else if (auto* input = qobject_cast<QInputDialog*>(modal)) {
            input->setIntValue(kDpi);
            answered.start();
            input->accept();
        }
    }

    int m_row;
    QString m_path;
    QTimer m_poll;
};

bool makeManual(int pages, const QString& path)
{
    QProcess maker;
    maker.start(QStringLiteral("python3"),
                {QStringLiteral(VORN_SOURCE_DIR "/bench/make-manual.py"), QString::number(pages), path});
    return maker.waitForFinished(600000) && maker.exitCode() == 0 && QFileInfo::exists(path);
}

// Runs the event loop until done says so.
void waitFor(const std::function<bool()>& done)
{
    while (!done()) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void settle()
{
    QEventLoop loop;
    QTimer::singleShot(kSettleMs, &loop, &QEventLoop::quit);
    loop.exec();
}

QPushButton* buttonNamed(QWidget* parent, const QString& text)
{
    for (QPushButton* button : parent->findChildren<QPushButton*>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

void report(QTextStream& out, const QString& what, double totalMs, double stallMs)
{
    out << what.leftJustified(34) << QStringLiteral("total %1 ms, longest stall %2 ms\n")
                                         .arg(totalMs, 0, 'f', 0)
                                         .arg(stallMs, 0, 'f', 0);
    out.flush();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench::useOwnSettings(QStringLiteral("windowwork_bench"));
    const int manualPages = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : kDefaultManualPages;
    const int pngPages = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : kDefaultPngPages;
    QTextStream out(stdout);
    QTemporaryDir dir;
    const QString shortManual = dir.filePath(QStringLiteral("short.pdf"));
    const QString longManual = dir.filePath(QStringLiteral("long.pdf"));
    if (!makeManual(pngPages, shortManual) || !makeManual(manualPages, longManual)) {
        out << "make-manual.py failed (python3 and ps2pdf are needed)\n";
        return 1;
    }
    out << "manuals: " << pngPages << " pages, " << manualPages << " pages ("
        << QFileInfo(longManual).size() / 1024 << " KiB)\n";

    const bool savesOnly = argc > 3 && QString::fromLocal8Bit(argv[3]) == QLatin1String("save");
    MainWindow window(AppProduct::editor);
    window.resize(1200, 900);
    window.show();
    StallMeter stalls;
    // Each piece of work runs kRounds times (other names, other queries) and
    // the shortest time and its stall are told: the machine is shared.
    struct Figures {
        double total = 1e100;
        double stall = 0;
        void take(double t, double s)
        {
            if (t < total) {
                total = t;
                stall = s;
            }
        }
    };

    if (!savesOnly) {
        window.openFile(shortManual);
        settle();
        Figures png;
        for (int round = 0; round < kRounds; ++round) {
            const QString folder = dir.filePath(QStringLiteral("png%1").arg(round));
            QDir().mkpath(folder);
            Answers answers(kPngRow, folder + QStringLiteral("/page.png"));
            stalls.start();
            window.showSaveExportDialog();
            const QString last = folder + QStringLiteral("/page_%1.png").arg(pngPages, 3, 10, QLatin1Char('0'));
            waitFor([&] { return QFileInfo::exists(last); });
            const double total = bench::msSince(answers.answered);
            png.take(total, stalls.stop());
        }
        report(out, QStringLiteral("PNG export, %1 pages:").arg(pngPages), png.total, png.stall);

        window.openFile(longManual);
        settle();
        Figures all;
        Figures frequent;
        int entries = 0;
        int frequentEntries = 0;
        const QStringList queries{QStringLiteral("Getting Started"), QStringLiteral("Installation"),
                                  QStringLiteral("program"), QStringLiteral("folder")};
        for (const QString& query : queries) {
            const bool rare = queries.indexOf(query) < kRounds;
            auto* dialog = new SearchDialog(window);
            dialog->present();
            auto* tabs = dialog->findChild<QTabWidget*>(QStringLiteral("DialogTabs"));
            auto* find = tabs->widget(0)->findChild<QComboBox*>(QStringLiteral("DialogCombo"));
            find->setEditText(query);
            stalls.start();
            QElapsedTimer clock;
            clock.start();
            buttonNamed(dialog, QStringLiteral("Найти все в документе"))->click();
            // Until the last row is made: long tables are filled a batch at a time.
            waitFor([&] {
                const QTableWidget* table = dialog->resultTable();
                return table->rowCount() > 0 && table->item(table->rowCount() - 1, 3) && window.currentSearchEntry() >= 0;
            });
            const double total = bench::msSince(clock);
            (rare ? all : frequent).take(total, stalls.stop());
            (rare ? entries : frequentEntries) = dialog->resultTable()->rowCount();
            delete dialog;
        }
        report(out, QStringLiteral("Найти все, %1 entries:").arg(entries), all.total, all.stall);
        report(out, QStringLiteral("Найти все, %1 entries:").arg(frequentEntries), frequent.total, frequent.stall);

        Figures next;
        for (const QString& query : {QStringLiteral("Troubleshooting"), QStringLiteral("Reference")}) {
            stalls.start();
            QElapsedTimer clock;
            clock.start();
            window.onFindNext(query, false, false, false, false);
            waitFor([&] { return window.currentSearchEntry() >= 0; });
            const double total = bench::msSince(clock);
            next.take(total, stalls.stop());
            entries = int(window.searchResultList().size());
        }
        report(out, QStringLiteral("first Найти далее, %1 entries:").arg(entries), next.total, next.stall);
    } else {
        window.openFile(longManual);
        settle();
    }

    Figures save;
    PdfDocument* doc = window.currentDocument();
    for (int round = 0; round < kRounds; ++round) {
        doc->addFreeText(round, QRectF(72, 72, 300, 20), QStringLiteral("A line added before the save"),
                         QStringLiteral("Helvetica"), 12, Qt::black);
        settle();
        stalls.start();
        QElapsedTimer clock;
        clock.start();
        QMetaObject::invokeMethod(&window, "onSave");
        waitFor([&] { return !doc->isModified(); });
        const double total = bench::msSince(clock);
        save.take(total, stalls.stop());
    }
    report(out, QStringLiteral("save, %1 KiB:").arg(QFileInfo(longManual).size() / 1024), save.total, save.stall);

    // Each stop lands at another point of the save: pdfium's bytes, the
    // comparison with the file, the file written.
    for (const int stopAfterMs : {320, 400, 480, 560, 640}) {
        doc->addFreeText(0, QRectF(72, 100, 300, 20), QStringLiteral("A line added before a stopped save"),
                         QStringLiteral("Helvetica"), 12, Qt::black);
        settle();
        QElapsedTimer clock;
        clock.start();
        bool stopped = false;
        QTimer stopper;
        stopper.setInterval(5);
        QObject::connect(&stopper, &QTimer::timeout, [&] {
            if (stopped || clock.elapsed() < stopAfterMs)
                return;
            QWidget* prompt = QApplication::activeModalWidget();
            QPushButton* cancel = prompt ? buttonNamed(prompt, QStringLiteral("Отмена")) : nullptr;
            if (!cancel || !cancel->isEnabled())
                return;
            stopped = true;
            stalls.start();
            cancel->click();
        });
        stopper.start();
        QMetaObject::invokeMethod(&window, "onSave");
        const double stall = stalls.stop();
        stopper.stop();
        report(out, QStringLiteral("save stopped after %1 ms%2:").arg(stopAfterMs).arg(stopped ? "" : " (ended first)"),
               bench::msSince(clock), stopped ? stall : 0);
        // The document keeps its change: it is saved whole before the next round.
        QMetaObject::invokeMethod(&window, "onSave");
        waitFor([&] { return !doc->isModified(); });
    }
    return 0;
}
