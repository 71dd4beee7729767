#include "BlockEditorFrame.h"
#include "FrameDrag.h"
#include "RotatedTextEdit.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <memory>

using namespace framedrag;

namespace {

// A frame on a plain parent, shown, with its content at a known place.
struct Stage {
    std::unique_ptr<QWidget> parent = std::make_unique<QWidget>();
    BlockEditorFrame* frame = new BlockEditorFrame(parent.get());
};

Stage makeStage(const QRect& content)
{
    Stage stage;
    stage.parent->resize(800, 600);
    stage.frame->setContentScreenRect(content);
    stage.parent->show();
    stage.frame->show();
    return stage;
}

} // namespace

class TestBlockEditorFrame : public QObject {
    Q_OBJECT
private slots:
    void turnedFrameCoversItsBox();
    void handlesAreHitAroundTheirSquares_data();
    void handlesAreHitAroundTheirSquares();
    void handleDragResizes_data();
    void handleDragResizes();
    void knobTurnsAboutTheCentre();
    void anglesAreKeptInHalfTurns_data();
    void anglesAreKeptInHalfTurns();
    void clickThroughTurnedTextLandsOnTheGlyph();
    void suppressedEditorStillTakesKeys();
    void turnedImageHandlesAreHitWhereDrawn();
};

// Turned, the frame covers the turned box and its knob; its chrome goes with it.
void TestBlockEditorFrame::turnedFrameCoversItsBox()
{
    Stage stage = makeStage(QRect(100, 120, 200, 60));
    stage.frame->setRotationAngle(90);
    stage.frame->setContentScreenRect(QRect(100, 120, 200, 60));
    QVERIFY(stage.frame->geometry().contains(QRect(170, 50, 60, 200)));
    QCOMPARE(stage.frame->contentScreenRect(), QRect(100, 120, 200, 60));
    QCOMPARE(stage.frame->chromeOverlay()->geometry(), stage.frame->geometry());
    stage.frame->hide();
    QVERIFY(!stage.frame->chromeOverlay()->isVisible());
}

void TestBlockEditorFrame::handlesAreHitAroundTheirSquares_data()
{
    QTest::addColumn<QPoint>("point"); // relative to the content's top-left
    QTest::addColumn<int>("hit");
    QTest::newRow("top-left corner") << QPoint(0, 0) << int(BlockEditorFrame::TopLeft);
    QTest::newRow("just outside top-left") << QPoint(-6, -6) << int(BlockEditorFrame::TopLeft);
    QTest::newRow("right edge middle") << QPoint(199, 30) << int(BlockEditorFrame::RightEdge);
    QTest::newRow("bottom-right") << QPoint(201, 61) << int(BlockEditorFrame::BottomRight);
    QTest::newRow("knob") << QPoint(99, -18) << int(BlockEditorFrame::RotateKnob);
    QTest::newRow("inside") << QPoint(50, 30) << int(BlockEditorFrame::Inside);
    QTest::newRow("grace band") << QPoint(50, 63) << int(BlockEditorFrame::Inside);
    QTest::newRow("outside") << QPoint(50, 80) << int(BlockEditorFrame::Outside);
}

void TestBlockEditorFrame::handlesAreHitAroundTheirSquares()
{
    QFETCH(QPoint, point);
    QFETCH(int, hit);
    Stage stage = makeStage(QRect(100, 120, 200, 60));
    const QPoint local = stage.frame->mapFromParent(QPoint(100, 120) + point);
    QCOMPARE(int(stage.frame->hitTest(local)), hit);
}

