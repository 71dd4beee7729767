// The page tools dialog: its presets and merge list, the shell mode, and the
// files its insert, extraction and merge write, checked from outside.
#include "PageListSyntax.h"
#include "PageToolsDialog.h"
#include "PdfTools.h"
#include "PromptDriver.h"
#include "WindowTestSupport.h"
#include "WorkProgressDialog.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>

#include <csignal>

#include <sys/resource.h>

using namespace windowtest;

namespace {

// How long the page tools' work may take on a busy machine before the dialog closes.
constexpr int kToolWorkMs = 60000;

QString fixture(const QString& name)
{
    return QStringLiteral(VORN_TEST_DATA "/") + name;
}

// A copy of a real producer's file in dir.
QString copyFixture(const QTemporaryDir& dir, const QString& name, const QString& as = QString())
{
    const QString target = dir.filePath(as.isEmpty() ? name : as);
    QFile::remove(target);
    if (!QFile::copy(fixture(name), target))
        qFatal("cannot copy %s", qPrintable(name));
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    return target;
}

QStringList pageTexts(const QString& path)
{
    PdfDocument document;
    QStringList texts;
    if (!document.open(path))
        return texts;
    for (int page = 0; page < document.pageCount(); ++page)
        texts << document.extractAllText(page);
    return texts;
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Prompts of the page tools; the progress prompt ends by itself.
struct ToolPrompts : prompt::Driver {
    ToolPrompts()
    {
        skipWhen([](QDialog* dialog) { return dynamic_cast<WorkProgressDialog*>(dialog) != nullptr; });
    }
};

// A two-line document open in edit mode with "XY" typed at the end of its
// first block and not yet written.
void openWithTypedEdit(MainWindow& window, const QTemporaryDir& dir)
{
    window.resize(900, 700);
    showActive(window);
    window.openFile(writeLinesPdf(dir, "lines.pdf", {700, 600}));
    window.onToggleEditMode();
    typeAtBlockEnd(view(window), 0, QStringLiteral("XY"));
}

PageToolsDialog* toolsDialog(MainWindow& window)
{
    return window.findChild<PageToolsDialog*>();
}

// The line edit on one of the dialog's tabs.
PageToolsDialog* showTools(MainWindow& window, PageToolsDialog::Tab tab, const QStringList& files = {})
{
    window.showPageToolsDialog(files, false);
    PageToolsDialog* dialog = window.findChild<PageToolsDialog*>();
    dialog->findChild<QTabWidget*>(QStringLiteral("DialogTabs"))->setCurrentIndex(tab);
    return dialog;
}

void apply(QDialog* dialog)
{
    prompt::buttonWithText(dialog, QStringLiteral("Применить"))->click();
}

QLineEdit* fieldOnTab(QDialog* dialog, int tab)
{
    return dialog->findChild<QTabWidget*>(QStringLiteral("DialogTabs"))->widget(tab)->findChild<QLineEdit*>();
}

QCheckBox* deleteAfterBox(QDialog* dialog)
{
    for (QCheckBox* box : dialog->findChildren<QCheckBox*>()) {
        if (box->text() == QStringLiteral("Удалить страницы после извлечения"))
            return box;
    }
    qFatal("no deletion box");
}

QPushButton* dialogButtonNamed(QDialog* dialog, const QString& text)
{
    return prompt::buttonWithText(dialog, text);
}

bool qpdfChecks(const QString& path)
{
    return pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--check"), path}).exitCode == 0;
}

} // namespace

class PageToolsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void presetsWithFiles();
    void presetsWithOpenDocument();
    void mergeListKeepsOneEntryPerExistingFile();
    void mergeListMovesEntries();

    void insertPositions_data();
    void insertPositions();
    void insertFailures();
    void insertKeepsPendingEdits();

    void extractListedPages();
    void extractRepeatWithDeletion();
    void extractAllWithDeletion();
    void extractGarbageWarns();
    void extractWritesPendingEdits();
    void extractRefusesOpenDocument();
    void extractAddsSuffixBeforeAsking();
    void failedWriteKeepsOldFile();

    void mergeFollowsListOrder();
    void mergeReportsFailures();
    void mergeOfNothingWritesNothing();
    void mergeTakesWorkbooks_data();
    void mergeTakesWorkbooks();
    void mergeSavesChangedSourceFirst_data();
    void mergeSavesChangedSourceFirst();

