#include "BlockEditorFrame.h"
#include "FrameDrag.h"
#include "ViewTestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTimer>

using namespace framedrag;
using namespace viewtest;

namespace {

TextBlock imageBlock(const QRectF& rect)
{
    TextBlock block;
    block.isImage = true;
    block.text = QStringLiteral("[image]");
    block.image = QImage(20, 20, QImage::Format_ARGB32_Premultiplied);
    block.image.fill(Qt::blue);
    block.rect = block.originalRect = rect;
    return block;
}

void dragRightHandle(PdfView& view, int dx)
{
    BlockEditorFrame* frame = view.blockEditorFrame();
    dragFrame(frame, centreOf(frame->handleRect(BlockEditorFrame::RightEdge)), QPoint(dx, 0));
}

// Runs the next popup menu: records its enabled entries, then closes it.
struct MenuProbe {
    QStringList enabled;
    void arm()
    {
        QTimer::singleShot(0, [this] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction* action : menu->actions())
                if (action->isEnabled() && !action->isSeparator())
                    enabled << action->text();
            menu->close();
        });
    }
};

} // namespace

class TestPdfViewEditMode : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void frameFollowsTheBlockAndThePointer_data();
    void frameFollowsTheBlockAndThePointer();
    void dragsAndTurnsAreUndoSteps();
    void hundredStepsAreKept();
    void lineSizesShareClusters_data();
    void lineSizesShareClusters();
    void hitTestPrefersImagesAndTurnedOutlines();
    void clicksAndMarqueeSelectAndOpenTheEditor();
    void contextMenuSelectsTheGroup();
    void copyPrefersTextToImages();
    void draggedLineIsSavedWhereItWasDropped_data();
    void draggedLineIsSavedWhereItWasDropped();
    void resizingAThinLineKeepsItsHeight();
    void inlineEditorFollowsScrollingAndTurning();
    void undoBringsADeletedLineBack();
    void clicksOnTheFrameReachTheLineBelow();
    void blocksOfAPageThatWentAway();

private:
    void load(const std::vector<TextBlock>& blocks, double zoom = 1.0, int rotation = 0);
    void loadLines();

    QTemporaryDir m_dir;
    std::unique_ptr<PdfDocument> m_doc;
    std::unique_ptr<PdfView> m_view;
};

void TestPdfViewEditMode::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

void TestPdfViewEditMode::init()
{
    fixtures::PageSpec pageSpec;
    pageSpec.width = 400;
    pageSpec.height = 400;
    m_doc = openPdf(m_dir, QStringLiteral("edit.pdf"), fixtures::pagesPdf({pageSpec}));
    QVERIFY(m_doc);
    m_view = makeView(700, 700);
    QVERIFY(m_view);
    m_view->setDocument(m_doc.get());
}

void TestPdfViewEditMode::cleanup()
{
    m_view.reset();
    m_doc.reset();
}

void TestPdfViewEditMode::load(const std::vector<TextBlock>& blocks, double zoom, int rotation)
{
    m_view->setZoom(zoom);
    m_view->setRotation(rotation);
    m_view->setOcrBlocks(blocks, 0, false);
    m_view->setEditMode(true);
}

void TestPdfViewEditMode::loadLines()
{
    m_doc = openPdf(m_dir, QStringLiteral("lines.pdf"), linesPdf());
    QVERIFY(m_doc);
    m_view->setDocument(m_doc.get());
    load(m_doc->extractText(0));
}

void TestPdfViewEditMode::frameFollowsTheBlockAndThePointer_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<int>("rotation");
    QTest::newRow("half") << 0.5 << 0;
    QTest::newRow("upright") << 1.0 << 0;
    QTest::newRow("double") << 2.0 << 0;
    QTest::newRow("quarter") << 1.0 << 90;
    QTest::newRow("three quarters") << 1.0 << 270;
}

