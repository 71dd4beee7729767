// Saving in place, save as, autosave, and closing tabs and the window with
// the unsaved-changes prompt.
#include "PromptDriver.h"
#include "WindowTestSupport.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

using namespace windowtest;

namespace {

// Answers the next save dialog with a file name, taken as given: the
// dialog's own selection, which its directory loading may set later, is
// cleared so that the typed name is what it returns.
void answerSaveDialog(const QString& name)
{
    prompt::whenShown([name](QDialog* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        if (!files) {
            dialog->reject();
            return;
        }
        files->setDirectory(QFileInfo(name).absolutePath());
        for (QAbstractItemView* itemView : files->findChildren<QAbstractItemView*>())
            itemView->clearSelection();
        files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(name).fileName());
        dialog->done(QDialog::Accepted);
    });
}

// Answers the next prompt and returns its title and subtitle through text.
void answerPrompt(const QString& button, QString* text = nullptr)
{
    prompt::whenShown([button, text](QDialog* dialog) {
        if (text) {
            QLabel* subtitle = dialog->findChild<QLabel*>(QStringLiteral("DialogSubtitle"));
            *text = dialog->windowTitle() + '|' + (subtitle ? subtitle->text() : QString());
        }
        if (QPushButton* pushed = prompt::buttonWithText(dialog, button))
            pushed->click();
        else
            dialog->reject();
    });
}

void modify(MainWindow& window)
{
    window.currentDocument()->markModified();
    window.updateTitle();
}

bool hasTempLeft(const QString& path)
{
    return !QDir(QFileInfo(path).absolutePath()).entryList({QStringLiteral("*.~tmp")}).isEmpty();
}

// Opens a file, then takes its folder away, so writing there fails.
QString openThenRemoveFolder(MainWindow& window, QTemporaryDir& dir)
{
    const QString folder = dir.filePath(QStringLiteral("gone"));
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/a.pdf");
    QFile::copy(writePdf(dir, QStringLiteral("src.pdf"), 2), path);
    window.openFile(path);
    QDir(folder).removeRecursively();
    return path;
}

int pageCountOf(const QString& path)
{
    PdfDocument check;
    return check.open(path) ? check.pageCount() : -1;
}

} // namespace

class SaveCloseTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }

    void saveRewritesOpenFile();
    void saveFailureKeepsDocumentModified();
    void saveAsName_data();
    void saveAsName();
    void saveAsAddedSuffixAsksBeforeReplacing_data();
    void saveAsAddedSuffixAsksBeforeReplacing();
    void cancelledSaveAsWritesNothing();

    void autoSavePeriodClamped_data();
    void autoSavePeriodClamped();
    void autoSaveTimerFollowsSetting();
    void autoSaveSavesModifiedTitledDocument();
    void autoSaveSkips_data();
    void autoSaveSkips();
    void autoSaveFailureToldOnce();

    void editedBlocksCountAsUnsaved();
    void failedBlockWriteBackIsNotSaved();
    void closingUnmodifiedTabDoesNotAsk();
    void closePromptAnswers_data();
    void closePromptAnswers();
    void savingUntitledOnCloseAsksForName();
    void closingActiveTabActivatesNeighbour_data();
    void closingActiveTabActivatesNeighbour();
    void closingTabLeftOfActiveKeepsActiveDocument();
    void closingLastTabReturnsToNoDocument();
    void windowCloseCancelledAtSecondPrompt();
    void windowCloseStoresPlacement();
};

void SaveCloseTest::saveRewritesOpenFile()
{
    QTemporaryDir dir;
    const QString path = writePdf(dir, QStringLiteral("a.pdf"), 3);
    MainWindow window(AppProduct::editor);
    window.openFile(path);
    window.currentDocument()->deletePage(0);
    window.updateTitle();
    QVERIFY(window.windowTitle().startsWith(QStringLiteral("a.pdf *")));

    invoke(window, "onSave");
    QCOMPARE(pageCountOf(path), 2);
    QVERIFY(!hasTempLeft(path));
    QVERIFY(!window.currentDocument()->isModified());
    QVERIFY(window.windowTitle().startsWith(QStringLiteral("a.pdf — ")));
    QCOMPARE(tabTexts(window), QStringList{"a.pdf"});
    QCOMPARE(statusText(window), QStringLiteral("Сохранено"));
}