    void shellModeIsApplicationModal();
    void fileManagerMergeOpensShellTools();
    void shellToolsWithoutDocumentSayWhy_data();
    void shellToolsWithoutDocumentSayWhy();
    void shellMergeQuitsUnlessResultOpened_data();
    void shellMergeQuitsUnlessResultOpened();

private:
    int m_quits = 0;
};

void PageToolsTest::initTestCase()
{
    QVERIFY(pdftools::installed("qpdf"));
    QVERIFY(pdftools::installed("pdfinfo"));
    PageToolsDialog::setShellQuit([this] { ++m_quits; });
}

void PageToolsTest::init()
{
    isolateSettings();
    m_quits = 0;
}

void PageToolsTest::cleanup()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(widget))
            dialog->reject();
    }
}

void PageToolsTest::presetsWithFiles()
{
    MainWindow window(AppProduct::editor);
    showSmall(window);
    const QString a = fixture("groff-columns.pdf");
    const QString b = fixture("gs-helvetica.pdf");
    window.showPageToolsDialog({a, b}, false);
    PageToolsDialog* dialog = toolsDialog(window);
    QVERIFY(dialog && dialog->isVisible());
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->currentTab(), PageToolsDialog::MergeTab);
    QCOMPARE(dialog->insertPath(), a);
    QCOMPARE(dialog->mergePaths(), QStringList({a, b}));
    QCOMPARE(dialog->pageListText(), QStringLiteral("1"));
    QVERIFY(!dialog->findChild<QCheckBox*>(QStringLiteral("ScanCheckBox")));
}

void PageToolsTest::presetsWithOpenDocument()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    const QString open = copyFixture(dir, "pdftex-objstm-manual.pdf");
    window.openFile(open);
    window.showPageToolsDialog({}, false);
    PageToolsDialog* dialog = toolsDialog(window);
    QCOMPARE(dialog->currentTab(), PageToolsDialog::InsertTab);
    QCOMPARE(dialog->pageListText(), QStringLiteral("1-12"));
    QCOMPARE(dialog->mergePaths(), QStringList{open});
}

void PageToolsTest::mergeListKeepsOneEntryPerExistingFile()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    const QString a = copyFixture(dir, "groff-columns.pdf");
    window.showPageToolsDialog({a, a, dir.filePath("missing.pdf"), QString()}, false);
    PageToolsDialog* dialog = toolsDialog(window);
    QCOMPARE(dialog->mergePaths(), QStringList{a});
    // A relative name of the same file is the same entry.
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(!dialog->addMergeFile(QStringLiteral("groff-columns.pdf")));
    QVERIFY(dialog->addMergeFile(copyFixture(dir, "gs-image.pdf")));
    QCOMPARE(dialog->mergePaths().size(), 2);
}

void PageToolsTest::mergeListMovesEntries()
{
    MainWindow window(AppProduct::editor);
    showSmall(window);
    const QStringList files{fixture("groff-columns.pdf"), fixture("gs-image.pdf"), fixture("gs-helvetica.pdf")};
    window.showPageToolsDialog(files, false);
    PageToolsDialog* dialog = toolsDialog(window);
    auto* list = dialog->findChild<QListWidget*>();
    list->setCurrentRow(0);
    dialogButtonNamed(dialog, "↑ Вверх")->click();  // already first
    dialogButtonNamed(dialog, "↓ Вниз")->click();
    dialogButtonNamed(dialog, "↓ Вниз")->click();
    dialogButtonNamed(dialog, "↓ Вниз")->click();  // already last
    QCOMPARE(dialog->mergePaths(), QStringList({files[1], files[2], files[0]}));
    QCOMPARE(list->currentRow(), 2);
    list->setCurrentRow(1);
    list->item(1)->setSelected(true);
    dialogButtonNamed(dialog, "Удалить")->click();
    QCOMPARE(dialog->mergePaths(), QStringList({files[1], files[0]}));
}

void PageToolsTest::insertPositions_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QList<int>>("order");  // pages of the document (0..4), -1..-2 the inserted ones

    QTest::newRow("before the current page") << 1 << QList<int>{0, -1, -2, 1, 2, 3, 4};
    QTest::newRow("after the current page") << 0 << QList<int>{0, 1, -1, -2, 2, 3, 4};
    QTest::newRow("at the end") << 2 << QList<int>{0, 1, 2, 3, 4, -1, -2};
}