// The frame sits on the block at every zoom and turn, and a picture moves and
// grows on screen exactly as dragged.
void TestPdfViewEditMode::frameFollowsTheBlockAndThePointer()
{
    QFETCH(double, zoom);
    QFETCH(int, rotation);
    load({imageBlock(QRectF(100, 150, 120, 80))}, zoom, rotation);
    m_view->activateOcrBlock(0);
    BlockEditorFrame* frame = m_view->blockEditorFrame();
    QVERIFY(frame && frame->isVisible());
    const QRect before = m_view->ocrBlockScreenRect(0);
    QCOMPARE(frame->contentScreenRect(), before);
    const QSize expected = rotation % 180 ? QSize(80, 120) * zoom : QSize(120, 80) * zoom;
    QVERIFY(std::abs(before.width() - expected.width()) <= 1 && std::abs(before.height() - expected.height()) <= 1);
    dragFrame(frame, frame->mapFromParent(centreOf(before)), QPoint(30, 20));
    QCOMPARE(m_view->ocrBlockScreenRect(0), before.translated(30, 20));

    const QRect moved = m_view->ocrBlockScreenRect(0);
    dragFrame(frame, centreOf(frame->handleRect(BlockEditorFrame::RightEdge)), QPoint(25, 0));
    QCOMPARE(m_view->ocrBlockScreenRect(0), moved.adjusted(0, 0, 25, 0));
    m_view->deactivateOcrBlock();
    QVERIFY(!frame->isVisible());
}

// A drag and a turn by the knob are one step each; undo brings the block and
// the clean state back, a new step empties redo, and the edited signal comes
// on the first change and on every undo and redo.
void TestPdfViewEditMode::dragsAndTurnsAreUndoSteps()
{
    const TextBlock original = textBlock(QStringLiteral("Текст"), QRectF(60, 300, 160, 40));
    QSignalSpy edited(m_view.get(), &PdfView::ocrBlocksEdited);
    load({original});
    QSignalSpy availability(m_view.get(), &PdfView::undoRedoAvailabilityChanged);
    m_view->activateOcrBlock(0);
    dragRightHandle(*m_view, 40);
    dragRightHandle(*m_view, 20);
    QCOMPARE(int(m_view->undoSnapshots().size()), 2);
    QCOMPARE(edited.size(), 1);
    QVERIFY(m_view->blocksDirty());
    const QRectF wider = m_view->blocks()[0].rect;
    QVERIFY(wider.width() > original.rect.width() + 50);

    m_view->undo();
    m_view->undo();
    QCOMPARE(m_view->blocks()[0].rect, original.rect);
    QVERIFY(!m_view->blocksDirty());
    QCOMPARE(edited.size(), 3);
    QCOMPARE(availability.last(), QVariantList({false, true}));
    QCOMPARE(m_view->activeBlock(), 0); // the editor comes back on its block
    m_view->undo(); // nothing left: no change, no signal
    QCOMPARE(edited.size(), 3);
    m_view->redo();
    m_view->redo();
    QCOMPARE(m_view->blocks()[0].rect, wider);
    QVERIFY(m_view->blocksDirty());
    QCOMPARE(availability.last(), QVariantList({true, false}));
    m_view->undo();
    dragRightHandle(*m_view, 10);
    QVERIFY(!m_view->canRedo());

    BlockEditorFrame* frame = m_view->blockEditorFrame();
    const QPoint knob = centreOf(frame->rotationHandleRect());
    const QPoint centre = frame->mapFromParent(frame->contentScreenRect().center());
    dragFrame(frame, knob, QPoint(centre.y() - knob.y(), centre.y() - knob.y()), 6);
    QCOMPARE(int(m_view->undoSnapshots().size()), 3);
    QVERIFY(std::abs(m_view->blocks()[0].rotation - 90.0) < 1.0);

    const int reported = int(edited.size());
    m_view->setOcrBlocks(m_view->blocks(), 0, true);
    QCOMPARE(int(edited.size()), reported + 1);
    QVERIFY(!m_view->canUndo());
}

void TestPdfViewEditMode::hundredStepsAreKept()
{
    load({textBlock(QStringLiteral("Текст"), QRectF(20, 300, 60, 40))});
    m_view->activateOcrBlock(0);
    std::vector<QRectF> after;
    for (int step = 0; step < 101; ++step) {
        dragRightHandle(*m_view, step % 2 ? -2 : 3);
        after.push_back(m_view->blocks()[0].rect);
    }
    QCOMPARE(int(m_view->undoSnapshots().size()), PdfView::kMaxUndoSteps);
    for (int i = 0; i < PdfView::kMaxUndoSteps; ++i)
        m_view->undo();
    QVERIFY(!m_view->canUndo());
    QCOMPARE(m_view->blocks()[0].rect, after.front()); // the first step itself cannot be undone
}