void SaveCloseTest::saveFailureKeepsDocumentModified()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::editor);
    window.show();
    openThenRemoveFolder(window, dir);
    modify(window);
    QString shown;
    prompt::whenShown([&shown](QDialog* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        shown = box ? box->windowTitle() + '|' + box->text() : QString();
        dialog->accept();
    });
    invoke(window, "onSave");
    QVERIFY2(shown.startsWith(QStringLiteral("Ошибка|Не удалось сохранить файл:\n")), qPrintable(shown));
    QVERIFY(shown.size() > QStringLiteral("Ошибка|Не удалось сохранить файл:\n").size());
    QVERIFY(window.currentDocument()->isModified());
    QCOMPARE(tabTexts(window), QStringList{"a.pdf *"});
}

void SaveCloseTest::saveAsName_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::newRow("without suffix") << "copy" << "copy.pdf";
    QTest::newRow("other suffix") << "copy.v2" << "copy.v2.pdf";
    QTest::newRow("capital suffix") << "COPY.PDF" << "COPY.PDF";
    QTest::newRow("mixed-case suffix") << "copy.Pdf" << "copy.Pdf";
}

void SaveCloseTest::saveAsName()
{
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    QTemporaryDir dir;
    MainWindow window(AppProduct::editor);
    window.show();
    window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 2));
    modify(window);
    answerSaveDialog(dir.filePath(chosen));
    invoke(window, "onSaveAs");

    const QString target = dir.filePath(written);
    QCOMPARE(pageCountOf(target), 2);
    QVERIFY(!window.currentDocument()->isModified());
    QCOMPARE(tabTexts(window), QStringList{written});
    QCOMPARE(tabs(window)->tabToolTip(0), target);
    QCOMPARE(statusText(window), QStringLiteral("Сохранено как: %1").arg(written));
    // The renamed tab is the one the new file opens into.
    window.openFile(target);
    QCOMPARE(tabs(window)->count(), 1);
}

void SaveCloseTest::saveAsAddedSuffixAsksBeforeReplacing_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("pagesAfter");
    QTest::newRow("keep the file") << "Отмена" << 5;
    QTest::newRow("replace it") << "Заменить" << 2;
}

void SaveCloseTest::saveAsAddedSuffixAsksBeforeReplacing()
{
    QFETCH(QString, answer);
    QFETCH(int, pagesAfter);
    QTemporaryDir dir;
    const QString existing = writePdf(dir, QStringLiteral("report.pdf"), 5);
    MainWindow window(AppProduct::editor);
    window.show();
    window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 2));
    answerSaveDialog(dir.filePath(QStringLiteral("report")));
    QString question;
    QTimer::singleShot(0, &window, [answer, &question] { answerPrompt(answer, &question); });
    invoke(window, "onSaveAs");
    QCOMPARE(question, QStringLiteral("Сохранить как|Файл «report.pdf» уже существует. Заменить его?"));
    QCOMPARE(pageCountOf(existing), pagesAfter);
}

void SaveCloseTest::cancelledSaveAsWritesNothing()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::editor);
    window.show();
    window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 2));
    modify(window);
    prompt::whenShown([](QDialog* dialog) { dialog->reject(); });
    invoke(window, "onSaveAs");
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.pdf"});
    QVERIFY(window.currentDocument()->isModified());
}

void SaveCloseTest::autoSavePeriodClamped_data()
{
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("intervalMs");
    QTest::newRow("zero") << 0 << 60000;
    QTest::newRow("negative") << -3 << 60000;
    QTest::newRow("one") << 1 << 60000;
    QTest::newRow("default") << 5 << 300000;
    QTest::newRow("upper end") << 120 << 7200000;
    QTest::newRow("above") << 500 << 7200000;
}

void SaveCloseTest::autoSavePeriodClamped()
{
    QFETCH(int, minutes);
    QFETCH(int, intervalMs);
    QSettings().setValue(QStringLiteral("doc/autoSave"), true);
    QSettings().setValue(QStringLiteral("doc/autoSaveMinutes"), minutes);
    MainWindow window(AppProduct::viewer);
    auto* timer = window.findChild<QTimer*>(QStringLiteral("AutoSaveTimer"));
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), intervalMs);
    QVERIFY(!timer->isSingleShot());
}

