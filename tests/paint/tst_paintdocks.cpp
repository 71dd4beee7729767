#include "ColorSwatchPair.h"
#include "ColorWheelWidget.h"
#include "Document.h"
#include "Layer.h"
#include "LayersDock.h"
#include "PaletteDock.h"
#include "ToolsDock.h"

#include <QAction>
#include <QFontComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

using namespace paint;

namespace {

QToolButton* toolButton(ToolsDock& dock, const QString& id)
{
    for (auto* button : dock.findChildren<QToolButton*>())
        if (button->property("toolId").toString() == id)
            return button;
    return nullptr;
}

QPushButton* buttonWithText(QWidget& widget, const QString& text)
{
    for (auto* button : widget.findChildren<QPushButton*>())
        if (button->text() == text)
            return button;
    return nullptr;
}

QStringList rowNames(QListWidget* list)
{
    QStringList names;
    for (int row = 0; row < list->count(); ++row)
        names << list->item(row)->text();
    return names;
}

} // namespace

class TestPaintDocks : public QObject {
    Q_OBJECT
private slots:
    void toolsBar();
    void layerRowsRunTopFirst();
    void layerButtonsAndVisibility();
    void thumbnailKeepsTheAspect();
    void paletteChoiceSetsThePrimary();
    void resetAndValueSlider();
    void swatchOverlapSelectsThePrimary();
};

void TestPaintDocks::toolsBar()
{
    ToolsDock dock;
    dock.resize(1800, 60);
    dock.show();
    QVERIFY(!toolButton(dock, "stamp")->isEnabled());
    QVERIFY(toolButton(dock, "brush")->isChecked());

    QSignalSpy selected(&dock, &ToolsDock::toolSelected);
    auto* fonts = dock.findChild<QFontComboBox*>();
    QVERIFY(!fonts->isVisible());
    QTest::mouseClick(toolButton(dock, "text"), Qt::LeftButton);
    QTRY_VERIFY(fonts->isVisible());
    QTest::mouseClick(toolButton(dock, "brush"), Qt::LeftButton);
    QTRY_VERIFY(!fonts->isVisible());
    QCOMPARE(selected.size(), 2);
    QCOMPARE(selected[0][0].toString(), QStringLiteral("text"));

    QSignalSpy sized(&dock, &ToolsDock::sizeChanged);
    dock.findChild<QSlider*>()->setValue(37);
    QCOMPARE(sized.size(), 1);
    QCOMPARE(sized[0][0].toInt(), 37);
}

void TestPaintDocks::layerRowsRunTopFirst()
{
    Document document(QSize(30, 20));
    document.addLayer(QString());
    document.addLayer(QString());
    LayersDock dock;
    QSignalSpy changed(&dock, &LayersDock::changed);
    dock.setDocument(&document);
    auto* list = dock.findChild<QListWidget*>();
    QCOMPARE(rowNames(list), (QStringList { "Слой 3", "Слой 2", "Фон" }));
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(changed.size(), 0); // rebuilding is silent

    list->setCurrentRow(2);
    QCOMPARE(document.activeIndex, 0);
    QTest::mouseClick(buttonWithText(dock, QStringLiteral("\u2191")), Qt::LeftButton);
    QCOMPARE(rowNames(list), (QStringList { "Слой 3", "Фон", "Слой 2" }));
    QCOMPARE(list->currentRow(), 1);
    QCOMPARE(document.layers[1]->name, QStringLiteral("Фон"));

    list->setCurrentRow(0);
    QTest::mouseClick(buttonWithText(dock, QStringLiteral("\u2212")), Qt::LeftButton);
    QCOMPARE(rowNames(list), (QStringList { "Фон", "Слой 2" }));
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(changed.size(), 2);
}

void TestPaintDocks::layerButtonsAndVisibility()
{
    Document document(QSize(30, 20));
    document.addLayer(QString());
    LayersDock dock;
    dock.setDocument(&document);
    auto* list = dock.findChild<QListWidget*>();
    QSignalSpy changed(&dock, &LayersDock::changed);
    QTest::mouseClick(buttonWithText(dock, QStringLiteral("+")), Qt::LeftButton);
    QCOMPARE(rowNames(list).first(), QStringLiteral("Слой 3"));
    QCOMPARE(document.activeIndex, 2);
    QCOMPARE(changed.size(), 1);

    list->item(2)->setCheckState(Qt::Unchecked);
    QVERIFY(!document.layers[0]->visible);
    QCOMPARE(changed.size(), 2);

    // Moving the top layer up is refused; the list stays as it was.
    list->setCurrentRow(0);
    QTest::mouseClick(buttonWithText(dock, QStringLiteral("\u2191")), Qt::LeftButton);
    QCOMPARE(rowNames(list), (QStringList { "Слой 3", "Слой 2", "Фон" }));
    QCOMPARE(list->item(2)->checkState(), Qt::Unchecked);
}