void TestPdfViewEditMode::lineSizesShareClusters_data()
{
    QTest::addColumn<QList<double>>("sizes");
    QTest::addColumn<QList<double>>("shared");
    QTest::newRow("one cluster") << QList<double>{10, 10.4, 14} << QList<double>{10.4, 10.4, 10.4};
    QTest::newRow("big jump splits") << QList<double>{10, 10.4, 16} << QList<double>{10.4, 10.4, 16};
    QTest::newRow("small step does not") << QList<double>{4, 6} << QList<double>{6, 6};
    QTest::newRow("alone") << QList<double>{9} << QList<double>{9};
}

void TestPdfViewEditMode::lineSizesShareClusters()
{
    QFETCH(QList<double>, sizes);
    QFETCH(QList<double>, shared);
    std::vector<TextBlock> blocks;
    for (int i = 0; i < sizes.size(); ++i) {
        // A line box too low to say anything: the size is the line's own.
        TextBlock block = textBlock(QStringLiteral("строка %1").arg(i), QRectF(50, 300 - 20 * i, 100, 1),
                                    float(sizes[i]));
        block.lines[0].fontFamily.clear();
        blocks.push_back(block);
    }
    blocks.push_back(imageBlock(QRectF(10, 10, 20, 20)));
    m_view->setOcrBlocks(blocks, 0, false);
    for (int i = 0; i < sizes.size(); ++i) {
        QCOMPARE(m_view->blocks()[size_t(i)].lines[0].fontSize, float(shared[i]));
        QCOMPARE(m_view->blocks()[size_t(i)].fontSize, float(shared[i]));
    }
}

void TestPdfViewEditMode::hitTestPrefersImagesAndTurnedOutlines()
{
    TextBlock turned = textBlock(QStringLiteral("Повёрнутый"), QRectF(50, 50, 200, 20));
    turned.rotation = 90;
    load({imageBlock(QRectF(50, 300, 100, 60)), textBlock(QStringLiteral("над"), QRectF(40, 290, 150, 80)), turned});
    const QRect image = m_view->ocrBlockScreenRect(0);
    QCOMPARE(m_view->hoveredOcrBlock(centreOf(image)), 0); // the text block drawn above loses
    const QRect box = m_view->ocrBlockScreenRect(2);
    // Turned upright: a point far out on the long side is outside, one above the centre inside.
    QCOMPARE(m_view->hoveredOcrBlock(QPointF(box.left() + 5, box.center().y())), -1);
    QCOMPARE(m_view->hoveredOcrBlock(QPointF(box.center().x(), box.center().y() - 80)), 2);
}

void TestPdfViewEditMode::clicksAndMarqueeSelectAndOpenTheEditor()
{
    load({textBlock(QStringLiteral("первый"), QRectF(50, 300, 120, 30)),
          textBlock(QStringLiteral("второй"), QRectF(50, 200, 120, 30))});
    QSignalSpy available(m_view.get(), &PdfView::activeTextEditorAvailable);
    const QPoint first = centreOf(m_view->ocrBlockScreenRect(0));
    const QPoint second = centreOf(m_view->ocrBlockScreenRect(1));
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, first);
    QCOMPARE(m_view->selectedOcrBlocks(), QSet<int>({0}));
    QCOMPARE(m_view->activeBlock(), 0);
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, Qt::ControlModifier, second);
    QCOMPARE(m_view->selectedOcrBlocks(), QSet<int>({0, 1}));
    QCOMPARE(m_view->activeBlock(), -1);
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, second);
    QCOMPARE(m_view->selectedOcrBlocks(), QSet<int>({1}));
    QCOMPARE(m_view->activeBlock(), 1);
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, QPoint(5, 5)); // empty canvas
    QCOMPARE(m_view->activeBlock(), -1);
    QVERIFY(m_view->selectedOcrBlocks().isEmpty());
    // A marquee around the open block keeps it open; one around nothing closes it.
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, first);
    m_view->selectOcrBlocksInRect(m_view->ocrBlockScreenRect(0).adjusted(-5, -5, 5, 5));
    QCOMPARE(m_view->selectedOcrBlocks(), QSet<int>({0}));
    QCOMPARE(m_view->activeBlock(), 0);
    m_view->selectOcrBlocksInRect(QRect(0, 0, 10, 10));
    QVERIFY(m_view->selectedOcrBlocks().isEmpty());
    QCOMPARE(m_view->activeBlock(), -1);
}

