// The page's own text layer in the window, through keys and typing, each case
// ending in the saved file; and an image block's picture in the picture editor.
#include "CanvasWidget.h"
#include "Document.h"
#include "FacsimileEditorDialog.h"
#include "FacsimilePaintHost.h"
#include "Layer.h"
#include "OcrWindowSupport.h"
#include "WindowTestSupport.h"

#include "PdfTools.h"
#include "TurnedBox.h"
#include "../view/FrameDrag.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTimer>
#include <QPainter>

using namespace windowtest;
using namespace ocrwindow;

namespace {

TextBlock strayBlock()
{
    TextBlock block;
    block.text = QStringLiteral("stray edit");
    block.rect = block.originalRect = QRectF(72, 300, 100, 16);
    return block;
}

QString writePages(const QTemporaryDir& dir, const QString& name, const QList<fixtures::PageSpec>& pages)
{
    const QString path = dir.filePath(name);
    if (!fixtures::writeFile(path, fixtures::pagesPdf(pages)))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString twoPagePdf(const QTemporaryDir& dir, const QString& name)
{
    fixtures::PageSpec second;
    second.runs << fixtures::TextRun{QStringLiteral("Second page sentence"), 72, 700, 14};
    return writePages(dir, name, {nativePage(), second});
}

// A red heading, black lines and a blue stamp drawn as a path.
fixtures::PageSpec stampedPage(int number)
{
    fixtures::PageSpec page;
    page.runs << fixtures::TextRun{QStringLiteral("RED HEADING %1").arg(number), 72, 780, 20, Qt::red}
              << fixtures::TextRun{QStringLiteral("Black body line one"), 72, 700, 14}
              << fixtures::TextRun{QStringLiteral("Black body line two"), 72, 600, 14};
    page.extraContent = QStringLiteral("q 0 0 1 RG 3 w 400 500 m 500 500 l 500 560 l 400 560 l h S Q");
    return page;
}

QString stampedPdf(const QTemporaryDir& dir, const QString& name, int pages)
{
    QList<fixtures::PageSpec> specs;
    for (int i = 0; i < pages; ++i)
        specs << stampedPage(i + 1);
    return writePages(dir, name, specs);
}

// Left half red, right half blue.
void paintHalves(QImage& image)
{
    image.fill(Qt::blue);
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, image.width() / 2, image.height()), Qt::red);
}

bool reddish(QRgb p)
{
    return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60;
}

bool bluish(QRgb p)
{
    return qBlue(p) > 200 && qRed(p) < 60 && qGreen(p) < 60;
}

bool isPaper(QRgb p)
{
    return qRed(p) > 235 && qGreen(p) > 235 && qBlue(p) > 235;
}

// Share of the read-mode ink (text, stamp) that edit mode shows as paper.
double lostInk(const QImage& read, const QImage& edit)
{
    qint64 ink = 0;
    qint64 lost = 0;
    for (int y = 0; y < read.height(); ++y) {
        for (int x = 0; x < read.width(); ++x) {
            if (isPaper(read.pixel(x, y)))
                continue;
            ++ink;
            lost += isPaper(edit.pixel(x, y)) ? 1 : 0;
        }
    }
    return ink > 0 ? double(lost) / ink : 1.0;
}

} // namespace

class TextLayerWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void cleanup()
    {
        PromptAnswers discard(QStringLiteral("Не сохранять"));
        m_window.reset();
    }

    void editsReachTheFileWhateverReplacesThem_data();
    void editsReachTheFileWhateverReplacesThem();
    void failedWriteKeepsTheBlocks_data();
    void failedWriteKeepsTheBlocks();
    void slowCheckKeepsTheWindowRunning_data();
    void slowCheckKeepsTheWindowRunning();
    void editModeShowsEveryTextReadModeShows_data();
    void editModeShowsEveryTextReadModeShows();
    void revisitedPageIsCachedButNeverStale();
    void undoKeysOfAnOpenLine();
    void undoKeysOfASelectedBlock_data();
    void undoKeysOfASelectedBlock();
    void editedPictureReplacesTheBlock_data();
    void editedPictureReplacesTheBlock();
    void editedPictureReachesThePageAndTheFile_data();
    void editedPictureReachesThePageAndTheFile();
    void turnedPageLineIsEditedAndMoved_data();
    void turnedPageLineIsEditedAndMoved();