void PageToolsTest::insertPositions()
{
    QFETCH(int, position);
    QFETCH(QList<int>, order);
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    const QString open = writePdf(dir, "five.pdf", 5);
    const QString inserted = fixture("groff-columns.pdf");
    window.openFile(open);
    view(window)->setCurrentPage(1);
    window.showPageToolsDialog({}, false);
    PageToolsDialog* dialog = toolsDialog(window);
    fieldOnTab(dialog, PageToolsDialog::InsertTab)->setText(inserted);
    dialog->findChild<QComboBox*>()->setCurrentIndex(position);
    prompt::Driver prompts;
    QString unexpected;
    prompt::answerNoting(prompts, "OK", &unexpected);
    apply(dialog);
    QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected));
    QTRY_VERIFY_WITH_TIMEOUT(!toolsDialog(window), kToolWorkMs);

    const QStringList own = pageTexts(open);
    const QStringList theirs = pageTexts(inserted);
    QStringList expected;
    for (int page : order)
        expected << (page >= 0 ? own[page] : theirs[-page - 1]);
    QStringList now;
    for (int page = 0; page < window.currentDocument()->pageCount(); ++page)
        now << window.currentDocument()->extractAllText(page);
    QCOMPARE(now, expected);
    QCOMPARE(statusText(window), QStringLiteral("Вставлено 2 стр. из groff-columns.pdf"));
}

void PageToolsTest::insertFailures()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    window.openFile(writePdf(dir, "five.pdf", 5));
    const QString broken = writeFixture(dir, "broken.pdf", "%PDF-1.4\nnot a pdf at all");
    window.showPageToolsDialog({}, false);
    PageToolsDialog* dialog = toolsDialog(window);
    auto* field = fieldOnTab(dialog, PageToolsDialog::InsertTab);
    const struct {
        QString path;
        QString notice;
    } cases[] = {
        {QString(), "Вставка|Укажите файл"},
        {dir.filePath("missing.pdf"), "Ошибка|Файл не найден: " + dir.filePath("missing.pdf")},
        {broken, "Ошибка|Не удалось импортировать файл:\n"},
    };
    for (const auto& item : cases) {
        field->setText(item.path);
        prompt::Driver prompts;
        QString notice;
        prompt::answerNoting(prompts, "OK", &notice);
        apply(dialog);
        QVERIFY2(notice.startsWith(item.notice), qPrintable(notice));
        QVERIFY(toolsDialog(window));
        QCOMPARE(window.currentDocument()->pageCount(), 5);
    }
}

// The typed text goes into its page before the pages move, so it stays.
void PageToolsTest::insertKeepsPendingEdits()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    openWithTypedEdit(window, dir);
    window.showPageToolsDialog({fixture("gs-helvetica.pdf")}, false);
    PageToolsDialog* dialog = toolsDialog(window);
    dialog->findChild<QTabWidget*>("DialogTabs")->setCurrentIndex(PageToolsDialog::InsertTab);
    dialog->findChild<QComboBox*>()->setCurrentIndex(PageToolsBeforeCurrent);
    apply(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(!toolsDialog(window), kToolWorkMs);
    QCOMPARE(window.currentDocument()->pageCount(), 3);
    QVERIFY2(window.currentDocument()->extractAllText(1).contains("Line of page 1XY"),
             qPrintable(window.currentDocument()->extractAllText(1)));
}

void PageToolsTest::extractListedPages()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    const QString open = copyFixture(dir, "pdftex-objstm-manual.pdf");
    window.openFile(open);
    PageToolsDialog* dialog = showTools(window, PageToolsDialog::ExtractTab);
    fieldOnTab(dialog, PageToolsDialog::ExtractTab)->setText("1, 3-5, 7");
    const QString target = dir.filePath("out.pdf");
    ToolPrompts prompts;
    prompt::answerSaveDialog(prompts, target);
    apply(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(!toolsDialog(window), kToolWorkMs);
    QCOMPARE(pdftools::pageCount(target), 5);
    QVERIFY(qpdfChecks(target));
    const QStringList source = pageTexts(open);
    QCOMPARE(pageTexts(target), QStringList({source[0], source[2], source[3], source[4], source[6]}));
    QCOMPARE(window.currentDocument()->pageCount(), 12);
    QCOMPARE(statusText(window), QStringLiteral("Извлечено 5 стр. → out.pdf"));
}