void SaveCloseTest::autoSaveTimerFollowsSetting()
{
    QSettings().setValue(QStringLiteral("doc/autoSaveMinutes"), 1);
    MainWindow window(AppProduct::viewer);
    QVERIFY(!window.findChild<QTimer*>(QStringLiteral("AutoSaveTimer"))->isActive());
}

void SaveCloseTest::autoSaveSavesModifiedTitledDocument()
{
    QTemporaryDir dir;
    const QString path = writePdf(dir, QStringLiteral("a.pdf"), 3);
    MainWindow window(AppProduct::editor);
    window.openFile(path);
    window.currentDocument()->deletePage(2);
    window.updateTitle();
    invoke(window, "autoSaveIfNeeded");
    QCOMPARE(pageCountOf(path), 2);
    QVERIFY(!window.currentDocument()->isModified());
    QCOMPARE(tabTexts(window), QStringList{"a.pdf"});
    QVERIFY(statusText(window).startsWith(QStringLiteral("Автосохранено: ")));
}

void SaveCloseTest::autoSaveSkips_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("not modified") << "clean";
    QTest::newRow("untitled") << "untitled";
    QTest::newRow("behind an open question") << "modal";
}

void SaveCloseTest::autoSaveSkips()
{
    QFETCH(QString, situation);
    QTemporaryDir dir;
    const QString path = writePdf(dir, QStringLiteral("a.pdf"), 3);
    const QDateTime written = QFileInfo(path).lastModified();
    MainWindow window(AppProduct::editor);
    window.show();
    if (situation == QLatin1String("untitled")) {
        window.currentDocument()->createEmpty();
        window.adoptInitialDocumentAsTab();
    } else {
        window.openFile(path);
    }
    if (situation != QLatin1String("clean"))
        modify(window);
    QTest::qWait(20);
    if (situation == QLatin1String("modal")) {
        QDialog question(&window);
        QTimer::singleShot(0, &question, [&window, &question] {
            QVERIFY(QMetaObject::invokeMethod(&window, "autoSaveIfNeeded"));
            question.reject();
        });
        question.exec();
    } else {
        invoke(window, "autoSaveIfNeeded");
    }
    QCOMPARE(QFileInfo(path).lastModified(), written);
    QCOMPARE(window.currentDocument()->isModified(), situation != QLatin1String("clean"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.pdf"});
}

void SaveCloseTest::autoSaveFailureToldOnce()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::editor);
    window.show();
    openThenRemoveFolder(window, dir);
    modify(window);
    QString notice;
    answerPrompt(QStringLiteral("OK"), &notice);
    invoke(window, "autoSaveIfNeeded");
    QVERIFY2(notice.startsWith(QStringLiteral("Ошибка|Автосохранение не удалось: ")), qPrintable(notice));
    QVERIFY(statusText(window).startsWith(QStringLiteral("Автосохранение не удалось: ")));
    QVERIFY(window.currentDocument()->isModified());

    QVERIFY(!prompt::promptShownDuring([&window] { invoke(window, "autoSaveIfNeeded"); }));
}

// Blocks edited in the view and not yet written into the PDF: the title, the
// tab and the close prompt all show them, and saving from the prompt writes
// them into the file before the tab goes.
void SaveCloseTest::editedBlocksCountAsUnsaved()
{
    QTemporaryDir dir;
    const QString path = writePdf(dir, QStringLiteral("a.pdf"), 1);
    MainWindow window(AppProduct::editor);
    window.show();
    window.openFile(path);
    TextBlock block;
    block.text = QStringLiteral("edited");
    block.rect = QRectF(72, 72, 200, 20);
    block.textEdited = true;
    view(window)->setOcrBlocks({block}, 0, true);
    QVERIFY(window.currentDocument()->save(path));
    window.updateTitle();
    QVERIFY(!window.currentDocument()->isModified());
    QVERIFY(window.windowTitle().startsWith(QStringLiteral("a.pdf *")));
    QCOMPARE(tabTexts(window), QStringList{"a.pdf *"});

    QString question;
    answerPrompt(QStringLiteral("Сохранить"), &question);
    QVERIFY(window.closeDocumentAt(0));
    QVERIFY(question.startsWith(QStringLiteral("Несохранённые изменения|")));
    QCOMPARE(tabs(window)->count(), 0);
    PdfDocument saved;
    QVERIFY(saved.open(path));
    QVERIFY(saved.extractAllText(0).contains(QStringLiteral("edited")));
}