private:
    MainWindow& openWindow(const QString& path)
    {
        m_window = std::make_unique<MainWindow>(AppProduct::editor);
        showSmall(*m_window);
        m_window->openFile(path);
        view(*m_window)->setViewMode(PdfView::SinglePage);
        return *m_window;
    }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        keyOnWindow(m_window.get(), key, modifiers);
    }
    QImage grabPage()
    {
        QApplication::processEvents();
        return view(*m_window)->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
};

enum Replacement { PageChange, BlockOnOtherPage, EditModeOffAndOn, EveryBlockDeleted };

void TextLayerWindowTest::editsReachTheFileWhateverReplacesThem_data()
{
    QTest::addColumn<int>("replacement");
    QTest::addColumn<int>("page");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    QTest::newRow("page change") << int(PageChange) << 0 << QStringList{"Rewritten line"}
                                 << QStringList{"First paragraph line"};
    QTest::newRow("block on another page") << int(BlockOnOtherPage) << 0 << QStringList{"Rewritten line"}
                                           << QStringList{"First paragraph line"};
    QTest::newRow("edit mode off and on") << int(EditModeOffAndOn) << 0 << QStringList{"Rewritten line"}
                                          << QStringList{"First paragraph line"};
    // Deleted blocks leave the page: the searchable words and the visible line alike.
    QTest::newRow("every block deleted") << int(EveryBlockDeleted) << 1 << QStringList()
                                         << QStringList{"hidden words", "Second page sentence"};
}

void TextLayerWindowTest::editsReachTheFileWhateverReplacesThem()
{
    QFETCH(int, replacement);
    QFETCH(int, page);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    const QString path = twoPagePdf(m_dir, QStringLiteral("edits.pdf"));
    {
        // An invisible layer on the second page, as an earlier recognition leaves.
        PdfDocument doc;
        QVERIFY(doc.open(path));
        TextBlock hidden = strayBlock();
        hidden.text = QStringLiteral("hidden words");
        hidden.lines = {TextBlock::Line{}};
        hidden.lines[0].text = hidden.text;
        hidden.lines[0].rect = hidden.rect;
        QVERIFY(doc.overlayOcrText(1, {hidden}, false));
        QVERIFY(doc.save(path));
    }
    MainWindow& window = openWindow(path);
    PdfView* pdfView = view(window);
    key(Qt::Key_F2);
    switch (Replacement(replacement)) {
    case PageChange:
        retypeBlock(*pdfView, blockContaining(*pdfView, QStringLiteral("First paragraph")), QStringLiteral("Rewritten line"));
        QTest::keyClick(pdfView, Qt::Key_PageDown);
        break;
    case BlockOnOtherPage:
        retypeBlock(*pdfView, blockContaining(*pdfView, QStringLiteral("First paragraph")), QStringLiteral("Rewritten line"));
        pdfView->appendEditableTextBlock(1, QRectF(50, 50, 150, 20), QStringLiteral("New note"), QString(), 12, Qt::black);
        QCOMPARE(blockTexts(*pdfView), QStringList{"New note"});
        break;
    case EditModeOffAndOn:
        retypeBlock(*pdfView, blockContaining(*pdfView, QStringLiteral("First paragraph")), QStringLiteral("Rewritten line"));
        key(Qt::Key_F2);
        key(Qt::Key_F2);
        QCOMPARE(blockTexts(*pdfView).value(2), QStringLiteral("Rewritten line"));  // the changed blocks stayed
        break;
    case EveryBlockDeleted:
        QTest::keyClick(pdfView, Qt::Key_PageDown);
        QTRY_COMPARE(pdfView->blockPage(), 1);
        for (int i = 0; i < int(pdfView->blocks().size()); ++i)
            pdfView->selectOcrBlock(i, true);
        QTest::keyClick(pdfView, Qt::Key_Delete);
        QVERIFY(!pdfView->hasOcrBlocks());
        break;
    }
    PromptAnswers noWarnings;
    key(Qt::Key_S, Qt::ControlModifier);
    QVERIFY2(noWarnings.seen.isEmpty(), qPrintable(noWarnings.seen.join('\n')));
    QVERIFY(!window.windowTitle().contains(QLatin1Char('*')));

    const QString text = savedText(path, page);
    for (const QString& word : present)
        QVERIFY2(text.contains(word), qPrintable(text));
    for (const QString& word : absent)
        QVERIFY2(!text.contains(word), qPrintable(text));
    if (!present.isEmpty())
        QVERIFY(savedPageText(path, page).contains(present.first()));
}

// Blocks of a page the document does not have cannot be written: the
// warning says so and the blocks stay, on a page change and a tab switch.
void TextLayerWindowTest::failedWriteKeepsTheBlocks_data()
{
    QTest::addColumn<bool>("tabSwitch");
    QTest::newRow("page change") << false;
    QTest::newRow("tab switch") << true;
}