void PageToolsTest::extractRepeatWithDeletion()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    const QString open = copyFixture(dir, "pdftex-objstm-manual.pdf");
    window.openFile(open);
    const QStringList source = pageTexts(open);
    PageToolsDialog* dialog = showTools(window, PageToolsDialog::ExtractTab);
    fieldOnTab(dialog, PageToolsDialog::ExtractTab)->setText("2, 2");
    deleteAfterBox(dialog)->setChecked(true);
    const QString target = dir.filePath("twice.pdf");
    ToolPrompts prompts;
    prompt::answerSaveDialog(prompts, target);
    apply(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(!toolsDialog(window), kToolWorkMs);
    QCOMPARE(pdftools::pageCount(target), 2);
    QVERIFY(qpdfChecks(target));
    QCOMPARE(pageTexts(target), QStringList({source[1], source[1]}));
    QCOMPARE(window.currentDocument()->pageCount(), 11);
    QCOMPARE(window.currentDocument()->extractAllText(1), source[2]);
    QCOMPARE(statusText(window), QStringLiteral("Извлечено 2 стр. → twice.pdf"));
    // Saved, the document has the 11 pages left.
    QVERIFY(window.currentDocument()->save(open));
    QCOMPARE(pdftools::pageCount(open), 11);
}

void PageToolsTest::extractAllWithDeletion()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    window.openFile(copyFixture(dir, "groff-columns.pdf"));
    PageToolsDialog* dialog = showTools(window, PageToolsDialog::ExtractTab);
    deleteAfterBox(dialog)->setChecked(true);
    ToolPrompts prompts;
    prompt::answerSaveDialog(prompts, dir.filePath("all.pdf"));
    apply(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(!toolsDialog(window), kToolWorkMs);
    QCOMPARE(pdftools::pageCount(dir.filePath("all.pdf")), 2);
    QCOMPARE(window.currentDocument()->pageCount(), 0);
}

void PageToolsTest::extractGarbageWarns()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    window.openFile(copyFixture(dir, "groff-columns.pdf"));
    PageToolsDialog* dialog = showTools(window, PageToolsDialog::ExtractTab);
    fieldOnTab(dialog, PageToolsDialog::ExtractTab)->setText("0, 3, x");
    prompt::Driver prompts;
    QString notice;
    prompt::answerNoting(prompts, "OK", &notice);
    apply(dialog);
    QCOMPARE(notice, QStringLiteral("Извлечение|Не указаны страницы"));
    QVERIFY(toolsDialog(window));
}

// The extracted page holds what the user typed into its block.
void PageToolsTest::extractWritesPendingEdits()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    openWithTypedEdit(window, dir);
    PageToolsDialog* dialog = showTools(window, PageToolsDialog::ExtractTab);
    fieldOnTab(dialog, PageToolsDialog::ExtractTab)->setText("1");
    const QString target = dir.filePath("edited.pdf");
    ToolPrompts prompts;
    prompt::answerSaveDialog(prompts, target);
    apply(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(!toolsDialog(window), kToolWorkMs);
    const QStringList words = pdftools::words(target, 0);
    QVERIFY2(words.join(' ').contains("1XY"), qPrintable(words.join(' ')));
}

void PageToolsTest::extractRefusesOpenDocument()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    const QString open = copyFixture(dir, "pdftex-objstm-manual.pdf");
    window.openFile(open);
    const QByteArray before = bytesOf(open);
    PageToolsDialog* dialog = showTools(window, PageToolsDialog::ExtractTab);
    ToolPrompts prompts;
    prompt::answerSaveDialog(prompts, open);
    QString notice;
    prompt::answerNoting(prompts, "OK", &notice);
    apply(dialog);
    QVERIFY2(notice.startsWith("Извлечение|Файл pdftex-objstm-manual.pdf открыт в программе."), qPrintable(notice));
    QCOMPARE(bytesOf(open), before);
    QVERIFY(toolsDialog(window));
}