void TestPdfViewEditMode::contextMenuSelectsTheGroup()
{
    m_view->setEditMode(true);
    m_view->showBlocks(0,
                       {textBlock(QStringLiteral("а"), QRectF(50, 300, 80, 30)),
                        textBlock(QStringLiteral("б"), QRectF(150, 300, 80, 30)), imageBlock(QRectF(50, 100, 80, 60))},
                       {4, 4, 0});
    MenuProbe probe;
    probe.arm();
    m_view->showOcrBlockContextMenu(centreOf(m_view->ocrBlockScreenRect(1)), QPoint(100, 100));
    QCOMPARE(m_view->selectedOcrBlocks(), QSet<int>({0, 1}));
    QVERIFY(!probe.enabled.contains("Редактировать"));
    QVERIFY(probe.enabled.contains("Группировать"));

    MenuProbe image;
    image.arm();
    m_view->showOcrBlockContextMenu(centreOf(m_view->ocrBlockScreenRect(2)), QPoint(100, 100));
    QCOMPARE(m_view->selectedOcrBlocks(), QSet<int>({2}));
    QVERIFY(image.enabled.contains("Редактировать"));
    QVERIFY(image.enabled.contains("Распознать текст"));
    QVERIFY(!image.enabled.contains("Группировать"));
}

void TestPdfViewEditMode::copyPrefersTextToImages()
{
    load({imageBlock(QRectF(50, 100, 80, 60)), textBlock(QStringLiteral("  слова  "), QRectF(50, 300, 80, 30))});
    QSignalSpy selected(m_view.get(), &PdfView::textSelected);
    m_view->selectOcrBlock(0, false);
    m_view->selectOcrBlock(1, true);
    m_view->copySelectedOcrBlocksToClipboard();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("слова"));
    QCOMPARE(selected.size(), 1);
    m_view->selectOcrBlock(0, false);
    m_view->copySelectedOcrBlocksToClipboard();
    QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(20, 20));
}

namespace {

// A point of the band around the frame's content (where a press moves the
// box), on its longer side and away from the handles.
QPoint frameBandPoint(const PdfView& view)
{
    const BlockEditorFrame* frame = view.blockEditorFrame();
    const QRect c = frame->contentScreenRect();
    const QPoint band = c.width() >= c.height() ? QPoint(c.left() + c.width() / 4, c.top() - 2)
                                                : QPoint(c.left() - 2, c.top() + c.height() / 4);
    // A block turned on its own has its band turned with it.
    return rotatePoint(QPointF(band), QRectF(c).center(), frame->visualRotationAngle()).toPoint();
}

QRectF wordRect(const std::vector<TextBlock>& blocks, const QString& text)
{
    for (const TextBlock& block : blocks)
        for (const TextBlock::Line& line : block.lines)
            for (const TextBlock::Line::Word& word : line.words)
                if (word.text == text)
                    return word.rect;
    return QRectF();
}

} // namespace

void TestPdfViewEditMode::draggedLineIsSavedWhereItWasDropped_data()
{
    QTest::addColumn<QString>("file"); // a real producer's, or the hand-made lines when empty
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("word");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<int>("rotation");
    const QString second = QStringLiteral("Second line here");
    QTest::newRow("zoom 1") << QString() << second << "Second" << 1.0 << 0;
    QTest::newRow("zoom 2") << QString() << second << "Second" << 2.0 << 0;
    QTest::newRow("turned view") << QString() << second << "Second" << 1.0 << 90;
    QTest::newRow("three quarters at 1.5") << QString() << second << "Second" << 1.5 << 270;
    const QString groff = QStringLiteral("groff-columns.pdf");
    const QString received = QStringLiteral("department. During the year the office received");
    QTest::newRow("groff") << groff << received << "received" << 1.0 << 0;
    QTest::newRow("groff turned view") << groff << received << "received" << 1.0 << 90;
    QTest::newRow("groff turned page") << "groff-columns-rot90.pdf" << received << "received" << 1.0 << 0;
    const QString filled = QStringLiteral("Приёмка выполняется комиссией заказчика по акту.");
    QTest::newRow("LibreOffice turned view") << "libreoffice-heading.pdf" << filled << "комиссией" << 1.0 << 90;
    QTest::newRow("LibreOffice turned back") << "libreoffice-heading.pdf" << filled << "комиссией" << 1.0 << 270;
    QTest::newRow("TeX turned view") << "tex-t2a-names.pdf" << QStringLiteral("Документация к заявке") << "заявке"
                                     << 1.0 << 90;
    QTest::newRow("turned page, turned view") << "tex-t2a-names-rot90.pdf" << QStringLiteral("Документация к заявке")
                                              << "заявке" << 1.0 << 90;
}

