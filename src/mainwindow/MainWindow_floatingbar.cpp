// The floating bar under the page view: tools, zoom with presets, page
// navigation with the page box, print and full screen.
#include "MainWindow.h"

#include "ButtonKit.h"
#include "PdfView.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>

#include <cmath>

namespace {

constexpr int kBarHeight = 50;
constexpr int kBarMinimumWidth = 650;
constexpr int kBarSpacing = 6;
const QMargins kBarMargins(10, 6, 10, 6);
constexpr qreal kShadowBlur = 28;
const QPointF kShadowOffset(0, 8);
const QColor kShadowColor(17, 24, 39, 50);
constexpr int kZoomBoxWidth = 88;
constexpr int kPageBoxWidth = 72;
constexpr double kPercent = 100.0;

const QStringList ZOOM_PRESETS{QStringLiteral("10%"),  QStringLiteral("25%"),  QStringLiteral("50%"),
                               QStringLiteral("75%"),  QStringLiteral("100%"), QStringLiteral("125%"),
                               QStringLiteral("150%"), QStringLiteral("200%"), QStringLiteral("300%"),
                               QStringLiteral("400%")};

QString zoomText(double zoom)
{
    return QStringLiteral("%1%").arg(std::lround(zoom * kPercent));
}

QToolButton* barButton(const QString& iconName, const QString& text, const QKeySequence& keys = {})
{
    QToolButton* button = floatingIconButton(iconName, text, false);
    if (!keys.isEmpty())
        setShortcutHint(button, text, keys);
    return button;
}

} // namespace

QWidget* MainWindow::buildFloatingBar()
{
    auto* bar = new QWidget;
    bar->setObjectName(QStringLiteral("FloatingBar"));
    bar->setFixedHeight(kBarHeight);
    bar->setMinimumWidth(kBarMinimumWidth);
    auto* shadow = new QGraphicsDropShadowEffect(bar);
    shadow->setBlurRadius(kShadowBlur);
    shadow->setOffset(kShadowOffset);
    shadow->setColor(kShadowColor);
    bar->setGraphicsEffect(shadow);

    auto [handButton, selectButton] = editToolButtons(floatingIconButton);

    QToolButton* zoomOut = barButton(QStringLiteral("zoom-out"), tr("Уменьшить"), QKeySequence::ZoomOut);
    connect(zoomOut, &QToolButton::clicked, this, &MainWindow::onZoomOut);
    auto* zoomBox = new QComboBox;
    zoomBox->setObjectName(QStringLiteral("FloatingZoom"));
    zoomBox->setEditable(true);
    zoomBox->setFixedWidth(kZoomBoxWidth);
    zoomBox->addItems(ZOOM_PRESETS);
    zoomBox->setCurrentText(zoomText(pdfView->zoom()));
    // A typed value counts once it is complete: on Enter or when the box loses
    // the focus, never per keystroke ("150" would pass through 10 % first).
    connect(zoomBox, &QComboBox::textActivated, this, &MainWindow::onZoomComboChanged);
    connect(zoomBox->lineEdit(), &QLineEdit::editingFinished, zoomBox,
            [this, zoomBox] { onZoomComboChanged(zoomBox->currentText()); });
    // The box follows the view whatever zoomed it, without zooming again.
    connect(pdfView, &PdfView::zoomChanged, zoomBox, [zoomBox](double zoom) {
        const QSignalBlocker blocker(zoomBox);
        zoomBox->setCurrentText(zoomText(zoom));
    });
    QToolButton* zoomIn = barButton(QStringLiteral("zoom-in"), tr("Увеличить"), QKeySequence::ZoomIn);
    connect(zoomIn, &QToolButton::clicked, this, &MainWindow::onZoomIn);
    QToolButton* fitWidth = barButton(QStringLiteral("fit-width"), tr("По ширине"), QKeySequence(QStringLiteral("Ctrl+2")));
    connect(fitWidth, &QToolButton::clicked, this, &MainWindow::onZoomFitWidth);

    auto* separator = new QFrame;
    separator->setObjectName(QStringLiteral("FloatingSeparator"));
    separator->setFrameShape(QFrame::VLine);

    firstPageButton = barButton(QStringLiteral("first-page"), tr("В начало"));
    prevPageButton = barButton(QStringLiteral("prev-page"), tr("Назад"));
    nextPageButton = barButton(QStringLiteral("next-page"), tr("Вперёд"));
    lastPageButton = barButton(QStringLiteral("last-page"), tr("В конец"));
    connect(firstPageButton, &QToolButton::clicked, this, &MainWindow::onFirstPage);
    connect(prevPageButton, &QToolButton::clicked, this, &MainWindow::onPrevPage);
    connect(nextPageButton, &QToolButton::clicked, this, &MainWindow::onNextPage);
    connect(lastPageButton, &QToolButton::clicked, this, &MainWindow::onLastPage);

    pageSpin = new QSpinBox;
    pageSpin->setObjectName(QStringLiteral("FloatingPageSpin"));
    pageSpin->setRange(1, 1);
    pageSpin->setFixedWidth(kPageBoxWidth);
    pageSpin->setAlignment(Qt::AlignCenter);
    connect(pageSpin, &QSpinBox::valueChanged, this, &MainWindow::onPageSpinChanged);
    pageTotalLabel = new QLabel(QStringLiteral(" / 0"));
    pageTotalLabel->setObjectName(QStringLiteral("FloatingPageTotal"));

    QToolButton* print = barButton(QStringLiteral("print"), tr("Печать"));
    connect(print, &QToolButton::clicked, this, &MainWindow::showPrintDialog);
    QToolButton* fullScreen = barButton(QStringLiteral("fullscreen"), tr("Полный экран"));
    connect(fullScreen, &QToolButton::clicked, this, &MainWindow::toggleFullScreen);

    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(kBarMargins);
    layout->setSpacing(kBarSpacing);
    for (QWidget* widget : std::initializer_list<QWidget*>{
             selectButton, handButton, zoomOut, zoomBox, zoomIn, fitWidth, separator, firstPageButton,
             prevPageButton, pageSpin, pageTotalLabel, nextPageButton, lastPageButton, print, fullScreen})
        layout->addWidget(widget);
    return bar;
}