void TextLayerWindowTest::failedWriteKeepsTheBlocks()
{
    QFETCH(bool, tabSwitch);
    const QString firstPath = twoPagePdf(m_dir, QStringLiteral("first.pdf"));
    MainWindow& window = openWindow(firstPath);
    window.openFile(twoPagePdf(m_dir, QStringLiteral("second.pdf")));
    PdfDocument* second = window.currentDocument();
    PdfView* pdfView = view(window);
    pdfView->setViewMode(PdfView::SinglePage);
    pdfView->setOcrBlocks({strayBlock()}, 7, true);
    {
        PromptAnswers warnings;
        if (tabSwitch)
            tabs(window)->setCurrentIndex(0);
        else
            QTest::keyClick(pdfView, Qt::Key_PageDown);
        QCOMPARE(warnings.seen.size(), 1);
        QVERIFY(warnings.seen[0].startsWith(QStringLiteral("Ошибка|Не удалось определить страницу текстовых правок.")));
    }
    QCOMPARE(window.currentDocument(), second);
    QCOMPARE(blockTexts(*pdfView), QStringList{"stray edit"});
    QVERIFY(pdfView->blocksDirty());
    QVERIFY(window.windowTitle().contains(QLatin1Char('*')));
}

// The check after an edit renders the page with poppler: while a slow
// render runs, the window's timers go on firing (it stays painted), and the
// check waits for it however late it ends: the edit goes through.
void TextLayerWindowTest::slowCheckKeepsTheWindowRunning_data()
{
    QTest::addColumn<double>("renderSeconds");
    QTest::newRow("slow render") << 0.8;
    QTest::newRow("render four seconds late") << 4.0;
}

void TextLayerWindowTest::slowCheckKeepsTheWindowRunning()
{
    QFETCH(double, renderSeconds);
    const QString poppler = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    QVERIFY2(!poppler.isEmpty(), "pdftoppm is needed (scripts/setup.sh installs poppler-utils)");
    // A pdftoppm that waits before it renders, and says it ran.
    QTemporaryDir bin;
    const QString marker = bin.filePath(QStringLiteral("ran"));
    QFile script(bin.filePath(QStringLiteral("pdftoppm")));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\ntouch '%1'\nsleep %2\nexec '%3' \"$@\"\n")
                     .arg(marker, QString::number(renderSeconds), poppler)
                     .toUtf8());
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ':' + path);
    const auto restorePath = qScopeGuard([&path] { qputenv("PATH", path); });

    const QString file = twoPagePdf(m_dir, QStringLiteral("slow-%1.pdf").arg(QTest::currentDataTag()));
    MainWindow& window = openWindow(file);
    PdfView* pdfView = view(window);
    key(Qt::Key_F2);
    retypeBlock(*pdfView, blockContaining(*pdfView, QStringLiteral("First paragraph")), QStringLiteral("Rewritten line"));

    // The timer fires while the write waits: the window's events go on.
    int fired = 0;
    QTimer ticks;
    ticks.setInterval(20);
    connect(&ticks, &QTimer::timeout, [&fired] { ++fired; });
    PromptAnswers warnings;
    ticks.start();
    QTest::keyClick(pdfView, Qt::Key_PageDown);
    ticks.stop();

    QVERIFY(QFile::exists(marker));
    QVERIFY(fired > 0);
    const QString text = window.currentDocument()->extractAllText(0);
    QVERIFY2(warnings.seen.isEmpty(), qPrintable(warnings.seen.join('\n')));
    QVERIFY(text.contains(QStringLiteral("Rewritten line")));
    QVERIFY(!text.contains(QStringLiteral("First paragraph line")));
    QVERIFY(!pdfView->blocksDirty());
}

// Coloured ink (a red heading, a blue stamp) and the user's saved edits stay
// visible in edit mode, and the red heading stays editable text.
void TextLayerWindowTest::editModeShowsEveryTextReadModeShows_data()
{
    QTest::addColumn<bool>("savedEdit");
    QTest::newRow("red heading and stamp") << false;
    QTest::newRow("saved edit on a stamped page") << true;
}