// "out" becomes "out.pdf", and the question about replacing names that file.
void PageToolsTest::extractAddsSuffixBeforeAsking()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    window.openFile(copyFixture(dir, "groff-columns.pdf"));
    const QString existing = writeFixture(dir, "out.pdf", "kept");
    PageToolsDialog* dialog = showTools(window, PageToolsDialog::ExtractTab);
    ToolPrompts prompts;
    prompt::answerSaveDialog(prompts, dir.filePath("out"));
    QString question;
    prompt::answerNoting(prompts, "Отмена", &question);
    apply(dialog);
    QVERIFY2(question.contains("«out.pdf» уже существует"), qPrintable(question));
    QCOMPARE(bytesOf(existing), QByteArray("kept"));

    prompt::answerSaveDialog(prompts, dir.filePath("out"));
    prompt::answerNoting(prompts, "Заменить", &question);
    apply(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(!toolsDialog(window), kToolWorkMs);
    QCOMPARE(pdftools::pageCount(existing), 2);
}

// A write that fails leaves the file that was there: one cut short by the
// file size limit.
void PageToolsTest::failedWriteKeepsOldFile()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    window.openFile(copyFixture(dir, "groff-columns.pdf"));
    const QString existing = writeFixture(dir, "old.pdf", "old bytes");
    PageToolsDialog* dialog = showTools(window, PageToolsDialog::ExtractTab);
    ToolPrompts prompts;
    prompt::answerSaveDialog(prompts, existing);
    QString notice;
    prompt::answerNoting(prompts, "OK", &notice);
    rlimit limit{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    constexpr rlim_t kFewBytes = 512;
    const rlimit small{kFewBytes, limit.rlim_max};
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    apply(dialog);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    std::signal(SIGXFSZ, oldSignal);
    QVERIFY2(notice.startsWith("Ошибка|") && notice.size() > 7, qPrintable(notice));
    QCOMPARE(bytesOf(existing), QByteArray("old bytes"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    QVERIFY(toolsDialog(window));
}

void PageToolsTest::mergeFollowsListOrder()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    const QString pdf = copyFixture(dir, "groff-columns.pdf");
    const QString png = fixture("pictures/scan-grey.png");
    window.showPageToolsDialog({png, pdf}, false);
    PageToolsDialog* dialog = toolsDialog(window);
    ToolPrompts prompts;
    QString proposed;
    prompts.whenShown([&proposed](QDialog* files) {
        proposed = static_cast<QFileDialog*>(files)->selectedFiles().value(0);
        files->reject();
    });
    apply(dialog);
    QVERIFY2(proposed.endsWith("/scan-grey_объединённый.pdf") || proposed.endsWith("/scan-grey_merged.pdf"),
             qPrintable(proposed));
    QVERIFY(toolsDialog(window));

    const QString target = dir.filePath("merged.pdf");
    prompt::answerSaveDialog(prompts, target);
    apply(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(!toolsDialog(window), kToolWorkMs);
    QCOMPARE(pdftools::pageCount(target), 3);
    QVERIFY(qpdfChecks(target));
    const QList<pdftools::ImageRow> images = pdftools::listImages(target);
    QVERIFY(!images.isEmpty());
    QCOMPARE(images.constFirst().page, 1);
    QCOMPARE(pageTexts(target).mid(1), pageTexts(pdf));
    QCOMPARE(tabTexts(window), QStringList{"merged.pdf"});
    QCOMPARE(statusText(window), QStringLiteral("Объединено 3 стр. → merged.pdf"));
}

void PageToolsTest::mergeReportsFailures()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    const QString pdf = copyFixture(dir, "groff-columns.pdf");
    const QString gone = copyFixture(dir, "gs-image.pdf");
    const QString broken = writeFixture(dir, "broken.pdf", "%PDF-1.7\ngarbage");
    window.showPageToolsDialog({gone, pdf, broken}, false);
    QFile::remove(gone);
    PageToolsDialog* dialog = toolsDialog(window);
    const QString target = dir.filePath("merged.pdf");
    ToolPrompts prompts;
    prompt::answerSaveDialog(prompts, target);
    QString notice;
    prompt::answerNoting(prompts, "OK", &notice);
    apply(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(!toolsDialog(window), kToolWorkMs);
    const QStringList lines = notice.split('\n');
    QCOMPARE(lines.value(0), QStringLiteral("Ошибки объединения|Не удалось добавить:"));
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[1].startsWith("gs-image.pdf: ") && lines[1].size() > 14);
    QVERIFY(lines[2].startsWith("broken.pdf: ") && lines[2].size() > 12);
    QCOMPARE(pdftools::pageCount(target), 2);
}

void PageToolsTest::mergeTakesWorkbooks_data()
{
    QTest::addColumn<bool>("imported");
    QTest::addColumn<int>("pages");
    QTest::newRow("workbook imported between two files") << true << 4;
    QTest::newRow("workbook's import cancelled: left out, no failure") << false << 2;
}

// A workbook in the list goes through its import dialog and lands in list order.
void PageToolsTest::mergeTakesWorkbooks()
{
    QFETCH(bool, imported);
    QFETCH(int, pages);
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    const QString first = copyFixture(dir, "gs-helvetica.pdf");
    const QString sheet = copyFixture(dir, "xlsx/lo-rows100.xlsx", "rows.xlsx");
    const QString last = copyFixture(dir, "tex-type1.pdf");
    window.showPageToolsDialog({first, sheet, last}, false);
    PageToolsDialog* dialog = toolsDialog(window);
    const QString target = dir.filePath("merged.pdf");
    ToolPrompts prompts;
    prompt::answerSaveDialog(prompts, target);
    prompts.whenShown([imported](QDialog* shown) {
        QPushButton* import = prompt::buttonWithText(shown, QStringLiteral("Импортировать"));
        if (imported && import)
            import->click();
        else
            shown->reject();
    });
    apply(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(!toolsDialog(window), kToolWorkMs);
    QCOMPARE(prompts.pending(), 0);
    QCOMPARE(pdftools::pageCount(target), pages);
    const QStringList texts = pageTexts(target);
    QCOMPARE(texts.value(0), pageTexts(first).value(0));
    QCOMPARE(texts.value(pages - 1), pageTexts(last).value(0));
}

void PageToolsTest::mergeOfNothingWritesNothing()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    const QString a = writeFixture(dir, "a.pdf", "not a pdf");
    const QString b = writeFixture(dir, "b.pdf", "%PDF-1.4 nor this");
    window.showPageToolsDialog({a}, false);
    PageToolsDialog* dialog = toolsDialog(window);
    ToolPrompts prompts;
    QString notice;
    prompt::answerNoting(prompts, "OK", &notice);
    apply(dialog);
    QCOMPARE(notice, QStringLiteral("Объединение|Добавьте PDF для объединения"));

    QVERIFY(dialog->addMergeFile(b));
    const QString target = dir.filePath("merged.pdf");
    prompt::answerSaveDialog(prompts, target);
    prompt::answerNoting(prompts, "OK", &notice);
    QString failure;
    prompt::answerNoting(prompts, "OK", &failure);
    apply(dialog);
    QVERIFY(notice.startsWith("Ошибки объединения|"));
    QCOMPARE(failure, QStringLiteral("Ошибка|Не удалось сформировать PDF."));
    QVERIFY(!QFileInfo::exists(target));
    QVERIFY(toolsDialog(window));
}

void PageToolsTest::mergeSavesChangedSourceFirst_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("mergedPages");  // -1: nothing written

    QTest::newRow("saved, then merged") << "Сохранить" << 2;
    QTest::newRow("declined") << "Отмена" << -1;
}

