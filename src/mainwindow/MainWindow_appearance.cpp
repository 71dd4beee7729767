// Themes and the interface density: the application style sheet, the icons,
// the page view's canvas and the sizes of the ribbon's buttons and font boxes.
#include "MainWindow.h"

#include "PdfView.h"
#include "ThemedIcon.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>

#include <algorithm>

namespace {

const QString kLightSheet = QStringLiteral(":/resources/styles/light.qss");
const QString kDarkSheet = QStringLiteral(":/resources/styles/dark.qss");
const QString kThemeKey = QStringLiteral("ui/theme");

// Sizes of one density, in device-independent pixels.
struct DensitySizes {
    int ribbonHeight;
    int toolIcon;
    int toolMinimumHeight;
    int toolMinimumWidth;
    int toolMaximumWidth;
    int iconUnderTextIcon;
    QSize iconUnderTextSize;
    int iconOnlyIcon;
    int iconOnlySide;
    int fontFamilyWidth;
    int fontSizeWidth;
};

constexpr DensitySizes kCompact{132, 28, 58, 58, 88, 36, {66, 70}, 20, 28, 156, 72};
constexpr DensitySizes kNormal{144, 32, 62, 62, 88, 40, {72, 76}, 24, 32, 168, 78};
constexpr DensitySizes kLarge{158, 36, 68, 62, 96, 44, {80, 84}, 28, 36, 184, 86};

bool insideFloatingBar(const QWidget* widget)
{
    for (; widget; widget = widget->parentWidget()) {
        if (widget->objectName() == QLatin1String("FloatingBar"))
            return true;
    }
    return false;
}

const DensitySizes& densitySizes(int density)
{
    return density <= 0 ? kCompact : density == 1 ? kNormal : kLarge;
}

// A label under the icon is never cut: the width the button asks for its
// text (in its own font and style) wins over the density's width.
int labelledWidth(QToolButton* button, int densityWidth)
{
    if (button->toolButtonStyle() != Qt::ToolButtonTextUnderIcon || button->text().isEmpty())
        return densityWidth;
    return std::max(densityWidth, button->sizeHint().width());
}

void sizeRibbonButton(QToolButton* button, const DensitySizes& sizes)
{
    if (button->objectName() == QLatin1String("RibbonToolButton")) {
        button->setIconSize(QSize(sizes.toolIcon, sizes.toolIcon));
        button->setMinimumHeight(sizes.toolMinimumHeight);
        button->setMinimumWidth(labelledWidth(button, sizes.toolMinimumWidth));
        button->setMaximumWidth(labelledWidth(button, sizes.toolMaximumWidth));
    } else if (button->objectName() == QLatin1String("IconOnlyButton")) {
        if (button->toolButtonStyle() == Qt::ToolButtonTextUnderIcon) {
            button->setIconSize(QSize(sizes.iconUnderTextIcon, sizes.iconUnderTextIcon));
            button->setFixedSize(labelledWidth(button, sizes.iconUnderTextSize.width()),
                                 sizes.iconUnderTextSize.height());
        } else {
            button->setIconSize(QSize(sizes.iconOnlyIcon, sizes.iconOnlyIcon));
            button->setFixedSize(sizes.iconOnlySide, sizes.iconOnlySide);
        }
    }
}

} // namespace

void MainWindow::applyStyleFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    // Setting a sheet re-polishes every widget: the one in force stays.
    const QString sheet = QString::fromUtf8(file.readAll());
    if (sheet != qApp->styleSheet())
        qApp->setStyleSheet(sheet);
}

void MainWindow::setLightTheme()
{
    // Before the sheet: setting it repaints every widget, icons included.
    setDarkThemeShown(false);
    applyStyleFile(kLightSheet);
    if (pdfView)
        pdfView->setCanvasTheme(false);
    QSettings().setValue(kThemeKey, QStringLiteral("light"));
}

void MainWindow::setDarkTheme()
{
    setDarkThemeShown(true);
    applyStyleFile(kDarkSheet);
    if (pdfView)
        pdfView->setCanvasTheme(true);
    QSettings().setValue(kThemeKey, QStringLiteral("dark"));
}

void MainWindow::applyUiDensity(int density)
{
    const int clamped = qBound(0, density, 2);
    QSettings().setValue(QStringLiteral("ui/density"), clamped);
    qApp->setProperty("uiDensity", clamped);
    const DensitySizes& sizes = densitySizes(clamped);

    if (ribbon) {
        ribbon->setMinimumHeight(sizes.ribbonHeight);
        ribbon->setMaximumHeight(sizes.ribbonHeight);
    }
    fitRibbonLabels();
    if (fontCombo)
        fontCombo->setFixedWidth(sizes.fontFamilyWidth);
    if (fontSizeSpin)
        fontSizeSpin->setFixedWidth(sizes.fontSizeWidth);
}

void MainWindow::fitRibbonLabels()
{
    if (!ribbon)
        return;
    const QVariant density = qApp->property("uiDensity");
    const DensitySizes& sizes = densitySizes(density.isValid() ? density.toInt() : 1);
    for (QToolButton* button : ribbon->findChildren<QToolButton*>()) {
        if (!insideFloatingBar(button))
            sizeRibbonButton(button, sizes);
    }
}