void TextLayerWindowTest::editModeShowsEveryTextReadModeShows()
{
    QFETCH(bool, savedEdit);
    const QString path = stampedPdf(m_dir, QStringLiteral("stamped.pdf"), 1);
    MainWindow& window = openWindow(path);
    PdfView* pdfView = view(window);
    if (savedEdit) {
        key(Qt::Key_F2);
        retypeBlock(*pdfView, blockContaining(*pdfView, QStringLiteral("line one")), QStringLiteral("Edited body line"));
        key(Qt::Key_S, Qt::ControlModifier);
        key(Qt::Key_F2);
    }
    QVERIFY(!pdfView->editMode());
    const QImage read = grabPage();
    key(Qt::Key_F2);
    QVERIFY(pdfView->editMode());
    const QImage edit = grabPage();
    const double lost = lostInk(read, edit);
    QVERIFY2(lost < 0.02, qPrintable(QString::number(lost)));
    QVERIFY(blockContaining(*pdfView, QStringLiteral("RED HEADING")) >= 0);

    key(Qt::Key_S, Qt::ControlModifier);
    const QString text = savedText(path, 0);
    QVERIFY(text.contains(QStringLiteral("RED HEADING 1")));
    QCOMPARE(text.contains(QStringLiteral("Edited body line")), savedEdit);
    QVERIFY(text.contains(QStringLiteral("Black body line two")));
}

// In edit mode the first visit of a stamped page extracts its text and
// images; coming back takes them from the cache, unless the page was written
// meanwhile (Ctrl+S in edit mode). In read mode a page change reads no text
// layer at all.
void TextLayerWindowTest::revisitedPageIsCachedButNeverStale()
{
    const QString path = stampedPdf(m_dir, QStringLiteral("cache.pdf"), 3);
    MainWindow& window = openWindow(path);
    PdfView* pdfView = view(window);
    key(Qt::Key_F2);
    const auto timedPageDown = [pdfView] {
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(pdfView, Qt::Key_PageDown);
        return timer.nsecsElapsed();
    };
    const qint64 firstVisit = timedPageDown();
    qint64 revisit = std::numeric_limits<qint64>::max();
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(pdfView, Qt::Key_PageUp);
        revisit = std::min(revisit, timedPageDown());
    }
    QVERIFY2(revisit * 3 < firstVisit, qPrintable(QStringLiteral("%1 / %2 ns").arg(revisit).arg(firstVisit)));

    retypeBlock(*pdfView, blockContaining(*pdfView, QStringLiteral("line two")), QStringLiteral("Fresh words"));
    key(Qt::Key_S, Qt::ControlModifier);  // the blocks stay shown, clean
    QVERIFY(!window.currentDocument()->isModified());
    QVERIFY(!pdfView->blocksDirty());
    QVERIFY(blockTexts(*pdfView).contains(QStringLiteral("Fresh words")));
    QTest::keyClick(pdfView, Qt::Key_PageUp);
    QTest::keyClick(pdfView, Qt::Key_PageDown);
    QCOMPARE(pdfView->blockPage(), 1);
    QVERIFY2(blockTexts(*pdfView).contains(QStringLiteral("Fresh words")), qPrintable(blockTexts(*pdfView).join('|')));
    key(Qt::Key_F2);
    QTest::keyClick(pdfView, Qt::Key_PageDown);
    QVERIFY(!pdfView->hasOcrBlocks());
    QVERIFY(savedText(path, 1).contains(QStringLiteral("Fresh words")));
}

