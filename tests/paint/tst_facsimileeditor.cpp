#include "BackgroundRemoval.h"
#include "CanvasWidget.h"
#include "Document.h"
#include "FacsimileEditorDialog.h"
#include "FacsimilePaintHost.h"
#include "Layer.h"
#include "LayersDock.h"
#include "PaletteDock.h"
#include "PendingShape.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

#include <functional>

using namespace paint;

namespace {

// Ink on paper: white with a black bar and one near-white pixel.
QImage scan()
{
    QImage image(40, 30, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    for (int x = 5; x < 35; ++x)
        image.setPixel(x, 15, 0xff000000u);
    image.setPixel(2, 2, qRgb(240, 240, 240));
    image.setPixel(3, 2, qRgb(236, 250, 250));
    return image;
}

struct Editor {
    Editor()
    {
        dialog.resize(1120, 760);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.setImage(scan());
        canvas()->fitToView();
    }
    FacsimilePaintHost* host() { return dialog.host(); }
    CanvasWidget* canvas() { return host()->canvas(); }
    Layer& layer() { return *host()->document()->activeLayer(); }
    void clickImage(QPoint pos, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(canvas(), button, {}, canvas()->imageToWidget(pos) + QPoint(1, 1));
    }
    QPushButton* action(const QString& text, QWidget* in = nullptr)
    {
        for (auto* button : (in ? in : host())->findChildren<QPushButton*>())
            if (button->text() == text)
                return button;
        return nullptr;
    }
    // A rectangle pending on the active layer.
    void pendBox(const QColor& color)
    {
        PendingShape shape;
        shape.kind = PendingShape::Rectangle;
        shape.rect = QRectF(20, 5, 10, 6);
        shape.color = color;
        shape.width = 2;
        shape.snapshot = layer().image;
        canvas()->setPendingShape(shape);
    }
    // Answers the next modal dialog the host opens from inside the event loop.
    void answerToleranceDialog(std::function<void(QDialog*, QSlider*)> answer)
    {
        QTimer::singleShot(0, host(), [this, answer] {
            for (auto* dialog : host()->findChildren<QDialog*>())
                if (dialog->isVisible())
                    answer(dialog, dialog->findChild<QSlider*>());
        });
    }

    FacsimileEditorDialog dialog;
};

} // namespace

class TestFacsimileEditor : public QObject {
    Q_OBJECT
private slots:
    void setImageMakesOneLayer();
    void unknownToolIsTheBrush();
    void eyedropperColourReachesTheDockSilently();
    void clearEmptiesOnlyTheActiveLayer();
    void loadingABadFileKeepsThePicture();
    void loadedPhotosStandUpright_data();
    void loadedPhotosStandUpright();
    void removeBackgroundRule_data();
    void removeBackgroundRule();
    void toleranceApplyAndCancel();
    void pickCanBeRearmed();
    void saveKeepsThePendingShape();
    void rejectReturnsNothing();
    void mergeRebuildsTheLayerList();
    void pendingShapeStaysOnItsLayer();
    void enterCropsAnySelection();
};

void TestFacsimileEditor::setImageMakesOneLayer()
{
    Editor e;
    e.dialog.setImage(QImage(1, 1, QImage::Format_RGB32));
    QCOMPARE(e.host()->document()->size, QSize(1, 1));
    e.dialog.setImage(QImage());
    Document* document = e.host()->document();
    QCOMPARE(document->size, QSize(900, 520));
    QCOMPARE(document->layers.size(), 1);
    QCOMPARE(qAlpha(document->layers[0]->image.pixel(450, 260)), 0);
    QCOMPARE(e.host()->layersDock()->findChild<QListWidget*>()->count(), 1);
    QCOMPARE(e.canvas()->undoStack()->count(), 0);
}

void TestFacsimileEditor::unknownToolIsTheBrush()
{
    Editor e;
    e.host()->selectTool(QStringLiteral("fill"));
    e.host()->selectTool(QStringLiteral("stamp"));
    QCOMPARE(e.host()->currentToolId(), QStringLiteral("brush"));
    QCOMPARE(e.canvas()->tool(), e.host()->tool(QStringLiteral("brush")));
}

void TestFacsimileEditor::eyedropperColourReachesTheDockSilently()
{
    Editor e;
    e.layer().image.setPixel(10, 10, qRgb(20, 120, 220));
    e.host()->selectTool(QStringLiteral("eyedropper"));
    QSignalSpy dockPrimary(e.host()->paletteDock(), &PaletteDock::primaryColorChanged);
    e.clickImage(QPoint(10, 10));
    QCOMPARE(e.host()->paletteDock()->primaryColor().rgba(), qRgb(20, 120, 220));
    QCOMPARE(e.canvas()->primaryColor().rgba(), qRgb(20, 120, 220));
    QCOMPARE(dockPrimary.size(), 0);
}

void TestFacsimileEditor::clearEmptiesOnlyTheActiveLayer()
{
    Editor e;
    Document* document = e.host()->document();
    document->addLayer(QString());
    document->layers[1]->image.fill(Qt::red);
    e.canvas()->commitLayerSnapshot(QImage(document->size, QImage::Format_ARGB32_Premultiplied), "x");
    QVERIFY(e.canvas()->undoStack()->count() > 0);
    e.action(QStringLiteral("Очистить"))->click();
    QCOMPARE(qAlpha(document->layers[1]->image.pixel(3, 3)), 0);
    QCOMPARE(document->layers[0]->image, scan());
    QCOMPARE(e.canvas()->undoStack()->count(), 0);
}

void TestFacsimileEditor::loadingABadFileKeepsThePicture()
{
    Editor e;
    bool noticeShown = false;
    QTimer::singleShot(0, e.host(), [&] {
        auto* box = e.host()->findChild<QMessageBox*>();
        noticeShown = box != nullptr;
        if (box)
            box->accept();
    });
    QVERIFY(!e.host()->loadImageFile(QStringLiteral("/nonexistent/picture.png")));
    QVERIFY(noticeShown);
    QCOMPARE(e.layer().image, scan());
}

// Photos whose pixels lie on their side and whose EXIF orientation stands them up.
void TestFacsimileEditor::loadedPhotosStandUpright_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("upright") << "photo-exif1.jpg";
    QTest::newRow("half turn") << "photo-exif3.jpg";
    QTest::newRow("quarter clockwise") << "photo-exif6.jpg";
    QTest::newRow("quarter anticlockwise") << "photo-exif8.jpg";
}