// A line opened by a click and dragged 60 px down in six steps by the band
// around it: its words are saved 60 px (at the view's zoom and turn) away.
void TestPdfViewEditMode::draggedLineIsSavedWhereItWasDropped()
{
    QFETCH(QString, file);
    QFETCH(QString, line);
    QFETCH(QString, word);
    QFETCH(double, zoom);
    QFETCH(int, rotation);
    const auto open = [&](const QString& name) {
        return file.isEmpty() ? openPdf(m_dir, name, linesPdf()) : openPdf(m_dir, name, fixtures::readFile(fixtures::realPdf(file)));
    };
    m_doc = open(QStringLiteral("lines.pdf"));
    QVERIFY(m_doc);
    m_view->setDocument(m_doc.get());
    load(m_doc->extractText(0), zoom, rotation);
    // A line only moved keeps its glyphs: the word lands where it stood, moved.
    const QRectF before = wordRect(m_doc->extractText(0), word);
    QVERIFY(hasArea(before));
    const int index = blockWith(*m_view, line);
    const QPoint onText = viewportPointOf(*m_view, 0, m_view->blocks()[size_t(index)].rect.center());
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, onText);
    QCOMPARE(m_view->activeBlock(), index);
    const QPoint from = frameBandPoint(*m_view);
    dragInViewport(*m_view, from, QPoint(0, 60), 6);
    QCOMPARE(int(m_view->undoSnapshots().size()), 1);
    const QPointF moved = m_view->viewToPage(0, from + QPoint(0, 60)) - m_view->viewToPage(0, from);

    const QString saved = saveEdits(*m_view, *m_doc, m_dir, QStringLiteral("moved.pdf"));
    QVERIFY(!saved.isEmpty());
    PdfDocument reopened;
    QVERIFY(reopened.open(saved));
    const QRectF after = wordRect(reopened.extractText(0), word);
    QVERIFY(hasArea(after));
    const QPointF shift(after.left() - before.left(), -(after.bottom() - before.bottom())); // page-top terms
    QVERIFY2(std::abs(shift.x() - moved.x()) <= 1.0 && std::abs(shift.y() - moved.y()) <= 1.0,
             qPrintable(QStringLiteral("moved %1, %2").arg(shift.x() - moved.x()).arg(shift.y() - moved.y())));
    int copies = 0;
    for (const TextBlock& block : reopened.extractText(0))
        copies += int(block.text.count(line));
    QCOMPARE(copies, 1);
}

// The frame shows a thin line at least 16 px high; widening it by its right
// handle changes the width only.
void TestPdfViewEditMode::resizingAThinLineKeepsItsHeight()
{
    load({textBlock(QStringLiteral("тонкая"), QRectF(50, 300, 60, 8), 7)}, 1.0);
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, m_view->ocrBlockScreenRect(0).center());
    QCOMPARE(m_view->activeBlock(), 0);
    BlockEditorFrame* frame = m_view->blockEditorFrame();
    const QPoint handle = frame->mapToParent(centreOf(frame->handleRect(BlockEditorFrame::RightEdge)));
    dragInViewport(*m_view, handle, QPoint(40, 0), 4);
    const QRectF rect = m_view->blocks()[0].rect;
    QVERIFY2(std::abs(rect.height() - 8) < 0.5 && std::abs(rect.y() - 300) < 0.5,
             qPrintable(QStringLiteral("%1 high at %2").arg(rect.height()).arg(rect.y())));
    QVERIFY2(std::abs(rect.width() - 100) <= 1.0, qPrintable(QString::number(rect.width())));
}

void TestPdfViewEditMode::inlineEditorFollowsScrollingAndTurning()
{
    m_view->setZoom(3.0);
    m_view->setEditMode(true);
    const QRectF place(50, 100, 60, 30);
    m_view->showInlineEditor(0, place);
    auto* frame = m_view->viewport()->findChild<QWidget*>(QStringLiteral("InlineEditorFrame"));
    QVERIFY(frame);
    const QPoint start = frame->pos();
    m_view->verticalScrollBar()->setValue(m_view->verticalScrollBar()->value() + 100);
    QCOMPARE(frame->pos(), start - QPoint(0, 100));
    m_view->setZoom(1.5);
    m_view->setRotation(90);
    const QRect shown = m_view->viewportRectForPageTopRect(0, place);
    QVERIFY(std::abs(frame->x() - shown.left()) <= 1 && std::abs(frame->y() - shown.top()) <= 1);
}