void TestPaintDocks::thumbnailKeepsTheAspect()
{
    Document document(QSize(900, 520));
    document.layers[0]->image.fill(QColor(255, 0, 0));
    LayersDock dock;
    dock.setDocument(&document);
    const QImage thumb = dock.findChild<QListWidget*>()->item(0)->icon().pixmap(48, 36).toImage();
    QCOMPARE(thumb.size(), QSize(48, 36));
    QCOMPARE(QColor(thumb.pixel(0, 4)), QColor(255, 0, 0));
    QCOMPARE(QColor(thumb.pixel(47, 30)), QColor(255, 0, 0));
    QCOMPARE(QColor(thumb.pixel(0, 0)), QColor(204, 204, 204));
    QCOMPARE(QColor(thumb.pixel(4, 35)), QColor(255, 255, 255));
}

void TestPaintDocks::paletteChoiceSetsThePrimary()
{
    PaletteDock dock;
    dock.setActiveColor(false);
    QSignalSpy primary(&dock, &PaletteDock::primaryColorChanged);
    QSignalSpy secondary(&dock, &PaletteDock::secondaryColorChanged);
    QPushButton* red = nullptr;
    for (auto* button : dock.findChildren<QPushButton*>())
        if (button->toolTip() == QStringLiteral("#ff0000"))
            red = button;
    QTest::mouseClick(red, Qt::LeftButton);
    QCOMPARE(primary.size(), 1);
    QCOMPARE(secondary.size(), 0);
    QCOMPARE(dock.primaryColor().rgba(), qRgb(255, 0, 0));
    QVERIFY(dock.isPrimaryActive());
    QCOMPARE(dock.findChild<QSlider*>()->value(), 255);

    // Set from outside: the primary becomes active, no signal.
    dock.setActiveColor(false);
    dock.externalSetPrimary(QColor(10, 200, 30));
    QCOMPARE(primary.size() + secondary.size(), 1);
    QVERIFY(dock.isPrimaryActive());
    QCOMPARE(dock.findChild<QSlider*>()->value(), 200);
}

// Reset sends primary then secondary; the value slider keeps grey grey.
void TestPaintDocks::resetAndValueSlider()
{
    PaletteDock dock;
    QStringList order;
    connect(&dock, &PaletteDock::primaryColorChanged, this, [&](const QColor& c) { order << "primary " + c.name(); });
    connect(&dock, &PaletteDock::secondaryColorChanged, this, [&](const QColor& c) { order << "secondary " + c.name(); });
    dock.externalSetPrimary(Qt::red);
    QTest::mouseClick(buttonWithText(dock, QStringLiteral("↺")), Qt::LeftButton);
    QCOMPARE(order, (QStringList { "primary #000000", "secondary #ffffff" }));
    QCOMPARE(dock.findChild<QSlider*>()->value(), 0);

    dock.externalSetPrimary(QColor(128, 128, 128));
    QSignalSpy primary(&dock, &PaletteDock::primaryColorChanged);
    dock.findChild<QSlider*>()->setValue(200);
    QCOMPARE(primary.size(), 1);
    QCOMPARE(dock.primaryColor().rgba(), qRgb(200, 200, 200));
    QCOMPARE(dock.primaryColor().alpha(), 255);

    // The wheel keeps hue and saturation; brightness comes from the slider.
    auto* wheel = dock.findChild<ColorWheelWidget*>();
    wheel->resize(104, 104);
    wheel->pickAt(QPoint(102, 52));
    QCOMPARE(dock.primaryColor().rgba(), qRgb(200, 0, 0));
}

void TestPaintDocks::swatchOverlapSelectsThePrimary()
{
    PaletteDock dock;
    dock.show();
    auto* swatches = dock.findChild<ColorSwatchPair*>();
    QVERIFY(swatches->primaryRect().intersects(swatches->secondaryRect()));
    QTest::mouseClick(swatches, Qt::LeftButton, {}, QPoint(66, 10));
    QVERIFY(!dock.isPrimaryActive());
    QTest::mouseClick(swatches, Qt::LeftButton, {}, QPoint(36, 30)); // in both squares
    QVERIFY(dock.isPrimaryActive());
}

QTEST_MAIN(TestPaintDocks)
#include "tst_paintdocks.moc"
