// Printing through a PDF file in place of a printer: the stored settings as
// the print path reads them, the chosen range, where a page lands on the
// sheet, failed pages and the edits the printout shows.
#include "PrintDevice.h"
#include "PrintDialog.h"
#include "ExportTestSupport.h"
#include "SaveLeftovers.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <csignal>

#include <sys/resource.h>
#include <unistd.h>

using namespace exporttest;
using namespace windowtest;

namespace {

// What the printer was set to, kept when the device goes.
struct Printed {
    int dpi = 0;
    int copies = 0;
    QSizeF paper;  // points, as oriented
    bool made = false;
};

class RecordingDevice : public PdfFilePrintDevice {
public:
    RecordingDevice(const QString& path, Printed* record) : PdfFilePrintDevice(path), m_record(record) {}
    ~RecordingDevice() override
    {
        m_record->dpi = printer().resolution();
        m_record->copies = printer().copyCount();
        m_record->paper = printer().pageLayout().fullRect(QPageLayout::Point).size();
        m_record->made = true;
    }

private:
    Printed* m_record;
};

// Asks for an autosave on the first pass of events after the print began.
class AutoSaveTickDevice : public PdfFilePrintDevice {
public:
    AutoSaveTickDevice(const QString& path, MainWindow* window) : PdfFilePrintDevice(path), m_window(window) {}
    bool confirm(QWidget* parent) override
    {
        QTimer::singleShot(0, m_window, [window = m_window] { QMetaObject::invokeMethod(window, "autoSaveIfNeeded"); });
        return PdfFilePrintDevice::confirm(parent);
    }

private:
    MainWindow* m_window;
};

// Notes, on the first pass of events after the print began, what stands
// in the output's folder then.
class WatchingDevice : public PdfFilePrintDevice {
public:
    WatchingDevice(const QString& path, QStringList* seen) : PdfFilePrintDevice(path), m_path(path), m_seen(seen) {}
    bool confirm(QWidget* parent) override
    {
        QTimer::singleShot(0, [path = m_path, seen = m_seen] {
            *seen = QDir(QFileInfo(path).path()).entryList(QDir::Files | QDir::Hidden);
        });
        return PdfFilePrintDevice::confirm(parent);
    }

private:
    QString m_path;
    QStringList* m_seen;
};

bool holdsPartialFile(const QStringList& names)
{
    return std::any_of(names.begin(), names.end(), isPartialFileName);
}

// Prints to out with the range a user would choose.
void printTo(MainWindow& window, const QString& out, Printed* record, QPrinter::PrintRange range = QPrinter::AllPages,
             int from = 0, int to = 0)
{
    window.setPrintDeviceFactory([=] {
        auto device = std::make_unique<RecordingDevice>(out, record);
        device->chooseRange(range, from, to);
        return device;
    });
    window.onPrint();
}

// Qt's own print dialog, as the user fills it in: the PDF file printer, the
// name typed, then its own question about an existing file answered Yes.
void typeInPrintDialog(MainWindow& window, prompt::Driver& prompts, const QString& typed, bool asks)
{
    window.setPrintDeviceFactory([] { return std::make_unique<SystemPrintDevice>(); });
    // Once answered, the print dialog stays up while its question runs and
    // until it ends: it takes no further answer.
    auto answered = std::make_shared<bool>(false);
    prompts.skipWhen(
        [answered](QDialog* dialog) { return *answered && qobject_cast<QPrintDialog*>(dialog) != nullptr; });
    prompts.whenShown(
        [typed, answered](QDialog* dialog) {
            *answered = true;
            auto* printers = dialog->findChild<QComboBox*>(QStringLiteral("printers"));
            printers->setCurrentIndex(printers->count() - 1);
            dialog->findChild<QLineEdit*>(QStringLiteral("filename"))->setText(typed);
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        },
        [](QDialog* dialog) { return qobject_cast<QPrintDialog*>(dialog) != nullptr; });
    if (asks)
        prompts.clickButton(QStringLiteral("Yes"));
}

void store(const QString& key, const QVariant& value)
{
    QSettings().setValue(QStringLiteral("print/") + key, value);
}

} // namespace

class PrintTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        isolateSettings();
        store(QStringLiteral("dpi"), 72);
    }

    void storedValues_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("dpi");
        QTest::addColumn<int>("copies");
        QTest::addColumn<QSizeF>("paper");
        const QSizeF a4(595, 842);
        QTest::newRow("dpi 50") << "dpi" << QVariant(50) << 72 << 1 << a4;
        QTest::newRow("dpi 5000") << "dpi" << QVariant(5000) << 1200 << 1 << a4;
        QTest::newRow("copies 0") << "copies" << QVariant(0) << 72 << 1 << a4;
        QTest::newRow("copies 150") << "copies" << QVariant(150) << 72 << 99 << a4;
        QTest::newRow("A3") << "paper" << QVariant("A3") << 72 << 1 << QSizeF(842, 1191);
        QTest::newRow("A5") << "paper" << QVariant("A5") << 72 << 1 << QSizeF(420, 595);
        QTest::newRow("Legal") << "paper" << QVariant("Legal") << 72 << 1 << QSizeF(612, 1008);
        QTest::newRow("unknown paper") << "paper" << QVariant("B5") << 72 << 1 << a4;
        QTest::newRow("Альбомная") << "orientation" << QVariant("Альбомная") << 72 << 1 << QSizeF(842, 595);
        QTest::newRow("landscape") << "orientation" << QVariant("landscape") << 72 << 1 << QSizeF(842, 595);
        QTest::newRow("Landscape") << "orientation" << QVariant("Landscape") << 72 << 1 << a4;
    }

    // Read from the settings as stored, clamped; the page of the file has the paper's size.
    void storedValues()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        QFETCH(int, dpi);
        QFETCH(int, copies);
        QFETCH(QSizeF, paper);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        // A small page, so 1200 dpi stays within the render budget.
        fixtures::PageSpec small;
        small.width = 100;
        small.height = 100;
        window.openFile(writeFixture(dir, QStringLiteral("small.pdf"), fixtures::pagesPdf({small})));
        store(key, value);
        store(QStringLiteral("scale"), QStringLiteral("100"));
        Printed printed;
        const QString out = dir.filePath(QStringLiteral("out.pdf"));
        printTo(window, out, &printed);
        QVERIFY(printed.made);
        QCOMPARE(printed.dpi, dpi);
        QCOMPARE(printed.copies, copies);
        QVERIFY(qAbs(printed.paper.width() - paper.width()) <= 1 && qAbs(printed.paper.height() - paper.height()) <= 1);
        const QList<QSizeF> sizes = pdftools::pageSizes(out);
        QCOMPARE(sizes.size(), 1);
        QVERIFY(qAbs(sizes.first().width() - paper.width()) <= 1);
        // At 100 % the page is drawn dot for dot at the printer's resolution.
        const QList<pdftools::ImageRow> images = pdftools::listImages(out);
        QCOMPARE(images.size(), 1);
        QVERIFY2(qAbs(images.first().xPpi - dpi) <= 1, qPrintable(QString::number(images.first().xPpi)));
        QCOMPARE(statusText(window), QStringLiteral("Напечатано страниц: 1"));
    }

    void ranges_data()
    {
        QTest::addColumn<int>("range");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("count");
        QTest::newRow("all") << int(QPrinter::AllPages) << 0 << 0 << 3;
        QTest::newRow("2 to 5 of 3") << int(QPrinter::PageRange) << 2 << 5 << 2;
        QTest::newRow("5 to 6 of 3") << int(QPrinter::PageRange) << 5 << 6 << 0;
        QTest::newRow("current") << int(QPrinter::CurrentPage) << 0 << 0 << 1;
    }

    void ranges()
    {
        QFETCH(int, range);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, count);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        QList<fixtures::PageSpec> pages(3);
        pages[1].drawBox = true;  // the page shown as current
        showSmall(window);
        window.openFile(writeFixture(dir, QStringLiteral("three.pdf"), fixtures::pagesPdf(pages)));
        view(window)->setCurrentPage(1);
        Printed printed;
        const QString out = dir.filePath(QStringLiteral("out.pdf"));
        printTo(window, out, &printed, QPrinter::PrintRange(range), from, to);
        QCOMPARE(statusText(window), QStringLiteral("Напечатано страниц: %1").arg(count));
        if (count > 0)
            QCOMPARE(pdftools::pageCount(out), count);
        if (range == int(QPrinter::CurrentPage)) {
            const QImage sheet = pdftools::renderPage(out, 0, 36);
            QVERIFY(!sheet.isNull());
            int grey = 0;
            for (int y = 0; y < sheet.height(); ++y)
                for (int x = 0; x < sheet.width(); ++x)
                    grey += qAbs(qGray(sheet.pixel(x, y)) - 128) < 20 ? 1 : 0;
            QVERIFY(grey > 100);
        }
    }

    // Fitted, a landscape page on portrait paper is limited by the width and
    // sits at the top-left corner of the printable area.
    void landscapePageFitsTopLeft()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        fixtures::PageSpec wide;
        wide.width = 842;
        wide.height = 595;
        wide.extraContent = QStringLiteral("0 g 0 0 842 595 re f\n");
        window.openFile(writeFixture(dir, QStringLiteral("wide.pdf"), fixtures::pagesPdf({wide})));
        Printed printed;
        const QString out = dir.filePath(QStringLiteral("out.pdf"));
        printTo(window, out, &printed);

        QPrinter reference(QPrinter::HighResolution);
        reference.setOutputFormat(QPrinter::PdfFormat);
        reference.setPageSize(QPageSize(QPageSize::A4));
        const QRectF paint = reference.pageLayout().paintRect(QPageLayout::Point);
        const QImage sheet = pdftools::renderPage(out, 0, 72);
        QCOMPARE(sheet.size(), QSize(595, 842));
        QRect ink;
        for (int y = 0; y < sheet.height(); ++y)
            for (int x = 0; x < sheet.width(); ++x)
                if (qGray(sheet.pixel(x, y)) < 128)
                    ink |= QRect(x, y, 1, 1);
        const double height = 595.0 * paint.width() / 842.0;
        QVERIFY2(qAbs(ink.left() - paint.left()) <= 2 && qAbs(ink.top() - paint.top()) <= 2,
                 qPrintable(QStringLiteral("%1,%2").arg(ink.left()).arg(ink.top())));
        QVERIFY(qAbs(ink.width() - paint.width()) <= 2);
        QVERIFY(qAbs(ink.height() - height) <= 2);
    }

    // A page over the render budget is not counted as printed, and told.
    void failedPageIsReported()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        window.openFile(writePdf(dir, QStringLiteral("two.pdf"), 2));
        store(QStringLiteral("paper"), QStringLiteral("A3"));
        store(QStringLiteral("dpi"), 1200);
        store(QStringLiteral("scale"), QStringLiteral("125%"));
        prompt::Driver prompts;
        QString told;
        prompts.whenShown([&told](QDialog* dialog) {
            told = dialog->windowTitle() + QLatin1Char('|') +
                   dialog->findChild<QLabel*>(QStringLiteral("DialogSubtitle"))->text();
            dialog->accept();
        });
        Printed printed;
        printTo(window, dir.filePath(QStringLiteral("out.pdf")), &printed);
        QCOMPARE(told, QStringLiteral("Печать|Не удалось отрисовать страницу 1."));
        QCOMPARE(statusText(window), QStringLiteral("Напечатано страниц: 0"));
    }

    void cancelledConfirmationPrintsNothing()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        window.openFile(writePdf(dir, QStringLiteral("one.pdf"), 1));
        const QString out = dir.filePath(QStringLiteral("out.pdf"));
        window.setPrintDeviceFactory([out] {
            auto device = std::make_unique<PdfFilePrintDevice>(out);
            device->cancelConfirmation();
            return device;
        });
        const QString before = statusText(window);
        window.onPrint();
        QVERIFY(!QFileInfo::exists(out));
        QCOMPARE(statusText(window), before);
    }

    // A printout to a file never replaces a document open here, the shown
    // one or another tab's: refused with the reason, the file as it was.
    void printToAnOpenFile_data()
    {
        QTest::addColumn<QString>("target");  // "shown", "other tab" or a new file's name
        QTest::addColumn<QString>("told");    // empty: printed
        QTest::newRow("the shown document's file")
            << "shown" << "Печать|Файл two.pdf открыт в программе. Укажите другой файл результата.";
        QTest::newRow("another tab's file")
            << "other tab" << "Печать|Файл one.pdf открыт в программе. Укажите другой файл результата.";
        QTest::newRow("the shown file by another spelling")
            << "./two.pdf" << "Печать|Файл two.pdf открыт в программе. Укажите другой файл результата.";
        QTest::newRow("a hard link of the shown document's file")
            << "link:shown" << "Печать|Файл hl.pdf открыт в программе. Укажите другой файл результата.";
        QTest::newRow("a hard link of another tab's file")
            << "link:other tab" << "Печать|Файл hl.pdf открыт в программе. Укажите другой файл результата.";
        QTest::newRow("a new file") << "out.pdf" << "";
        QTest::newRow("the shown file by a relative name in the system dialog")
            << "typed:./two.pdf" << "Печать|Файл two.pdf открыт в программе. Укажите другой файл результата.";
    }

    void printToAnOpenFile()
    {
        QFETCH(QString, target);
        QFETCH(QString, told);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        const QString other = writePdf(dir, QStringLiteral("one.pdf"), 1);
        const QString shown = writePdf(dir, QStringLiteral("two.pdf"), 2);
        window.openFile(other);
        window.openFile(shown);
        const QByteArray otherBefore = fixtures::readFile(other);
        const QByteArray shownBefore = fixtures::readFile(shown);
        QString out = target == QLatin1String("shown")       ? shown
                      : target == QLatin1String("other tab") ? other
                                                             : dir.path() + QLatin1Char('/') + target;
        if (target.startsWith(QLatin1String("link:"))) {
            out = dir.filePath(QStringLiteral("hl.pdf"));
            const QString linked = target.endsWith(QLatin1String("shown")) ? shown : other;
            QCOMPARE(::link(QFile::encodeName(linked).constData(), QFile::encodeName(out).constData()), 0);
        }
        prompt::Driver prompts;
        QString notice;
        const bool typed = target.startsWith(QLatin1String("typed:"));
        if (typed)
            typeInPrintDialog(window, prompts, target.section(QLatin1Char(':'), 1), true);
        if (!told.isEmpty())
            prompt::answerNoting(prompts, QStringLiteral("OK"), &notice);
        Printed printed;
        const QString working = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        if (typed)
            window.onPrint();
        else
            printTo(window, out, &printed);
        QVERIFY(QDir::setCurrent(working));
        QCOMPARE(prompts.pending(), 0);
        QCOMPARE(notice, told);
        QCOMPARE(fixtures::readFile(other), otherBefore);
        QCOMPARE(fixtures::readFile(shown), shownBefore);
        QCOMPARE(tabTexts(window), QStringList({"one.pdf", "two.pdf"}));
        if (told.isEmpty())
            QCOMPARE(pdftools::pageCount(out), 2);
    }

    // An existing file the printer would write, whatever name the print
    // dialog checked (it reads a typed name in the working folder, its
    // printer under the home folder), is replaced only when the user allows
    // it here, or in the print dialog for that very file.
    void printOverAnExistingFile_data()
    {
        QTest::addColumn<QString>("output");   // the printer's file: relative to the working folder
        // "same" or "other" file asked about in the dialog, or none; "typed": the
        // output's name typed in Qt's print dialog (after the prefix that follows)
        QTest::addColumn<QString>("allowed");
        QTest::addColumn<QString>("answer");   // to the question here; empty: none expected
        QTest::addColumn<bool>("replaced");
        QTest::newRow("kept when not allowed") << "docs/v1.pdf" << "" << "Отмена" << false;
        QTest::newRow("replaced when allowed") << "docs/v1.pdf" << "" << "Заменить" << true;
        QTest::newRow("relative name") << "v1.pdf" << "" << "Отмена" << false;
        QTest::newRow("dialog asked about another file of the name") << "docs/v1.pdf" << "other" << "Отмена" << false;
        QTest::newRow("dialog asked about that file") << "docs/v1.pdf" << "same" << "" << true;
        QTest::newRow("relative name typed in the system dialog") << "docs/v1.pdf" << "typed" << "" << true;
        QTest::newRow("dotted relative name typed in the system dialog") << "docs/v1.pdf" << "typed:./" << "" << true;
    }

    void printOverAnExistingFile()
    {
        QFETCH(QString, output);
        QFETCH(QString, allowed);
        QFETCH(QString, answer);
        QFETCH(bool, replaced);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("docs")));
        const QString target = dir.filePath(output);
        const QString otherOfName = writePdf(dir, QStringLiteral("v1.pdf"), 4);
        writePdf(dir, QStringLiteral("docs/v1.pdf"), 5);
        const QByteArray before = fixtures::readFile(target);
        MainWindow window(AppProduct::editor);
        window.openFile(writePdf(dir, QStringLiteral("two.pdf"), 2));
        const QString working = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        // Qt's printer writes a relative name under the home folder.
        QTemporaryDir home;
        const QByteArray ownHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        prompt::Driver prompts;
        if (allowed.startsWith(QLatin1String("typed"))) {
            typeInPrintDialog(window, prompts, allowed.section(QLatin1Char(':'), 1) + output, true);
        } else {
            window.setPrintDeviceFactory([&] {
                auto device = std::make_unique<PdfFilePrintDevice>(output);
                if (!allowed.isEmpty())
                    device->allowReplacing(allowed == QLatin1String("same") ? target : otherOfName);
                return device;
            });
        }
        QString question;
        prompt::answerNoting(prompts, answer.isEmpty() ? QStringLiteral("Отмена") : answer, &question);
        window.onPrint();
        qputenv("HOME", ownHome);
        QVERIFY(QDir::setCurrent(working));
        QCOMPARE(prompts.pending(), answer.isEmpty() ? 1 : 0);
        QCOMPARE(fixtures::filesIn(home.path()), QStringList());
        const QString asked = QStringLiteral("Печать|Файл «%1» уже существует. Заменить его?").arg(target);
        QCOMPARE(question, answer.isEmpty() ? QString() : asked);
        if (replaced)
            QCOMPARE(pdftools::pageCount(target), 2);
        else
            QCOMPARE(fixtures::readFile(target), before);
        QCOMPARE(pdftools::pageCount(otherOfName), 4);
        QVERIFY(!holdsPartialFile(QDir(QFileInfo(target).path()).entryList(QDir::Files | QDir::Hidden)));
    }

    // A printout is written aside and takes the file's place once it has
    // ended whole, as a save does: the old file stays whole while it prints
    // (and its other names keep it), and a printout cut short leaves it.
    void printoutReplacesTheFileWhenWhole_data()
    {
        QTest::addColumn<bool>("cutShort");  // by the file size limit
        QTest::newRow("whole") << false;
        QTest::newRow("cut short") << true;
    }

    void printoutReplacesTheFileWhenWhole()
    {
        QFETCH(bool, cutShort);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        window.openFile(writePdf(dir, QStringLiteral("two.pdf"), 2));
        const QString out = writePdf(dir, QStringLiteral("out.pdf"), 5);
        const QString otherName = dir.filePath(QStringLiteral("other-name.pdf"));
        QCOMPARE(::link(QFile::encodeName(out).constData(), QFile::encodeName(otherName).constData()), 0);
        const QByteArray before = fixtures::readFile(out);
        QStringList seen;
        window.setPrintDeviceFactory([&] {
            auto device = std::make_unique<WatchingDevice>(out, &seen);
            device->allowReplacing(out);
            return device;
        });
        prompt::Driver prompts;
        QString told;
        prompt::answerNoting(prompts, QStringLiteral("OK"), &told);
        rlimit limit{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
        const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        if (cutShort) {
            constexpr rlim_t kFewBytes = 2048;
            const rlimit small{kFewBytes, limit.rlim_max};
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        window.onPrint();
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        std::signal(SIGXFSZ, oldSignal);

        QVERIFY(holdsPartialFile(seen));
        QVERIFY(!holdsPartialFile(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden)));
        QCOMPARE(fixtures::readFile(otherName), before);
        if (cutShort) {
            QCOMPARE(told, QStringLiteral("Печать|Не удалось записать файл: запись оборвалась на середине"));
            QCOMPARE(fixtures::readFile(out), before);
        } else {
            QCOMPARE(told, QString());
            QCOMPARE(pdftools::pageCount(out), 2);
            QCOMPARE(statusText(window), QStringLiteral("Напечатано страниц: 2"));
        }
    }

    // The printout shows a block edited in the view and not yet written.
    void printoutShowsPendingEdits()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showWithPdf(window, dir, 1);
        TextBlock block;
        block.text = QStringLiteral("EDITED EDITED");
        block.rect = QRectF(72, 72, 300, 30);
        block.fontSize = 20;
        block.textEdited = true;
        view(window)->setOcrBlocks({block}, 0, true);
        Printed printed;
        const QString out = dir.filePath(QStringLiteral("out.pdf"));
        printTo(window, out, &printed);
        QVERIFY(!view(window)->blocksDirty());
        const QImage sheet = pdftools::renderPage(out, 0, 72);
        QVERIFY(!sheet.isNull());
        // The block lies 740..770 points from the top; fitted, the page
        // keeps nearly its size on the same paper.
        QVERIFY(inkIn(sheet, QRect(60, 720, 300, 60)) > 50);
    }

    // No autosave writes the file while the document prints.
    void autoSaveWaitsForPrinting()
    {
        const PatientQuietTime patient;  // the autosave's outcome is read at once
        QSettings().setValue(QStringLiteral("doc/autoSave"), true);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        const QString path = showWithPdf(window, dir, 2);
        const QByteArray before = fixtures::readFile(path);
        QVERIFY(window.currentDocument()->deletePage(1));
        window.updateTitle();
        const QString out = dir.filePath(QStringLiteral("out.pdf"));
        window.setPrintDeviceFactory([&] { return std::make_unique<AutoSaveTickDevice>(out, &window); });
        window.onPrint();
        QVERIFY(QFileInfo::exists(out));
        QCOMPARE(fixtures::readFile(path), before);
        QVERIFY(QMetaObject::invokeMethod(&window, "autoSaveIfNeeded"));
        QVERIFY(fixtures::readFile(path) != before);
    }

    // The window: "Печать" stores the choices shown, the system dialog's
    // button prints with what was stored, A3 only in the print path.
    void dialogStoresOnlyOnPrint_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("storedPaper");
        QTest::addColumn<double>("printedHeight");
        QTest::newRow("Печать") << QStringLiteral("Печать") << QStringLiteral("A4") << 595.0;
        QTest::newRow("system dialog") << QStringLiteral("Системный диалог...") << QStringLiteral("A3") << 842.0;
    }

    void dialogStoresOnlyOnPrint()
    {
        QFETCH(QString, button);
        QFETCH(QString, storedPaper);
        QFETCH(double, printedHeight);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showWithPdf(window, dir, 1);
        store(QStringLiteral("paper"), QStringLiteral("A3"));
        store(QStringLiteral("orientation"), QStringLiteral("Альбомная"));
        store(QStringLiteral("scale"), QStringLiteral("По ширине"));
        store(QStringLiteral("copies"), 150);
        Printed printed;
        const QString out = dir.filePath(QStringLiteral("out.pdf"));
        window.setPrintDeviceFactory([&] { return std::make_unique<RecordingDevice>(out, &printed); });
        window.showPrintDialog();
        auto* dialog = window.findChild<PrintDialog*>();
        QVERIFY(dialog);
        const QList<QComboBox*> combos = dialog->findChildren<QComboBox*>();
        QCOMPARE(combos.size(), 3);
        QCOMPARE(combos[0]->currentText(), QStringLiteral("A4"));
        QCOMPARE(combos[1]->currentData().toString(), QStringLiteral("landscape"));
        QCOMPARE(combos[2]->currentData().toString(), QStringLiteral("width"));
        QCOMPARE(dialog->findChild<QSpinBox*>()->value(), 99);
        prompt::buttonWithText(dialog, button)->click();
        QTRY_VERIFY(!window.findChild<PrintDialog*>());
        QCOMPARE(QSettings().value(QStringLiteral("print/paper")).toString(), storedPaper);
        QVERIFY(printed.made);
        // Landscape: the printed width is the paper's longer side.
        QVERIFY(qAbs(printed.paper.height() - printedHeight) <= 1);
    }
};

QTEST_MAIN(PrintTest)
#include "tst_print.moc"