// A changed document open here is merged as the user sees it, or not at all.
void PageToolsTest::mergeSavesChangedSourceFirst()
{
    QFETCH(QString, answer);
    QFETCH(int, mergedPages);
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    showSmall(window);
    const QString open = copyFixture(dir, "groff-columns.pdf");
    window.openFile(open);
    window.currentDocument()->deletePage(1);
    window.updateTitle();
    window.showPageToolsDialog({open, fixture("gs-helvetica.pdf")}, false);
    PageToolsDialog* dialog = toolsDialog(window);
    const QString target = dir.filePath("merged.pdf");
    ToolPrompts prompts;
    QString question;
    prompt::answerNoting(prompts, answer, &question);
    prompt::answerSaveDialog(prompts, target);
    apply(dialog);
    QVERIFY2(question.startsWith("Объединение|Документ «groff-columns.pdf» изменён"), qPrintable(question));
    if (mergedPages < 0) {
        QVERIFY(!QFileInfo::exists(target));
        QCOMPARE(pdftools::pageCount(open), 2);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(!toolsDialog(window), kToolWorkMs);
    QCOMPARE(pdftools::pageCount(open), 1);
    QCOMPARE(pdftools::pageCount(target), mergedPages);
}

void PageToolsTest::shellModeIsApplicationModal()
{
    MainWindow window(AppProduct::editor);
    window.showPageToolsDialog({fixture("groff-columns.pdf"), fixture("gs-image.pdf")}, true);
    PageToolsDialog* dialog = toolsDialog(window);
    QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);
    QVERIFY(dialog->findChild<QCheckBox*>(QStringLiteral("ScanCheckBox")));
    dialogButtonNamed(dialog, "Отмена")->click();
    QCOMPARE(m_quits, 1);

    // With the window shown the application goes on.
    showSmall(window);
    window.showPageToolsDialog({}, true);
    dialogButtonNamed(toolsDialog(window), "Отмена")->click();
    QCOMPARE(m_quits, 1);
}