// The window's undo keys on an open line of a ghostscript letter: with
// nothing typed they change nothing and leave the title unmarked; after
// typing Ctrl+Z takes the typing back, once; Ctrl+Shift+Z and Ctrl+Y bring it
// again, the Home tab's arrows following; the saved page holds the line once.
void TextLayerWindowTest::undoKeysOfAnOpenLine()
{
    const QString path = m_dir.filePath(QStringLiteral("letter.pdf"));
    QVERIFY(fixtures::writeFile(path, fixtures::readFile(fixtures::realPdf(QStringLiteral("gs-letter.pdf")))));
    MainWindow& window = openWindow(path);
    showActive(window);
    PdfView* pdfView = view(window);
    key(Qt::Key_F2);
    const QString line = QStringLiteral("Директор И. П. Сидоров");
    const int index = blockContaining(*pdfView, line);
    QVERIFY(index >= 0);
    QTest::mouseClick(pdfView->viewport(), Qt::LeftButton, {}, pdfView->ocrBlockScreenRect(index).center());
    QTRY_VERIFY(pdfView->hasActiveTextEditor());
    QToolButton* undoArrow = homeButton(window, QStringLiteral("Отменить"));
    QToolButton* redoArrow = homeButton(window, QStringLiteral("Повторить"));
    QVERIFY(undoArrow && redoArrow);
    const auto press = [](int key, Qt::KeyboardModifiers modifiers) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
    };
    const auto text = [&] { return pdfView->ocrBlocksWithEdits()[size_t(index)].text; };

    press(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(text(), line);
    QVERIFY(!window.windowTitle().contains(QLatin1Char('*')));
    QVERIFY(!undoArrow->isEnabled());

    press(Qt::Key_End, Qt::NoModifier);
    for (const QChar c : QStringLiteral(", юрист")) {
        QKeyEvent letter(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(QApplication::focusWidget(), &letter);
    }
    QVERIFY(window.windowTitle().contains(QLatin1Char('*')));
    QVERIFY(undoArrow->isEnabled());
    press(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(text(), line);
    QVERIFY(redoArrow->isEnabled());
    press(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(text(), line);
    press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(text(), line + QStringLiteral(", юрист"));
    undoArrow->click();
    QCOMPARE(text(), line);
    press(Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(text(), line + QStringLiteral(", юрист"));

    PromptAnswers noWarnings;
    key(Qt::Key_S, Qt::ControlModifier);
    QVERIFY2(noWarnings.seen.isEmpty(), qPrintable(noWarnings.seen.join('\n')));
    const QString saved = savedPageText(path, 0);
    QCOMPARE(saved.count(QStringLiteral("Сидоров, юрист")), 1);
    QCOMPARE(saved.count(QStringLiteral("Сидоров")), 1);
}

void TextLayerWindowTest::undoKeysOfASelectedBlock_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("line");
    QTest::newRow("ghostscript letter") << "gs-letter.pdf" << "Директор И. П. Сидоров";
    QTest::newRow("LibreOffice letter") << "libreoffice-letter.pdf" << "Директор И. П. Сидоров";
}

// The undo keys with a block selected and its editor closed: Ctrl+Z with
// nothing done changes nothing and leaves the title unmarked; after Delete it
// brings the block back, and Ctrl+Shift+Z and Ctrl+Y each remove it again;
// the saved page no longer has the line.
void TextLayerWindowTest::undoKeysOfASelectedBlock()
{
    QFETCH(QString, file);
    QFETCH(QString, line);
    const QString path = m_dir.filePath(QStringLiteral("selected-") + file);
    QVERIFY(fixtures::writeFile(path, fixtures::readFile(fixtures::realPdf(file))));
    QVERIFY(savedPageText(path, 0).contains(line));
    MainWindow& window = openWindow(path);
    showActive(window);
    PdfView* pdfView = view(window);
    key(Qt::Key_F2);
    const int index = blockContaining(*pdfView, line);
    QVERIFY(index >= 0);
    const int blocks = int(pdfView->blocks().size());
    QTest::mouseClick(pdfView->viewport(), Qt::LeftButton, {}, pdfView->ocrBlockScreenRect(index).center());
    QTRY_VERIFY(pdfView->hasActiveTextEditor());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!pdfView->hasActiveTextEditor());
    QCOMPARE(pdfView->selectedOcrBlocks(), QSet<int>{index});
    const auto press = [](int key, Qt::KeyboardModifiers modifiers) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
    };
    const auto shown = [&] { return blockContaining(*pdfView, line) >= 0; };

    for (const Qt::KeyboardModifiers undoOrRedo : {Qt::KeyboardModifiers(Qt::ControlModifier),
                                                   Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier)}) {
        press(Qt::Key_Z, undoOrRedo);
        QVERIFY(shown());
        QCOMPARE(int(pdfView->blocks().size()), blocks);
        QVERIFY(!pdfView->blocksDirty());
        QVERIFY(!window.windowTitle().contains(QLatin1Char('*')));
    }

    press(Qt::Key_Delete, Qt::NoModifier);
    QVERIFY(!shown());
    QVERIFY(window.windowTitle().contains(QLatin1Char('*')));
    press(Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(shown());
    QCOMPARE(int(pdfView->blocks().size()), blocks);
    press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(!shown());
    press(Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(shown());
    press(Qt::Key_Y, Qt::ControlModifier);
    QVERIFY(!shown());
    QCOMPARE(int(pdfView->blocks().size()), blocks - 1);

    PromptAnswers noWarnings;
    key(Qt::Key_S, Qt::ControlModifier);
    QVERIFY2(noWarnings.seen.isEmpty(), qPrintable(noWarnings.seen.join('\n')));
    QVERIFY(!window.windowTitle().contains(QLatin1Char('*')));
    const QString saved = savedPageText(path, 0);
    QVERIFY(!saved.isEmpty());
    QVERIFY2(!saved.contains(QStringLiteral("Сидоров")), qPrintable(saved));
}

void TextLayerWindowTest::editedPictureReplacesTheBlock_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("saved") << true;
    QTest::newRow("cancelled") << false;
}

void TextLayerWindowTest::editedPictureReplacesTheBlock()
{
    QFETCH(bool, accept);
    MainWindow& window = openWindow(twoPagePdf(m_dir, QStringLiteral("picture.pdf")));
    PdfView* pdfView = view(window);
    QImage picture(30, 20, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::white);
    TextBlock block;
    block.isImage = true;
    block.rect = block.originalRect = QRectF(50, 50, 60, 40);
    block.image = picture;
    pdfView->setOcrBlocks({block}, 0, false);
    pdfView->selectOcrBlock(0, false);
    const QString statusBefore = statusText(window);

    bool edited = false;
    QTimer::singleShot(0, &window, [&] {
        auto* dialog = window.findChild<paint::FacsimileEditorDialog*>();
        QVERIFY(dialog);
        edited = true;
        dialog->host()->document()->activeLayer()->image.fill(Qt::red);
        accept ? dialog->accept() : dialog->reject();
    });
    emit pdfView->imageBlockEditRequested(picture);
    QVERIFY(edited);
    QVERIFY(!window.findChild<paint::FacsimileEditorDialog*>());
    QCOMPARE(QColor(pdfView->blocks()[0].image.pixel(5, 5)), accept ? QColor(Qt::red) : QColor(Qt::white));
    QCOMPARE(statusText(window), accept ? QStringLiteral("Изображение обновлено. Сохраните изменения.") : statusBefore);
}

void TextLayerWindowTest::editedPictureReachesThePageAndTheFile_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::newRow("ghostscript picture") << "gs-image.pdf";
    QTest::newRow("ghostscript picture on a page turned by qpdf") << "gs-image-rot90.pdf";
}