void TestFacsimileEditor::loadedPhotosStandUpright()
{
    QFETCH(QString, file);
    Editor e;
    QVERIFY(e.host()->loadImageFile(QStringLiteral(VORN_TEST_DATA "/pictures/") + file));
    const QImage& image = e.layer().image;
    QCOMPARE(image.size(), QSize(120, 200));
    const QColor top = image.pixelColor(60, 10);
    const QColor bottom = image.pixelColor(60, 190);
    QVERIFY2(top.red() > 150 && top.blue() < 90, qPrintable(top.name()));
    QVERIFY2(bottom.blue() > 150 && bottom.red() < 90, qPrintable(bottom.name()));
}

void TestFacsimileEditor::removeBackgroundRule_data()
{
    QTest::addColumn<QRgb>("stored");
    QTest::addColumn<int>("tolerance");
    QTest::addColumn<bool>("removed");
    QTest::newRow("exact key at 0") << 0xffffffffu << 0 << true;
    QTest::newRow("near white at 0") << qRgb(254, 255, 255) << 0 << false;
    QTest::newRow("at the bound") << qRgb(237, 255, 240) << 18 << true;
    QTest::newRow("past the bound") << qRgb(236, 255, 255) << 18 << false;
    QTest::newRow("one channel far") << qRgb(255, 255, 0) << 160 << false;
    // Half-transparent white is stored as 128,128,128: far from white.
    QTest::newRow("premultiplied") << qRgba(128, 128, 128, 128) << 100 << false;
    QTest::newRow("premultiplied near") << qRgba(128, 128, 128, 128) << 127 << true;
}

void TestFacsimileEditor::removeBackgroundRule()
{
    QFETCH(QRgb, stored);
    QFETCH(int, tolerance);
    QFETCH(bool, removed);
    QImage image(2, 1, QImage::Format_ARGB32_Premultiplied);
    image.setPixel(0, 0, stored);
    image.setPixel(1, 0, qRgba(0, 0, 0, 0));
    const QImage result = removeBackground(image, Qt::white, tolerance);
    QCOMPARE(result.pixel(0, 0), removed ? 0u : stored);
    QCOMPARE(result.pixel(1, 0), 0u);
    QCOMPARE(image.pixel(0, 0), stored);
}