// The file manager's merge: the supported files, each once, in shell mode.
void PageToolsTest::fileManagerMergeOpensShellTools()
{
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    const QString a = copyFixture(dir, "groff-columns.pdf");
    const QString b = copyFixture(dir, "gs-helvetica.pdf");
    const QString text = writeFixture(dir, "notes.docx", "not mergeable");
    window.runShellAction(QStringLiteral("merge"), {a, text, b, a}, true);
    QTRY_VERIFY(toolsDialog(window));
    PageToolsDialog* dialog = toolsDialog(window);
    QVERIFY(dialog->shellMode());
    QCOMPARE(dialog->currentTab(), PageToolsDialog::MergeTab);
    QCOMPARE(dialog->mergePaths(), QStringList({a, b}));
    dialog->reject();
    QCOMPARE(m_quits, 1);
}

// Opened by the file manager's merge no document is open: extracting or
// inserting says so and leaves the dialog (and the run) as it was.
void PageToolsTest::shellToolsWithoutDocumentSayWhy_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("notice");
    QTest::newRow("extraction") << int(PageToolsDialog::ExtractTab) << "Извлечение|Нет открытого документа.";
    QTest::newRow("insertion") << int(PageToolsDialog::InsertTab) << "Вставка|Нет открытого документа.";
}

void PageToolsTest::shellToolsWithoutDocumentSayWhy()
{
    QFETCH(int, tab);
    QFETCH(QString, notice);
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    const QString a = copyFixture(dir, "groff-columns.pdf");
    const QString b = copyFixture(dir, "gs-helvetica.pdf");
    window.runShellAction(QStringLiteral("merge"), {a, b}, true);
    QTRY_VERIFY(toolsDialog(window));
    PageToolsDialog* dialog = toolsDialog(window);
    dialog->findChild<QTabWidget*>(QStringLiteral("DialogTabs"))->setCurrentIndex(tab);
    ToolPrompts prompts;
    QString told;
    prompt::answerNoting(prompts, "OK", &told);
    apply(dialog);
    QCOMPARE(told, notice);
    QVERIFY(dialog->isVisible());
    QCOMPARE(m_quits, 0);
    QCOMPARE(fixtures::filesIn(dir.path()), QStringList({"groff-columns.pdf", "gs-helvetica.pdf"}));
    dialog->reject();
    QCOMPARE(m_quits, 1);
}

void PageToolsTest::shellMergeQuitsUnlessResultOpened_data()
{
    QTest::addColumn<bool>("openResult");
    QTest::newRow("result not opened") << false;
    QTest::newRow("result opened") << true;
}

void PageToolsTest::shellMergeQuitsUnlessResultOpened()
{
    QFETCH(bool, openResult);
    MainWindow window(AppProduct::editor);
    QTemporaryDir dir;
    const QString a = copyFixture(dir, "groff-columns.pdf");
    const QString b = copyFixture(dir, "gs-helvetica.pdf");
    window.showPageToolsDialog({a, b}, true);
    PageToolsDialog* dialog = toolsDialog(window);
    dialog->findChild<QCheckBox*>(QStringLiteral("ScanCheckBox"))->setChecked(openResult);
    const QString target = dir.filePath("merged.pdf");
    ToolPrompts prompts;
    prompt::answerSaveDialog(prompts, target);
    apply(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(!toolsDialog(window), kToolWorkMs);
    QCOMPARE(pdftools::pageCount(target), 3);
    QCOMPARE(m_quits, openResult ? 0 : 1);
    QCOMPARE(window.isVisible(), openResult);
    QCOMPARE(tabTexts(window), openResult ? QStringList{"merged.pdf"} : QStringList{});
}

QTEST_MAIN(PageToolsTest)
#include "tst_pagetools.moc"