// A picture changed in the editor shows on the page at once, and Ctrl+S writes
// it as the one image at the old place, upright.
void TextLayerWindowTest::editedPictureReachesThePageAndTheFile()
{
    QFETCH(QString, fixture);
    const QString path = m_dir.filePath(QStringLiteral("picture-") + fixture);
    QFile::remove(path);
    QVERIFY(QFile::copy(QStringLiteral(VORN_TEST_DATA "/") + fixture, path));
    QFile(path).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    MainWindow& window = openWindow(path);
    PdfView* pdfView = view(window);
    key(Qt::Key_F2);
    const auto pictureBlock = [pdfView] {
        const std::vector<TextBlock>& blocks = pdfView->blocks();
        const auto it = std::find_if(blocks.begin(), blocks.end(), [](const TextBlock& b) { return b.isImage && !b.inkRegion; });
        return it == blocks.end() ? -1 : int(it - blocks.begin());
    };
    QTRY_VERIFY(pictureBlock() >= 0);
    const int index = pictureBlock();
    pdfView->selectOcrBlock(index, false);
    const QSize pictureSize = pdfView->blocks()[size_t(index)].image.size();

    QTimer::singleShot(0, &window, [&] {
        auto* dialog = window.findChild<paint::FacsimileEditorDialog*>();
        QVERIFY(dialog);
        paintHalves(dialog->host()->document()->activeLayer()->image);
        dialog->accept();
    });
    emit pdfView->imageBlockEditRequested(pdfView->blocks()[size_t(index)].image);
    QVERIFY(window.windowTitle().contains(QLatin1Char('*')));

    // Shown at once, over the old picture.
    const QRect shown = pdfView->ocrBlockScreenRect(index);
    const QImage screen = grabPage();
    const QPoint left(shown.left() + shown.width() / 4, shown.center().y());
    const QPoint right(shown.right() - shown.width() / 4, shown.center().y());
    QVERIFY2(reddish(screen.pixel(left)) && bluish(screen.pixel(right)),
             qPrintable(QStringLiteral("%1 %2").arg(QColor(screen.pixel(left)).name(), QColor(screen.pixel(right)).name())));

    PromptAnswers noWarnings;
    key(Qt::Key_S, Qt::ControlModifier);
    QVERIFY2(noWarnings.seen.isEmpty(), qPrintable(noWarnings.seen.join('\n')));
    QVERIFY(!window.windowTitle().contains(QLatin1Char('*')));

    QVERIFY2(pdftools::installed(QStringLiteral("pdfimages")), "poppler-utils (pdfimages) must be installed by scripts/setup.sh");
    QList<QSize> images;
    for (const pdftools::ImageRow& row : pdftools::listImages(path))
        if (row.type == QLatin1String("image"))
            images << QSize(row.width, row.height);
    QCOMPARE(images, QList<QSize>{pictureSize});
    // Read back from outside: the page as poppler draws it, at the block's place.
    constexpr int kDpi = 72;
    const QImage page = pdftools::renderPage(path, 0, kDpi);
    QVERIFY(!page.isNull());
    PdfDocument saved;
    QVERIFY(saved.open(path));
    const std::vector<TextBlock> found = saved.extractImages(0);
    const auto object = std::find_if(found.begin(), found.end(), [](const TextBlock& b) { return !b.inkRegion; });
    QVERIFY(object != found.end());
    const QRectF rect = object->rect;
    const double height = saved.pageSize(0).height();
    const QRectF box(rect.x(), height - rect.y() - rect.height(), rect.width(), rect.height());
    const QPoint pageLeft((box.left() + box.width() / 4), box.center().y());
    const QPoint pageRight((box.right() - box.width() / 4), box.center().y());
    QVERIFY2(reddish(page.pixel(pageLeft)) && bluish(page.pixel(pageRight)),
             qPrintable(QStringLiteral("%1 %2").arg(QColor(page.pixel(pageLeft)).name(), QColor(page.pixel(pageRight)).name())));
}