// Edited blocks that cannot be written stop the save: nothing is reported as
// saved, the file stays as it was and the marks stay on.
void SaveCloseTest::failedBlockWriteBackIsNotSaved()
{
    QTemporaryDir dir;
    const QString path = writePdf(dir, QStringLiteral("a.pdf"), 1);
    QFile original(path);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray before = original.readAll();
    original.close();
    MainWindow window(AppProduct::editor);
    window.show();
    window.openFile(path);
    TextBlock stray;
    stray.text = QStringLiteral("stray");
    stray.rect = QRectF(72, 72, 100, 16);
    stray.textEdited = true;
    view(window)->setOcrBlocks({stray}, 7, true);  // a page the document does not have
    QString warning;
    prompt::whenShown([&warning](QDialog* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        warning = box ? box->text() : QString();
        dialog->accept();
    });
    invoke(window, "onSave");
    QCOMPARE(warning, QStringLiteral("Не удалось определить страницу текстовых правок."));
    QVERIFY(statusText(window) != QStringLiteral("Сохранено"));
    QVERIFY(window.windowTitle().startsWith(QStringLiteral("a.pdf *")));
    QFile after(path);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), before);
    view(window)->clearOcrBlocks();
}

void SaveCloseTest::closingUnmodifiedTabDoesNotAsk()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::editor);
    window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 1));
    window.openFile(writePdf(dir, QStringLiteral("b.pdf"), 1));
    QVERIFY(window.closeDocumentAt(1));
    QVERIFY(window.closeDocumentAt(0));
    QVERIFY(!window.closeDocumentAt(0));
    QCOMPARE(tabs(window)->count(), 0);
}

void SaveCloseTest::closePromptAnswers_data()
{
    QTest::addColumn<bool>("activeTab");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<int>("pagesOnDisk");
    for (bool active : {true, false}) {
        const char* which = active ? "active tab, " : "other tab, ";
        QTest::addRow("%ssave", which) << active << "Сохранить" << true << 1;
        QTest::addRow("%sdiscard", which) << active << "Не сохранять" << true << 2;
        QTest::addRow("%scancel", which) << active << "Отмена" << false << 2;
    }
}

void SaveCloseTest::closePromptAnswers()
{
    QFETCH(bool, activeTab);
    QFETCH(QString, answer);
    QFETCH(bool, closed);
    QFETCH(int, pagesOnDisk);
    QTemporaryDir dir;
    const QString path = writePdf(dir, QStringLiteral("a.pdf"), 2);
    MainWindow window(AppProduct::editor);
    window.show();
    window.openFile(path);
    window.currentDocument()->deletePage(1);
    if (!activeTab)
        window.openFile(writePdf(dir, QStringLiteral("b.pdf"), 1));
    window.updateTitle();

    QString question;
    answerPrompt(answer, &question);
    QCOMPARE(window.closeDocumentAt(0), closed);
    QVERIFY(question.startsWith(QStringLiteral("Несохранённые изменения|")));
    QCOMPARE(pageCountOf(path), pagesOnDisk);
    QCOMPARE(tabTexts(window).contains(QStringLiteral("a.pdf *")), !closed);
}

