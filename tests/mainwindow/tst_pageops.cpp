// Page operations and imports as pages: what each leaves in the document,
// the page it shows, its guards, and that no edit and no page is lost.
#include "OcrWindowSupport.h"
#include "PromptDriver.h"
#include "WindowTestSupport.h"

#include "OpenPdfDialog.h"

#include <QBuffer>
#include <QListWidget>
#include <QMimeData>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>

using namespace windowtest;
using namespace ocrwindow;

namespace {

enum class Op { InsertRibbon, InsertStrip, DeleteRibbon, DeleteStrip, Duplicate, Clear, Move, RotateReading };

// "1", "2", ... for the fixture's "Page N" pages, "" for a blank one.
QStringList pageLabels(PdfDocument* doc)
{
    QStringList labels;
    for (int i = 0; i < doc->pageCount(); ++i)
        labels << doc->extractAllText(i).trimmed().remove(QStringLiteral("Page "));
    return labels;
}

QString writeStampedPdf(const QTemporaryDir& dir, const QString& name, const QStringList& stamps)
{
    return writeFixture(dir, name, fixtures::textPdf(stamps));
}

// A 150 x 300 picture that stands for 72 x 144 points: it records no
// resolution, so it is taken at 150 dpi.
QString writePng(const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("photo.png"));
    QImage picture(150, 300, QImage::Format_RGB32);
    picture.fill(Qt::gray);
    return fixtures::writeFile(path, fixtures::pngWithoutResolution(picture)) ? path : QString();
}

QWidget* ribbonTab(MainWindow& window, const QString& title)
{
    auto* ribbon = window.findChild<QTabWidget*>(QStringLiteral("Ribbon"));
    for (int i = 0; i < ribbon->count(); ++i) {
        if (ribbon->tabText(i) == title)
            return ribbon->widget(i);
    }
    return nullptr;
}

} // namespace

class PageOpsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }
    void cleanup() { m_window.reset(); }

    void operations_data()
    {
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("current");
        QTest::addColumn<Op>("op");
        QTest::addColumn<int>("argument");  // the strip's index, the move's target, the answer's Yes
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("shown");
        QTest::addColumn<bool>("modified");

        const QStringList three{"1", "2", "3"};
        QTest::newRow("insert before current") << 3 << 1 << Op::InsertRibbon << 0 << QStringList{"1", "", "2", "3"} << 1 << true;
        QTest::newRow("insert after last") << 3 << 0 << Op::InsertStrip << 3 << QStringList{"1", "2", "3", ""} << 3 << true;
        QTest::newRow("delete last page") << 3 << 2 << Op::DeleteRibbon << 1 << QStringList{"1", "2"} << 1 << true;
        QTest::newRow("delete answered no") << 3 << 1 << Op::DeleteRibbon << 0 << three << 1 << false;
        QTest::newRow("delete from strip") << 3 << 2 << Op::DeleteStrip << 0 << QStringList{"2", "3"} << 0 << true;
        QTest::newRow("delete the only page") << 1 << 0 << Op::DeleteRibbon << 1 << QStringList{"1"} << 0 << false;
        QTest::newRow("strip delete the only page") << 1 << 0 << Op::DeleteStrip << 0 << QStringList{"1"} << 0 << false;
        QTest::newRow("duplicate first") << 3 << 0 << Op::Duplicate << 0 << QStringList{"1", "1", "2", "3"} << 1 << true;
        QTest::newRow("duplicate last") << 3 << 2 << Op::Duplicate << 0 << QStringList{"1", "2", "3", "3"} << 3 << true;
        QTest::newRow("clear") << 3 << 1 << Op::Clear << 1 << QStringList{"1", "", "3"} << 1 << true;
        QTest::newRow("clear the only page") << 1 << 0 << Op::Clear << 1 << QStringList{""} << 0 << true;
        QTest::newRow("clear answered no") << 3 << 1 << Op::Clear << 0 << three << 1 << false;
        QTest::newRow("move first to last") << 3 << 0 << Op::Move << 2 << QStringList{"2", "3", "1"} << 2 << true;
        QTest::newRow("rotate reading") << 3 << 1 << Op::RotateReading << 0 << three << 1 << false;
    }

    void operations()
    {
        QFETCH(int, pages);
        QFETCH(int, current);
        QFETCH(Op, op);
        QFETCH(int, argument);
        QFETCH(QStringList, expected);
        QFETCH(int, shown);
        QFETCH(bool, modified);

        MainWindow& window = openWindow(pages);
        PdfView* pdfView = view(window);
        pdfView->setCurrentPage(current);
        prompt::Driver prompts;
        const bool asks = (op == Op::DeleteRibbon && pages > 1) || op == Op::Clear;
        if (asks)
            prompts.clickButton(argument ? QStringLiteral("&Yes") : QStringLiteral("&No"));

        switch (op) {
        case Op::InsertRibbon: invoke(window, "onInsertBlankPage"); break;
        case Op::InsertStrip: emit thumbnails(window)->insertPageRequested(argument); break;
        case Op::DeleteRibbon: invoke(window, "onDeleteCurrentPage"); break;
        case Op::DeleteStrip: emit thumbnails(window)->deletePageRequested(argument); break;
        case Op::Duplicate: invoke(window, "onDuplicatePage"); break;
        case Op::Clear: invoke(window, "onClearPage"); break;
        case Op::Move: emit thumbnails(window)->movePageRequested(current, argument); break;
        case Op::RotateReading: invoke(window, "onRotateCW"); break;
        }

        QCOMPARE(prompts.pending(), 0);
        QCOMPARE(pageLabels(window.currentDocument()), expected);
        QCOMPARE(pdfView->currentPage(), shown);
        QCOMPARE(window.currentDocument()->isModified(), modified);
        QCOMPARE(window.windowTitle().contains(QStringLiteral(" *")), modified);
    }

    void clearKeepsTheSizeOfALandscapePage()
    {
        MainWindow& window = openWindow(2);
        PdfDocument* doc = window.currentDocument();
        QVERIFY(doc->insertBlankPage(1, QSizeF(842, 595)));
        view(window)->setCurrentPage(1);
        prompt::Driver prompts;
        prompts.clickButton(QStringLiteral("&Yes"));
        invoke(window, "onClearPage");
        QCOMPARE(doc->pageCount(), 3);
        QCOMPARE(doc->pageSize(1), QSizeF(842, 595));
        QCOMPARE(pageLabels(doc), (QStringList{"1", "", "2"}));
    }

    // The copy's file lives in a folder of its own that goes with the call; a
    // link planted at a fixed name in the temporary folder is never written.
    void duplicateUsesAPrivateFolder()
    {
        QTemporaryDir temp;
        const QString victim = temp.filePath(QStringLiteral("victim.txt"));
        QVERIFY(fixtures::writeFile(victim, "keep"));
        QVERIFY(QFile::link(victim, temp.filePath(QStringLiteral("vorn_dup_tmp.pdf"))));
        const QByteArray oldTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", temp.path().toLocal8Bit());

        MainWindow& window = openWindow(2);
        invoke(window, "onDuplicatePage");
        qputenv("TMPDIR", oldTmp);

        QCOMPARE(pageLabels(window.currentDocument()), (QStringList{"1", "1", "2"}));
        QCOMPARE(QDir(temp.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System),
                 (QStringList{"victim.txt", "vorn_dup_tmp.pdf"}));
        QCOMPARE(fixtures::readFile(victim), QByteArray("keep"));
    }

    void editsAreWrittenBeforeThePagesChange()
    {
        m_window = std::make_unique<MainWindow>(AppProduct::editor);
        showSmall(*m_window);
        m_window->openFile(writeLinesPdf(m_dir, QStringLiteral("lines.pdf"), {700, 700}));
        PdfView* pdfView = view(*m_window);
        m_window->onToggleEditMode();
        QVERIFY(pdfView->hasOcrBlocks());
        retypeBlock(*pdfView, 0, QStringLiteral("Typed before insert"));
        invoke(*m_window, "onInsertBlankPage");
        QCOMPARE(m_window->currentDocument()->pageCount(), 3);
        QVERIFY(m_window->currentDocument()->extractAllText(1).contains(QStringLiteral("Typed before insert")));
    }

    void failedWriteBackLeavesTheDocumentUntouched()
    {
        MainWindow& window = openWindow(3);
        PdfView* pdfView = view(window);
        TextBlock block;
        block.text = QStringLiteral("unwritable");
        block.rect = block.originalRect = QRectF(72, 300, 100, 16);
        pdfView->setOcrBlocks({block}, 7, true);  // a page the document lacks
        ModalCloser closer;
        invoke(window, "onInsertBlankPage");
        emit thumbnails(window)->movePageRequested(0, 2);
        QCOMPARE(closer.seen.size(), 2);
        QCOMPARE(pageLabels(window.currentDocument()), (QStringList{"1", "2", "3"}));
        QCOMPARE(blockTexts(*pdfView), QStringList{"unwritable"});
    }

    void failedOperationIsReported()
    {
        MainWindow& window = openWindow(2);
        QString noted;
        prompt::Driver prompts;
        prompt::answerNoting(prompts, QStringLiteral("OK"), &noted);
        emit thumbnails(window)->movePageRequested(0, 9);
        QVERIFY2(noted.startsWith(QStringLiteral("Ошибка|Не удалось переместить страницу.")), qPrintable(noted));
        QCOMPARE(pageLabels(window.currentDocument()), (QStringList{"1", "2"}));
    }

    void viewerRefusesStripRequests()
    {
        MainWindow& window = openWindow(3, AppProduct::viewer);
        PageThumbnailPanel* strip = thumbnails(window);
        emit strip->insertPageRequested(0);
        emit strip->deletePageRequested(0);
        emit strip->movePageRequested(0, 2);
        invoke(window, "onDuplicatePage");
        QCOMPARE(pageLabels(window.currentDocument()), (QStringList{"1", "2", "3"}));
        QVERIFY(!window.currentDocument()->isModified());
        QCOMPARE(strip->dragDropMode(), QAbstractItemView::NoDragDrop);
    }

    void importPositions_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("position");
        QTest::addColumn<QStringList>("files");  // each file's stamps, ',' between pages
        QTest::addColumn<QStringList>("expected");

        const QStringList xyz{"X,Y,Z"};
        QTest::newRow("end") << 1 << 0 << xyz << QStringList{"1", "2", "3", "4", "5", "X", "Y", "Z"};
        QTest::newRow("after") << 1 << 1 << xyz << QStringList{"1", "2", "X", "Y", "Z", "3", "4", "5"};
        QTest::newRow("before") << 1 << 2 << xyz << QStringList{"1", "X", "Y", "Z", "2", "3", "4", "5"};
        QTest::newRow("after the last page") << 4 << 1 << xyz << QStringList{"1", "2", "3", "4", "5", "X", "Y", "Z"};
        QTest::newRow("several before") << 1 << 2 << QStringList{"X,Y", "Q"}
                                        << QStringList{"1", "Q", "X", "Y", "2", "3", "4", "5"};
        QTest::newRow("several at the end") << 1 << 0 << QStringList{"X,Y", "Q"}
                                            << QStringList{"1", "2", "3", "4", "5", "X", "Y", "Q"};
    }

    void importPositions()
    {
        QFETCH(int, current);
        QFETCH(int, position);
        QFETCH(QStringList, files);
        QFETCH(QStringList, expected);

        MainWindow& window = openWindow(5);
        view(window)->setCurrentPage(current);
        for (int i = 0; i < files.size(); ++i) {
            const QString path = writeStampedPdf(m_dir, QStringLiteral("part%1.pdf").arg(i), files[i].split(','));
            QVERIFY(window.importFile(path, position));
        }
        QCOMPARE(pageLabels(window.currentDocument()), expected);
    }

    void whatAFileBecomes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSizeF>("addedSize");  // empty: nothing imported

        QByteArray png;
        {
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            QImage picture(150, 300, QImage::Format_RGB32);
            picture.fill(Qt::white);
            picture.setDotsPerMeterX(11811);  // 300 x 200 dpi recorded: the page follows them
            picture.setDotsPerMeterY(7874);
            picture.save(&buffer, "PNG");
        }
        const QByteArray pdf = fixtures::textPdf({"X"});
        QTest::newRow("picture named pdf") << "scan.pdf" << png << QSizeF(36, 108);
        QTest::newRow("picture") << "scan.PNG" << png << QSizeF(36, 108);
        QTest::newRow("pdf") << "other.pdf" << pdf << QSizeF(595, 842);
        QTest::newRow("word document") << "letter.docx" << QByteArray("PK\x03\x04 not a pdf") << QSizeF();
        QTest::newRow("truncated pdf") << "cut.pdf" << pdf.left(pdf.size() / 3) << QSizeF();
        QTest::newRow("missing") << "" << QByteArray() << QSizeF();

        const auto picture = [](const char* name) {
            QFile file(QStringLiteral(VORN_TEST_DATA "/pictures/") + QLatin1String(name));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        // Stored lying on its side, shown upright by its EXIF orientation.
        QTest::newRow("turned photo") << "photo.jpg" << picture("photo-exif6.jpg") << QSizeF(57.6, 96);
        QTest::newRow("truncated photo") << "cut.jpg" << picture("photo-truncated.jpg") << QSizeF();
        // A damaged file comes in as its repaired copy; one without pages changes nothing.
        QTest::newRow("damaged pdf") << "damaged.pdf" << fixtures::readFile(fixtures::realPdf("damaged/groff-flipped-a.pdf"))
                                     << QSizeF(595, 842);
        // A page whose sticky note's pop-up names it back comes in; a page
        // whose copy would lose its fonts (its manual's tree lists its
        // resources as a page) does not.
        QTest::newRow("pdf with a sticky note") << "note.pdf" << fixtures::readFile(fixtures::realPdf("qpdf-comment-annotation.pdf"))
                                                << QSizeF(612, 792);
        QTest::newRow("pdf whose copy would lose its fonts")
            << "manual.pdf" << fixtures::readFile(fixtures::realPdf("damaged/tree-resources-kid.pdf")) << QSizeF();
        QTest::newRow("pdf without pages")
            << "empty.pdf"
            << QByteArray("%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
                          "2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj\ntrailer << /Root 1 0 R >>\n%%EOF\n")
            << QSizeF();
    }

    void whatAFileBecomes()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QSizeF, addedSize);

        MainWindow& window = openWindow(2);
        const QString path = m_dir.filePath(name.isEmpty() ? QStringLiteral("gone.pdf") : name);
        if (!name.isEmpty())
            QVERIFY(fixtures::writeFile(path, bytes));
        QString error;
        const bool imported = window.importFile(path, 0, &error);
        PdfDocument* doc = window.currentDocument();
        QCOMPARE(imported, !addedSize.isEmpty());
        QCOMPARE(doc->pageCount(), imported ? 3 : 2);
        QCOMPARE(doc->isModified(), imported);
        if (imported) {
            const QSizeF added = doc->pageSize(2);  // pdfium keeps sizes as floats
            QVERIFY2(qAbs(added.width() - addedSize.width()) < 0.01 && qAbs(added.height() - addedSize.height()) < 0.01,
                     qPrintable(QStringLiteral("%1 x %2").arg(added.width()).arg(added.height())));
        }
        else
            QVERIFY2(!error.isEmpty(), "a failed import says why");
    }

    // A TIFF whose second page is damaged: the failure is reported, and its
    // first page still goes where the pages were asked for.
    void pagesBeforeAFailureGoToThePosition()
    {
        MainWindow& window = openWindow(3);
        view(window)->setCurrentPage(1);
        QString error;
        QVERIFY(!window.importFile(QStringLiteral(VORN_TEST_DATA "/pictures/scan-3pages-broken.tif"), 2, &error));
        QVERIFY2(error.contains(QStringLiteral("Страница 2 из 3")), qPrintable(error));
        PdfDocument* doc = window.currentDocument();
        QCOMPARE(pageLabels(doc), (QStringList{"1", "", "2", "3"}));
        QVERIFY(qAbs(doc->pageSize(1).width() - 48) < 0.01);
    }

    // The new document is an untitled tab, modified and saved nowhere: its
    // first save asks for a name.
    void importIntoAnEmptyWindowMakesAnUntitledTab()
    {
        m_window = std::make_unique<MainWindow>(AppProduct::editor);
        showSmall(*m_window);
        const QString png = writePng(m_dir);

        prompt::Driver prompts;
        prompts.clickButton(QStringLiteral("Да"));
        prompt::chooseFile(prompts, png);
        invoke(*m_window, "showImportDialog");
        QCOMPARE(prompts.pending(), 0);

        PdfDocument* doc = m_window->currentDocument();
        QCOMPARE(doc->pageCount(), 2);
        QCOMPARE(doc->pageSize(0), QSizeF(595, 842));
        QCOMPARE(doc->pageSize(1), QSizeF(72, 144));
        QVERIFY(doc->isModified());
        QVERIFY(doc->filePath().isEmpty());
        QCOMPARE(tabTexts(*m_window).size(), 1);
    }

    void insertTabImportsAtTheChosenPosition()
    {
        MainWindow& window = openWindow(5);
        view(window)->setCurrentPage(1);
        QWidget* tab = ribbonTab(window, QStringLiteral("Вставка"));
        tab->findChild<QComboBox*>(QStringLiteral("RibbonCombo"))->setCurrentIndex(2);
        prompt::Driver prompts;
        prompt::chooseFile(prompts, writeStampedPdf(m_dir, QStringLiteral("xyz.pdf"), {"X", "Y", "Z"}));
        buttonByTip(tab, QStringLiteral("PDF"))->click();
        QCOMPARE(prompts.pending(), 0);
        QCOMPARE(pageLabels(window.currentDocument()), (QStringList{"1", "X", "Y", "Z", "2", "3", "4", "5"}));
        QCOMPARE(statusText(window), QStringLiteral("Импортировано: xyz.pdf"));
    }

    void pageButtonsFollowTheDocument()
    {
        m_window = std::make_unique<MainWindow>(AppProduct::editor);
        QWidget* tab = ribbonTab(*m_window, QStringLiteral("Страницы"));
        QToolButton* insert = buttonByTip(tab, QStringLiteral("Вставить"));
        QToolButton* remove = buttonByTip(tab, QStringLiteral("Удалить"));
        QVERIFY(!insert->isEnabled() && !remove->isEnabled());
        adoptUntitled(*m_window, 1);
        QVERIFY(insert->isEnabled() && !remove->isEnabled());
        insert->click();
        QCOMPARE(m_window->currentDocument()->pageCount(), 2);
        QVERIFY(remove->isEnabled());
    }

    void viewLayoutButtons()
    {
        MainWindow& window = openWindow(3);
        QWidget* tab = ribbonTab(window, QStringLiteral("Вид"));
        QToolButton* single = buttonByTip(tab, QStringLiteral("Одна"));
        QToolButton* strip = buttonByTip(tab, QStringLiteral("Миниатюры"));
        QVERIFY(strip->isChecked());
        single->click();
        QCOMPARE(view(window)->viewMode(), PdfView::SinglePage);
        QVERIFY(!thumbnails(window)->isVisible());
        strip->click();
        QCOMPARE(view(window)->viewMode(), PdfView::Continuous);
        QVERIFY(thumbnails(window)->isVisible());
    }

    void openDialogRows_data()
    {
        QTest::addColumn<bool>("remember");
        QTest::addColumn<bool>("withFile");
        QTest::addColumn<QString>("row");
        QTest::addColumn<bool>("enabled");

        const QString kept = QStringLiteral("a.pdf    ") + QDir(m_dir.path()).absolutePath();
        QTest::newRow("missing skipped") << true << true << kept << true;
        QTest::newRow("none left") << true << false << QStringLiteral("Недавних файлов пока нет") << false;
        QTest::newRow("remembering off") << false << true << QStringLiteral("Недавние файлы отключены в настройках") << false;
    }

    void openDialogRows()
    {
        QFETCH(bool, remember);
        QFETCH(bool, withFile);
        QFETCH(QString, row);
        QFETCH(bool, enabled);

        const QString path = writePdf(m_dir, QStringLiteral("a.pdf"), 1);
        QStringList recent{QStringLiteral("/nonexistent/missing.pdf")};
        if (withFile)
            recent << path;
        QSettings().setValue(QStringLiteral("recentFiles"), recent);
        QSettings().setValue(QStringLiteral("doc/rememberRecent"), remember);
        OpenPdfDialog dialog(nullptr);
        auto* list = dialog.findChild<QListWidget*>(QStringLiteral("RecentFilesList"));
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), row);
        QCOMPARE(bool(list->item(0)->flags() & Qt::ItemIsEnabled), enabled);
        // Missing files stay remembered.
        QCOMPARE(QSettings().value(QStringLiteral("recentFiles")).toStringList(), recent);
    }

    void folderListsItsPdfFiles()
    {
        QTemporaryDir folder;
        for (const char* name : {"b.PDF", "a.pdf", "c.txt"})
            QVERIFY(fixtures::writeFile(folder.filePath(QLatin1String(name)), fixtures::textPdf({"X"})));
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("d.pdf")));
        OpenPdfDialog dialog(nullptr);
        dialog.listFolder(folder.path());
        auto* list = dialog.findChild<QListWidget*>(QStringLiteral("RecentFilesList"));
        QStringList rows;
        for (int i = 0; i < list->count(); ++i)
            rows << list->item(i)->data(Qt::UserRole).toString();
        QCOMPARE(rows, (QStringList{folder.filePath("a.pdf"), folder.filePath("b.PDF")}));
        dialog.listFolder(m_dir.filePath(QStringLiteral("nowhere")));
        QCOMPARE(list->item(0)->text(), QStringLiteral("Недавних файлов пока нет"));
    }

    // Into an empty window: the first PDF added as pages (a new untitled
    // document), the picture appended without a question, the second PDF
    // opened in a tab of its own; a folder and a foreign URL fail on their own.
    void dropsGoOneByOneInOrder()
    {
        m_window = std::make_unique<MainWindow>(AppProduct::editor);
        showSmall(*m_window);
        const QString first = writeStampedPdf(m_dir, QStringLiteral("first.PDF"), {"X", "Y"});
        const QString picture = writePng(m_dir);
        const QString second = writeStampedPdf(m_dir, QStringLiteral("second.pdf"), {"Q"});

        QString noted;
        prompt::Driver prompts;
        prompts.clickButton(QStringLiteral("Добавить как страницы"));
        prompt::answerNoting(prompts, QStringLiteral("OK"), &noted);  // the folder
        prompt::answerNoting(prompts, QStringLiteral("OK"), &noted);  // the foreign URL
        prompts.clickButton(QStringLiteral("Открыть как новый документ"));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(first), QUrl::fromLocalFile(picture), QUrl::fromLocalFile(m_dir.path()),
                      QUrl(QStringLiteral("https://example.org/x.png")), QUrl::fromLocalFile(second)});
        QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        // Straight to the window: without a drag under way the application would not deliver it.
        static_cast<QObject*>(m_window.get())->event(&drop);
        QCOMPARE(prompts.pending(), 0);
        QVERIFY2(noted.startsWith(QStringLiteral("Ошибка импорта|")), qPrintable(noted));

        QCOMPARE(tabTexts(*m_window).size(), 2);
        QCOMPARE(pageLabels(m_window->currentDocument()), QStringList{"Q"});
        tabs(*m_window)->setCurrentIndex(0);
        PdfDocument* built = m_window->currentDocument();
        QCOMPARE(pageLabels(built), (QStringList{"", "X", "Y", ""}));
        QCOMPARE(built->pageSize(3), QSizeF(72, 144));
        QVERIFY(built->filePath().isEmpty());
        QVERIFY(built->isModified());
    }

private:
    MainWindow& openWindow(int pages, AppProduct edition = AppProduct::editor)
    {
        m_window = std::make_unique<MainWindow>(edition);
        showWithPdf(*m_window, m_dir, pages);
        return *m_window;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(PageOpsTest)
#include "tst_pageops.moc"