void TestBlockEditorFrame::handleDragResizes_data()
{
    QTest::addColumn<int>("handle");
    QTest::addColumn<QPoint>("delta");
    QTest::addColumn<bool>("shift");
    QTest::addColumn<QRect>("expected");
    const QRect start(100, 120, 200, 100);
    QTest::newRow("right edge wider") << int(BlockEditorFrame::RightEdge) << QPoint(40, 7) << false
                                      << start.adjusted(0, 0, 40, 0);
    QTest::newRow("top edge higher") << int(BlockEditorFrame::TopEdge) << QPoint(3, -30) << false
                                     << start.adjusted(0, -30, 0, 0);
    QTest::newRow("left edge stops at 50 px") << int(BlockEditorFrame::LeftEdge) << QPoint(190, 0) << false
                                              << QRect(250, 120, 50, 100);
    QTest::newRow("bottom stops at 52 px") << int(BlockEditorFrame::BottomEdge) << QPoint(0, -90) << false
                                           << QRect(100, 120, 200, 52);
    QTest::newRow("corner free") << int(BlockEditorFrame::BottomRight) << QPoint(100, 10) << false
                                 << start.adjusted(0, 0, 100, 10);
    QTest::newRow("corner with shift keeps 2:1") << int(BlockEditorFrame::BottomRight) << QPoint(100, 10) << true
                                                 << QRect(100, 120, 300, 150);
    QTest::newRow("shift on an edge does nothing special")
        << int(BlockEditorFrame::RightEdge) << QPoint(100, 10) << true << start.adjusted(0, 0, 100, 0);
}

void TestBlockEditorFrame::handleDragResizes()
{
    QFETCH(int, handle);
    QFETCH(QPoint, delta);
    QFETCH(bool, shift);
    QFETCH(QRect, expected);
    Stage stage = makeStage(QRect(100, 120, 200, 100));
    QSignalSpy changed(stage.frame, &BlockEditorFrame::rectChanged);
    QSignalSpy started(stage.frame, &BlockEditorFrame::interactionStarted);
    QSignalSpy finished(stage.frame, &BlockEditorFrame::interactionFinished);
    const QPoint from = centreOf(stage.frame->handleRect(BlockEditorFrame::Hit(handle)));
    dragFrame(stage.frame, from, delta, 5, shift ? Qt::ShiftModifier : Qt::NoModifier);
    QCOMPARE(stage.frame->contentScreenRect(), expected);
    QVERIFY(!changed.isEmpty());
    QCOMPARE(changed.last().at(0).toRect(), expected);
    QCOMPARE(started.size(), 1); // one drag is one interaction
    QCOMPARE(finished.size(), 1);
}

void TestBlockEditorFrame::knobTurnsAboutTheCentre()
{
    const QRect content(200, 200, 200, 100);
    Stage stage = makeStage(content);
    QSignalSpy turned(stage.frame, &BlockEditorFrame::rotationChanged);
    const QPoint knob = centreOf(stage.frame->rotationHandleRect());
    const QPoint centre = stage.frame->mapFromParent(content.center());
    // From straight above the centre to straight right of it: a quarter turn clockwise.
    const int reach = centre.y() - knob.y();
    dragFrame(stage.frame, knob, centre + QPoint(reach, 0) - knob);
    QVERIFY(!turned.isEmpty());
    QVERIFY(std::abs(turned.last().at(0).toDouble() - 90.0) < 1.0);
    QVERIFY(std::abs(stage.frame->visualRotationAngle() - 90.0) < 1.0);
    QCOMPARE(stage.frame->contentScreenRect(), content);
    // The handles turn with it: the top-right corner now sits at the bottom right.
    const QPointF corner = rotatePoint(QPointF(content.topRight()), QPointF(content.center()), 90.0);
    QCOMPARE(int(stage.frame->hitTest(stage.frame->mapFromParent(corner.toPoint()))),
             int(BlockEditorFrame::TopRight));
}

void TestBlockEditorFrame::anglesAreKeptInHalfTurns_data()
{
    QTest::addColumn<double>("angle");
    QTest::addColumn<double>("stored");
    QTest::newRow("190") << 190.0 << -170.0;
    QTest::newRow("180") << 180.0 << 180.0;
    QTest::newRow("-180") << -180.0 << 180.0;
    QTest::newRow("-450") << -450.0 << -90.0;
}

void TestBlockEditorFrame::anglesAreKeptInHalfTurns()
{
    QFETCH(double, angle);
    QFETCH(double, stored);
    BlockEditorFrame frame;
    frame.setRotationAngle(angle);
    QCOMPARE(frame.visualRotationAngle(), stored);
}