void SaveCloseTest::savingUntitledOnCloseAsksForName()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::editor);
    window.show();
    window.currentDocument()->createEmpty();
    window.currentDocument()->insertBlankPage(0, QSizeF(595, 842));
    window.adoptInitialDocumentAsTab();
    answerPrompt(QStringLiteral("Сохранить"));
    QTimer::singleShot(0, &window, [&dir] { answerSaveDialog(dir.filePath(QStringLiteral("new"))); });
    QVERIFY(window.closeDocumentAt(0));
    QCOMPARE(pageCountOf(dir.filePath(QStringLiteral("new.pdf"))), 1);

    // Cancelling the name keeps the tab.
    window.currentDocument()->createEmpty();
    window.adoptInitialDocumentAsTab();
    answerPrompt(QStringLiteral("Сохранить"));
    QTimer::singleShot(0, &window, [] { prompt::whenShown([](QDialog* dialog) { dialog->reject(); }); });
    QVERIFY(!window.closeDocumentAt(0));
    QCOMPARE(tabs(window)->count(), 1);
}

void SaveCloseTest::closingActiveTabActivatesNeighbour_data()
{
    QTest::addColumn<int>("closed");
    QTest::addColumn<QString>("activeAfter");
    QTest::newRow("middle: the next moves in") << 1 << "c.pdf";
    QTest::newRow("last: the previous one") << 2 << "b.pdf";
    QTest::newRow("first") << 0 << "b.pdf";
}

void SaveCloseTest::closingActiveTabActivatesNeighbour()
{
    QFETCH(int, closed);
    QFETCH(QString, activeAfter);
    QTemporaryDir dir;
    MainWindow window(AppProduct::editor);
    for (const char* name : {"a.pdf", "b.pdf", "c.pdf"})
        window.openFile(writePdf(dir, QLatin1String(name), 1));
    window.activateDocument(closed);
    QVERIFY(window.closeDocumentAt(closed));
    QCOMPARE(QFileInfo(window.currentDocument()->filePath()).fileName(), activeAfter);
    QCOMPARE(view(window)->document(), window.currentDocument());
    QCOMPARE(tabs(window)->tabText(tabs(window)->currentIndex()), activeAfter);
}

void SaveCloseTest::closingTabLeftOfActiveKeepsActiveDocument()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::editor);
    for (const char* name : {"a.pdf", "b.pdf", "c.pdf"})
        window.openFile(writePdf(dir, QLatin1String(name), 1));
    PdfDocument* active = window.currentDocument();
    QVERIFY(window.closeDocumentAt(0));
    QCOMPARE(window.currentDocument(), active);
    QCOMPARE(tabs(window)->currentIndex(), 1);
    QVERIFY(window.closeDocumentAt(0));
    QCOMPARE(window.currentDocument(), active);
    QCOMPARE(tabs(window)->currentIndex(), 0);
}

void SaveCloseTest::closingLastTabReturnsToNoDocument()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::editor);
    window.show();
    window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 3));
    QVERIFY(window.closeDocumentAt(0));
    QVERIFY(!window.isDocumentLoaded());
    QVERIFY(!tabs(window)->isVisible());
    QCOMPARE(view(window)->document(), nullptr);
    QCOMPARE(thumbnails(window)->count(), 0);
    QCOMPARE(window.windowTitle(), QStringLiteral("ВОРН PDF Редактор"));
}

void SaveCloseTest::windowCloseCancelledAtSecondPrompt()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::editor);
    window.show();
    for (const char* name : {"a.pdf", "b.pdf", "c.pdf"}) {
        window.openFile(writePdf(dir, QLatin1String(name), 1));
        modify(window);
    }
    answerPrompt(QStringLiteral("Не сохранять"));
    QTimer::singleShot(0, &window, [] { answerPrompt(QStringLiteral("Отмена")); });
    QVERIFY(!window.close());
    QVERIFY(window.isVisible());
    QCOMPARE(tabTexts(window), (QStringList{"a.pdf *", "b.pdf *"}));
    QVERIFY(!QSettings().contains(QStringLiteral("window/maximized")));
}

void SaveCloseTest::windowCloseStoresPlacement()
{
    MainWindow window(AppProduct::viewer);
    window.showMaximized();
    QTRY_VERIFY(window.isMaximized());
    QVERIFY(window.close());
    QSettings settings;
    QVERIFY(settings.value(QStringLiteral("window/maximized")).toBool());
    QVERIFY(!settings.value(QStringLiteral("window/fullscreen")).toBool());
    QVERIFY(!settings.contains(QStringLiteral("window/normalGeometry")));
}

QTEST_MAIN(SaveCloseTest)
#include "tst_saveclose.moc"