QTEST_MAIN(TextLayerWindowTest)
#include "tst_textlayerwindow.moc"

void TextLayerWindowTest::turnedPageLineIsEditedAndMoved_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<int>("viewTurn");
    QTest::newRow("/Rotate 90, TeX") << "tex-t2a-names-rot90.pdf" << 0;
    QTest::newRow("/Rotate 90, ghostscript") << "gs-helvetica-rot90.pdf" << 0;
    QTest::newRow("/Rotate 90, pdfTeX manual") << "pdftex-manual-rot90.pdf" << 0;
    QTest::newRow("/Rotate 90, groff") << "groff-columns-rot90.pdf" << 0;
    QTest::newRow("view turned 90") << "tex-t2a-names.pdf" << 90;
    QTest::newRow("view turned 180") << "tex-t2a-names.pdf" << 180;
    QTest::newRow("view turned 270") << "tex-t2a-names.pdf" << 270;
}

// In the window, on a page turned by its /Rotate or by the view: a double
// click selects the word drawn under the pointer, and a line dragged on screen
// is saved by Ctrl+S moved by the same offset, the rest of the page kept.
void TextLayerWindowTest::turnedPageLineIsEditedAndMoved()
{
    QFETCH(QString, fixture);
    QFETCH(int, viewTurn);
    const QString path = m_dir.filePath(QStringLiteral("turned-") + QString::number(viewTurn) + fixture);
    QFile::remove(path);
    QVERIFY(QFile::copy(QStringLiteral(VORN_TEST_DATA "/") + fixture, path));
    QFile(path).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QList<pdftools::WordBox> beforeWords = pdftools::wordBoxes(path, 0);
    const auto fontNames = [&path] {
        QStringList names;
        for (const pdftools::FontRow& font : pdftools::listFonts(path))
            names << font.name;
        names.sort();
        return names;
    };
    const QStringList fontsBefore = fontNames();
    MainWindow& window = openWindow(path);
    window.resize(1400, 1000);
    PdfView* pdfView = view(window);
    for (int turn = 0; turn < viewTurn; turn += 90)
        invoke(window, "onRotateCW");  // read mode: the view turns
    key(Qt::Key_F2);
    QTRY_VERIFY(pdfView->hasOcrBlocks());
    QApplication::processEvents();

    // The longest one-line block with a word of letters the page holds once:
    // a body line among close neighbours.
    const auto once = [&](const QString& text) {
        return std::count_if(beforeWords.begin(), beforeWords.end(),
                             [&](const pdftools::WordBox& w) { return w.text == text; }) == 1;
    };
    int index = -1;
    TextBlock::Line::Word word;
    for (int i = 0; i < int(pdfView->blocks().size()); ++i) {
        const TextBlock& block = pdfView->blocks()[size_t(i)];
        if (block.isImage || block.lines.size() != 1
            || (index >= 0 && block.lines.front().words.size() <= pdfView->blocks()[size_t(index)].lines.front().words.size()))
            continue;
        for (const TextBlock::Line::Word& w : block.lines.front().words)
            if (w.text.size() >= 5 && std::all_of(w.text.begin(), w.text.end(), [](QChar c) { return c.isLetter(); })
                && once(w.text)) {
                index = i;
                word = w;
                break;
            }
    }
    QVERIFY(index >= 0);
    const TextBlock block = pdfView->blocks()[size_t(index)];
    const QPointF drawn = clockwiseTurn(block.rect.center(), block.rotation).map(word.rect.center());
    const double height = pdfView->document()->pageSize(0).height();
    const QPoint at = pdfView->viewportPointForPageTopPoint(0, QPointF(drawn.x(), height - drawn.y()));
    QVERIFY(pdfView->viewport()->rect().contains(at));

    // The user's double click: a press and release open the line, the second
    // press lands on whatever now stands under the pointer.
    QTest::mouseClick(pdfView->viewport(), Qt::LeftButton, {}, at);
    QTRY_VERIFY(pdfView->activeTextEditor());
    QWidget* target = pdfView->viewport()->childAt(at);
    if (!target)
        target = pdfView->viewport();
    QTest::mouseDClick(target, Qt::LeftButton, {}, target->mapFrom(pdfView->viewport(), at));
    QApplication::processEvents();
    QVERIFY(pdfView->activeTextEditor());
    QCOMPARE(pdfView->activeTextEditor()->textCursor().selectedText(), word.text);
    // The open editor's frame stands over the line, not beside it.
    BlockEditorFrame* frame = pdfView->blockEditorFrame();
    QVERIFY(frame && frame->isVisible());
    QCOMPARE(frame->hitTest(frame->mapFrom(pdfView->viewport(), at)), BlockEditorFrame::Inside);

    // A drag on the band just outside the line's text, along its longer side.
    const QPoint band = framedrag::bandOutsideText(frame);
    QCOMPARE(frame->hitTest(band), BlockEditorFrame::Inside);
    const QPoint delta(36, -24);
    framedrag::dragFrame(frame, band, delta, 6);
    QApplication::processEvents();

    PromptAnswers noWarnings;
    key(Qt::Key_S, Qt::ControlModifier);
    QVERIFY2(noWarnings.seen.isEmpty(), qPrintable(noWarnings.seen.join('\n')));
    QVERIFY(!window.windowTitle().contains(QLatin1Char('*')));

    // The page-top offset the drag stands for, through zoom and turns.
    constexpr double kSpan = 100;
    const QPointF o = pdfView->viewportPointForPageTopPoint(0, QPointF(0, 0));
    const QPointF x = (QPointF(pdfView->viewportPointForPageTopPoint(0, QPointF(kSpan, 0))) - o) / kSpan;
    const QPointF y = (QPointF(pdfView->viewportPointForPageTopPoint(0, QPointF(0, kSpan))) - o) / kSpan;
    const QPointF offset = QTransform(x.x(), x.y(), y.x(), y.y(), 0, 0).inverted().map(QPointF(delta));
    // The line only moved: its glyphs are the page's own, no face is added.
    QCOMPARE(fontNames(), fontsBefore);
    const QList<pdftools::WordBox> afterWords = pdftools::wordBoxes(path, 0);
    const auto boxOf = [](const QList<pdftools::WordBox>& words, const QString& text) {
        const auto it = std::find_if(words.begin(), words.end(), [&](const pdftools::WordBox& w) { return w.text == text; });
        return it == words.end() ? QRectF() : it->box;
    };
    const QRectF movedBox = boxOf(afterWords, word.text);
    QVERIFY2(!movedBox.isNull(), qPrintable(word.text + QStringLiteral(" in ") + savedPageText(path, 0)));
    const QPointF moved = movedBox.center() - boxOf(beforeWords, word.text).center();
    constexpr double kMovedSlack = 1.5, kKeptSlack = 0.5;
    QVERIFY2(std::abs(moved.x() - offset.x()) < kMovedSlack && std::abs(moved.y() - offset.y()) < kMovedSlack,
             qPrintable(QStringLiteral("moved by %1,%2 for %3,%4").arg(moved.x()).arg(moved.y()).arg(offset.x()).arg(offset.y())));
    const QStringList lineWords = block.text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const pdftools::WordBox& w : beforeWords) {
        // A piece of the line's words (a TeX logo's raised letter read apart) moved with it.
        const bool ofTheLine = std::any_of(lineWords.begin(), lineWords.end(),
                                           [&](const QString& word) { return word.contains(w.text); });
        if (ofTheLine || !once(w.text) || boxOf(afterWords, w.text).isNull())
            continue;
        const QPointF shift = boxOf(afterWords, w.text).center() - w.box.center();
        QVERIFY2(std::abs(shift.x()) < kKeptSlack && std::abs(shift.y()) < kKeptSlack, qPrintable(w.text));
    }
}