void TestPdfViewEditMode::undoBringsADeletedLineBack()
{
    loadLines();
    m_view->selectOcrBlock(blockWith(*m_view, QStringLiteral("Second")), false);
    m_view->setFocus();
    QTest::keyClick(m_view.get(), Qt::Key_Delete);
    QCOMPARE(blockWith(*m_view, QStringLiteral("Second")), -1);
    QCOMPARE(int(m_view->removedPlaces().size()), 1);
    m_view->undo();
    QVERIFY(blockWith(*m_view, QStringLiteral("Second")) >= 0);
    QVERIFY(m_view->removedPlaces().empty());
    QString saved = saveEdits(*m_view, *m_doc, m_dir, QStringLiteral("undone.pdf"));
    QCOMPARE(layoutText(saved).count(QStringLiteral("Second line here")), 1);
    m_view->redo();
    saved = saveEdits(*m_view, *m_doc, m_dir, QStringLiteral("redone.pdf"));
    QVERIFY(!layoutText(saved).contains(QStringLiteral("Second")));
}

// The open line's frame reaches over the line below it: a click there opens
// that line, and a Control+click adds it to the selection.
void TestPdfViewEditMode::clicksOnTheFrameReachTheLineBelow()
{
    loadLines();
    const int alpha = blockWith(*m_view, QStringLiteral("Alpha"));
    const int second = blockWith(*m_view, QStringLiteral("Second"));
    const auto clickAt = [this](const QPoint& at, Qt::KeyboardModifiers modifiers) {
        QWidget* target = m_view->viewport()->childAt(at);
        target = target ? target : m_view->viewport();
        QTest::mouseClick(target, Qt::LeftButton, modifiers, target->mapFrom(m_view->viewport(), at));
    };
    clickAt(m_view->ocrBlockScreenRect(alpha).center(), {});
    QCOMPARE(m_view->activeBlock(), alpha);
    const QRect box = m_view->blockEditorFrame()->contentScreenRect();
    const QPoint below(box.left() + box.width() / 4, box.bottom() + 2);
    QCOMPARE(m_view->hoveredOcrBlockExcept(below, alpha), second);
    clickAt(below, Qt::ControlModifier);
    QCOMPARE(m_view->selectedOcrBlocks(), QSet<int>({alpha, second}));
    clickAt(m_view->ocrBlockScreenRect(alpha).center(), {});
    QCOMPARE(m_view->activeBlock(), alpha);
    clickAt(below, {});
    QCOMPARE(m_view->activeBlock(), second);
}

// Bad input: the page of the shown blocks is deleted while one is open;
// clicks, keys and painting go on without a crash and nothing is written.
void TestPdfViewEditMode::blocksOfAPageThatWentAway()
{
    m_doc = openPdf(m_dir, QStringLiteral("two.pdf"), pagesOfHeights({400, 400}));
    QVERIFY(m_doc);
    m_view->setDocument(m_doc.get());
    m_view->setOcrBlocks(m_doc->extractText(1), 1, false);
    m_view->setEditMode(true);
    m_view->setCurrentPage(1);
    m_view->activateOcrBlock(0);
    QVERIFY(m_view->blockEditorFrame()->isVisible());
    QSignalSpy refused(m_view.get(), &PdfView::actionRefused);
    QVERIFY(m_doc->deletePage(1));
    m_view->invalidatePageCache();
    m_view->repositionBlockEditor(); // as after any scroll or zoom
    QCOMPARE(refused.size(), 1); // told why the block cannot be edited
    const QPoint somewhere(100, 100);
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, somewhere);
    QTest::mouseClick(m_view->viewport(), Qt::RightButton, {}, somewhere);
    for (Qt::Key key : {Qt::Key_Delete, Qt::Key_Tab, Qt::Key_Escape})
        QTest::keyClick(m_view.get(), key);
    QVERIFY(!grabViewport(*m_view).isNull());
    QCOMPARE(m_doc->pageCount(), 1);
}

QTEST_MAIN(TestPdfViewEditMode)
#include "tst_pdfview_editmode.moc"