void TestBlockEditorFrame::clickThroughTurnedTextLandsOnTheGlyph()
{
    RotatedTextEdit editor;
    editor.setFrameShape(QFrame::NoFrame);
    editor.setLineWrapMode(QTextEdit::NoWrap);
    editor.document()->setDocumentMargin(0);
    QFont font(QStringLiteral("Liberation Mono"));
    font.setPixelSize(20);
    editor.setFont(font);
    editor.setPlainText(QStringLiteral("ABCDEFGHIJ"));
    editor.resize(400, 400);
    editor.show();
    const QRect content(100, 150, 240, 40);
    editor.setPaintContentRect(content);
    editor.setRotationAngle(90);

    // Glyph 6 ("G") in the unturned layout, then turned about the content's centre.
    QTextLayout* layout = editor.document()->begin().layout();
    const QTextLine line = layout->lineAt(0);
    const double glyphLeft = line.cursorToX(6);
    const double glyphRight = line.cursorToX(7);
    const QPointF inContent((glyphLeft + glyphRight) / 2 - (glyphRight - glyphLeft) / 4, line.y() + line.height() / 2);
    const QPointF shown = rotatePoint(QPointF(content.topLeft()) + inContent, QRectF(content).center(), 90.0);
    QTest::mouseClick(editor.viewport(), Qt::LeftButton, {}, shown.toPoint());
    QCOMPARE(editor.textCursor().position(), 6);
    // Unturned, the same point lands somewhere else entirely.
    QVERIFY(std::abs(editor.mapFromRotatedViewport(shown).x() - inContent.x()) < 1.5);
}

void TestBlockEditorFrame::suppressedEditorStillTakesKeys()
{
    QWidget parent;
    parent.resize(300, 200);
    auto* frame = new BlockEditorFrame(&parent);
    frame->setContentScreenRect(QRect(20, 40, 200, 60));
    frame->setTextPaintingSuppressed(true);
    RotatedTextEdit* editor = frame->editor();
    editor->setPlainText(QStringLiteral("WWWW"));
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    const QImage picture = editor->viewport()->grab().toImage();
    bool anyInk = false;
    for (int y = 0; y < picture.height() && !anyInk; ++y)
        for (int x = 0; x < picture.width() && !anyInk; ++x)
            anyInk = qAlpha(picture.pixel(x, y)) > 0 && qGray(picture.pixel(x, y)) < 128;
    QVERIFY(!anyInk);
    editor->setFocus();
    editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor, QStringLiteral("xy"));
    QCOMPARE(editor->toPlainText(), QStringLiteral("WWWWxy"));
}

// The handles of a turned picture are drawn and hit through one turn: the
// pixel at a handle's turned centre is that handle's fill, and it is hit there.
void TestBlockEditorFrame::turnedImageHandlesAreHitWhereDrawn()
{
    Stage stage = makeStage(QRect(200, 200, 200, 100));
    stage.frame->setImageMode(true);
    stage.frame->setRotationAngle(30);
    stage.frame->setContentScreenRect(QRect(200, 200, 200, 100));
    QImage chrome(stage.frame->size(), QImage::Format_ARGB32);
    chrome.fill(Qt::transparent);
    {
        QPainter painter(&chrome);
        stage.frame->paintChrome(painter);
    }
    const QPointF centre = QRectF(stage.frame->contentRect()).center();
    for (BlockEditorFrame::Hit handle : {BlockEditorFrame::TopLeft, BlockEditorFrame::RightEdge,
                                         BlockEditorFrame::BottomRight, BlockEditorFrame::BottomEdge}) {
        const QPoint at = rotatePoint(QRectF(stage.frame->handleRect(handle)).center(), centre, 30).toPoint();
        QCOMPARE(chrome.pixelColor(at), QColor(QStringLiteral("#FFDCDC")));
        QCOMPARE(int(stage.frame->hitTest(at)), int(handle));
    }
}

QTEST_MAIN(TestBlockEditorFrame)
#include "tst_blockeditorframe.moc"
