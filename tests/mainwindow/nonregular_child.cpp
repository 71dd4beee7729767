// Reads a file the way the window does when the user names it, with every
// prompt answered, so that a test can watch from outside for a window that
// waits for ever or runs out of memory on a file that is not a regular one.
//   nonregular_child <operation> <path> [<open first.pdf>]
// Operations: "open" (File → Open and the command line), "drop", "restore"
// (the last document reopened at start), "templates" (stamp templates
// listed, the template "stamp" opened in the editor and a stamped copy of
// first.pdf made with it), "journal" (a signature journalled), "facsimile" (a picture added
// to the facsimile library), "picture" (a picture placed on a page) and
// "paint" (a picture loaded in the facsimile editor). A file dialog is
// answered with the path. Prints one line per prompt,
// "prompt: <title>|<text>", then one line of the outcome: "tabs: <names>" (or
// "tabs: none"), "templates: <count>" with "stamped copy: made" or
// "stamped copy refused: <reason>" (", yet written" when a file was left), "journal: written",
// "journal refused: <reason>", "facsimiles: <count>" or "picture kept: yes|no".
// Exit 0, or 3 for bad arguments.
#include "FacsimileEditorDialog.h"
#include "FacsimilePaintHost.h"
#include "Document.h"
#include "MainWindow.h"
#include "OcrProgressDialog.h"
#include "SignatureJournal.h"
#include "SignatureStampEditorDialog.h"
#include "SignatureStampTemplate.h"
#include "StampedPdfCopy.h"
#include "WorkProgressDialog.h"

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTabBar>
#include <QTextStream>
#include <QTimer>

namespace {

constexpr int kPollMs = 10;
constexpr int kSettleMs = 300;

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QPushButton* buttonWithText(QDialog* dialog, const QString& text)
{
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == text)
            return button;
    return nullptr;
}

// Notes each prompt and answers it as a user who wants the file opened would;
// a file dialog gets the path.
void answerPrompts(const QString& path)
{
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [path] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible() || dialog->property("answered").toBool())
            return;
        // Long work's progress asks nothing: on a busy machine it may show
        // before the prompt, and rejecting it would stop the work.
        if (dynamic_cast<WorkProgressDialog*>(dialog) || dynamic_cast<OcrProgressDialog*>(dialog))
            return;
        dialog->setProperty("answered", true);
        if (auto* files = qobject_cast<QFileDialog*>(dialog)) {
            files->selectFile(path);
            static_cast<QDialog*>(files)->accept();  // the file dialog's own check of the choice
            return;
        }
        auto* box = qobject_cast<QMessageBox*>(dialog);
        QLabel* subtitle = dialog->findChild<QLabel*>(QStringLiteral("DialogSubtitle"));
        const QString text = box ? box->text() : subtitle ? subtitle->text() : QString();
        out() << "prompt: " << dialog->windowTitle() << '|' << QString(text).replace('\n', ' ') << '\n' << Qt::flush;
        for (const QString& choice : {QStringLiteral("Открыть как новый документ"), QStringLiteral("OK")}) {
            if (QPushButton* button = buttonWithText(dialog, choice)) {
                button->click();
                return;
            }
        }
        dialog->reject();
    });
    timer->start(kPollMs);
}

void settle()
{
    QEventLoop loop;
    QTimer::singleShot(kSettleMs, &loop, &QEventLoop::quit);
    loop.exec();
}

void printTabs(MainWindow& window)
{
    QStringList names;
    QTabBar* tabs = window.findChild<QTabBar*>(QStringLiteral("DocumentTabs"));
    for (int i = 0; tabs && i < tabs->count(); ++i)
        names << tabs->tabText(i);
    out() << "tabs: " << (names.isEmpty() ? QStringLiteral("none") : names.join(QLatin1Char(','))) << '\n'
          << Qt::flush;
}

void drop(MainWindow& window, const QString& path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDropEvent event(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    static_cast<QObject*>(&window)->event(&event);
}

void journal()
{
    SignatureRequest request;
    request.inputPath = QStringLiteral("/tmp/a.pdf");
    request.outputPath = QStringLiteral("/tmp/a.pdf.sig");
    SignatureResult result;
    result.ok = true;
    result.outputPath = request.outputPath;
    QString error;
    if (appendSignatureJournalRecord(request, result, SigningCertificate(), &error))
        out() << "journal: written\n";
    else
        out() << "journal refused: " << error << '\n';
}

// The templates listed, the template "stamp" opened in the editor (its
// prompts answered) and a stamped copy of the document made with it.
void stampTemplates(const QString& document)
{
    out() << "templates: " << loadSignatureStampTemplates().size() << '\n' << Qt::flush;
    {
        SignatureStampEditorDialog editor(nullptr, QStringLiteral("stamp"));
        editor.setProperty("answered", true);  // the editor itself is no prompt
        QTimer::singleShot(kSettleMs, &editor, &QDialog::reject);
        editor.exec();
    }
    SignatureStampOptions options;
    options.templateId = QStringLiteral("stamp");
    const QString stamped = document + QStringLiteral(".stamped.pdf");
    QString error;
    if (createStampedPdfCopy(document, stamped, SigningCertificate(), QByteArray(32, '\1'), QDateTime::currentDateTime(),
                             options, &error))
        out() << "stamped copy: made\n";
    else
        out() << "stamped copy refused: " << error << (QFile::exists(stamped) ? ", yet written" : "") << '\n';
}

// The facsimile editor's picture, loaded from path over a white one.
void paintPicture(const QString& path)
{
    paint::FacsimileEditorDialog dialog;
    QImage white(40, 20, QImage::Format_ARGB32_Premultiplied);
    white.fill(Qt::white);
    dialog.setImage(white);
    const bool loaded = dialog.host()->loadImageFile(path);
    const paint::Document* document = dialog.host()->document();
    const bool kept = !loaded && document && document->size == white.size();
    out() << "picture kept: " << (kept ? "yes" : "no") << '\n';
}

} // namespace

int main(int argc, char** argv)
{
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("vorn"));
    QCoreApplication::setApplicationName(QStringLiteral("vorn-pdf-editor"));
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 3;
    const QString operation = args[1];
    const QString path = args[2];
    const QString first = args.value(3);
    answerPrompts(path);

    if (operation == QLatin1String("templates")) {
        stampTemplates(first);
        return 0;
    }
    if (operation == QLatin1String("journal")) {
        journal();
        return 0;
    }
    if (operation == QLatin1String("paint")) {
        paintPicture(path);
        return 0;
    }
    if (operation == QLatin1String("restore")) {
        QSettings settings;
        settings.setValue(QStringLiteral("doc/restoreLastDocument"), true);
        settings.setValue(QStringLiteral("recentFiles"), QStringList{path});
        settings.sync();
    }
    MainWindow window(AppProduct::editor);
    window.resize(900, 700);
    window.show();
    if (!first.isEmpty())
        window.openFile(first);
    if (operation == QLatin1String("open"))
        window.openFile(path);
    else if (operation == QLatin1String("drop"))
        drop(window, path);
    else if (operation == QLatin1String("picture"))
        window.onImageRectReady(0, QRectF(20, 20, 100, 50));
    else if (operation == QLatin1String("facsimile"))
        window.onFacsimileAdd();
    else if (operation != QLatin1String("restore"))
        return 3;
    settle();
    if (operation == QLatin1String("facsimile")) {
        const QString library = QDir(appDataDirectory()).filePath(QStringLiteral("facsimiles"));
        out() << "facsimiles: " << QDir(library).entryList(QDir::Files).size() << '\n';
        return 0;
    }
    printTabs(window);
    return 0;
}