void TestFacsimileEditor::toleranceApplyAndCancel()
{
    Editor e;
    QUndoStack* undo = e.canvas()->undoStack();
    const QImage before = e.layer().image;
    e.host()->selectTool(QStringLiteral("line"));

    // Cancel: the slider up and back down previews from the before-image.
    e.action(QStringLiteral("Фон в прозрачность"))->click();
    auto* hint = e.canvas()->findChild<QLabel*>(QStringLiteral("FacsimilePickHint"));
    QVERIFY(hint && hint->isVisible());
    e.clickImage(QPoint(0, 0), Qt::RightButton); // sets the secondary colour; the pick stays armed
    QVERIFY(hint->isVisible());
    bool previewsRight = false;
    e.answerToleranceDialog([&](QDialog* dialog, QSlider* slider) {
        // Previews are made off the GUI thread and land a moment later.
        slider->setValue(20);
        const bool nearWhiteGone = QTest::qWaitFor([&] { return qAlpha(e.layer().image.pixel(3, 2)) == 0; });
        slider->setValue(18);
        previewsRight = nearWhiteGone &&
                        QTest::qWaitFor([&] { return e.layer().image == removeBackground(before, Qt::white, 18); });
        dialog->reject();
    });
    e.clickImage(QPoint(0, 0));
    QVERIFY(previewsRight);
    QVERIFY(!hint->isVisible());
    QCOMPARE(e.layer().image, before);
    QCOMPARE(undo->count(), 0);
    QCOMPARE(e.host()->currentToolId(), QStringLiteral("line"));

    // Apply: one recorded step.
    e.action(QStringLiteral("Фон в прозрачность"))->click();
    e.answerToleranceDialog([](QDialog* dialog, QSlider*) {
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    e.clickImage(QPoint(0, 0));
    QCOMPARE(undo->count(), 1);
    QCOMPARE(undo->text(0), QStringLiteral("Фон в прозрачность"));
    QCOMPARE(qAlpha(e.layer().image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(e.layer().image.pixel(2, 2)), 0);
    QCOMPARE(qAlpha(e.layer().image.pixel(3, 2)), 255);
    QCOMPARE(qAlpha(e.layer().image.pixel(10, 15)), 255);
    undo->undo();
    QCOMPARE(e.layer().image, before);
}

void TestFacsimileEditor::pickCanBeRearmed()
{
    Editor e;
    e.host()->selectTool(QStringLiteral("pencil"));
    e.action(QStringLiteral("Фон в прозрачность"))->click();
    e.action(QStringLiteral("Фон в прозрачность"))->click();
    int dialogs = 0;
    e.answerToleranceDialog([&](QDialog* dialog, QSlider*) {
        ++dialogs;
        dialog->reject();
    });
    e.clickImage(QPoint(0, 0));
    QCOMPARE(dialogs, 1);
    QCOMPARE(e.host()->currentToolId(), QStringLiteral("eyedropper"));
    // The pick ended: another eyedropper click opens nothing.
    e.clickImage(QPoint(1, 1));
    QCOMPARE(dialogs, 1);
}

void TestFacsimileEditor::saveKeepsThePendingShape()
{
    Editor e;
    e.pendBox(Qt::red);
    e.dialog.accept();
    QCOMPARE(e.dialog.result(), int(QDialog::Accepted));
    QCOMPARE(QColor(e.dialog.image().pixel(20, 8)), QColor(Qt::red));
}

void TestFacsimileEditor::rejectReturnsNothing()
{
    Editor e;
    e.dialog.open();
    QTest::keyClick(&e.dialog, Qt::Key_Escape);
    QCOMPARE(e.dialog.result(), int(QDialog::Rejected));
    QCOMPARE(e.dialog.image(), scan());
}

void TestFacsimileEditor::mergeRebuildsTheLayerList()
{
    Editor e;
    auto* list = e.host()->layersDock()->findChild<QListWidget*>();
    auto button = [&](const QString& text) { return e.action(text, e.host()->layersDock()); };
    button(QStringLiteral("+"))->click();
    button(QStringLiteral("+"))->click();
    QCOMPARE(list->count(), 3);
    button(QStringLiteral("М\u2193"))->click();
    QCOMPARE(list->count(), 2);
    button(QStringLiteral("М\u2217"))->click();
    QCOMPARE(list->count(), 1);
    list->setCurrentRow(0);
    QCOMPARE(e.host()->document()->activeIndex, 0);
}

void TestFacsimileEditor::pendingShapeStaysOnItsLayer()
{
    Editor e;
    Document* document = e.host()->document();
    document->addLayer(QString());
    e.host()->layersDock()->refresh();
    e.pendBox(Qt::blue);
    const QImage bottom = document->layers[0]->image;
    e.host()->layersDock()->findChild<QListWidget*>()->setCurrentRow(1); // the bottom layer
    QCOMPARE(document->activeIndex, 0);
    e.host()->selectTool(QStringLiteral("select")); // commits the shape
    QCOMPARE(document->layers[0]->image, bottom);
    QCOMPARE(QColor(document->layers[1]->image.pixel(20, 8)), QColor(Qt::blue));
}

void TestFacsimileEditor::enterCropsAnySelection()
{
    Editor e;
    e.host()->selectTool(QStringLiteral("crop"));
    e.clickImage(QPoint(4, 4));
    QCOMPARE(e.host()->document()->size, QSize(40, 30));
    e.canvas()->setFocus();
    QTest::keyClick(e.canvas(), Qt::Key_Return);
    QCOMPARE(e.host()->document()->size, QSize(1, 1));
}

QTEST_MAIN(TestFacsimileEditor)
#include "tst_facsimileeditor.moc"
