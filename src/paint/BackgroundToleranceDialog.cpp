#include "BackgroundToleranceDialog.h"

#include "EditorStyle.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace paint {

namespace {

constexpr int kGap = 12;        // between the dialog and what it keeps clear of
constexpr int kFrameAllowance = 40;  // title bar and frame the window manager adds

qint64 overlap(const QRect& a, const QRect& b)
{
    const QRect common = a.intersected(b);
    return common.isEmpty() ? 0 : qint64(common.width()) * common.height();
}

// The point moved so a rectangle of `size` lies inside `screen` where it can.
QPoint clampedInto(QPoint point, const QSize& size, const QRect& screen)
{
    point.setX(std::clamp(point.x(), screen.left(), std::max(screen.left(), screen.right() + 1 - size.width())));
    point.setY(std::clamp(point.y(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - size.height())));
    return point;
}

} // namespace

BackgroundToleranceDialog::BackgroundToleranceDialog(const QColor& key, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Фон в прозрачность"));
    setModal(true);
    setStyleSheet(editorStyleSheet());

    auto* title = new QLabel(QStringLiteral("Настройте допуск цвета фона"), this);
    title->setObjectName(QStringLiteral("FacsimileTitle"));
    auto* hint = new QLabel(
        QStringLiteral("Ползунок применяется сразу к предпросмотру. Если результат не подходит, нажмите «Отмена»."),
        this);
    hint->setObjectName(QStringLiteral("FacsimileHint"));
    hint->setWordWrap(true);
    auto* swatch = new QLabel(this);
    swatch->setFixedSize(34, 22);
    swatch->setStyleSheet(
        QStringLiteral("background:%1; border:1px solid #94a3b8; border-radius:5px;").arg(key.name(QColor::HexRgb)));
    m_value = new QLabel(QString::number(kDefaultTolerance), this);
    m_value->setMinimumWidth(34);
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setRange(0, kMaxTolerance);
    m_slider->setValue(kDefaultTolerance);
    m_slider->setMinimumWidth(300);
    connect(m_slider, &QSlider::valueChanged, m_value, [this](int value) { m_value->setText(QString::number(value)); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Применить"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Цвет:"), this));
    row->addWidget(swatch);
    row->addSpacing(12);
    row->addWidget(new QLabel(QStringLiteral("Допуск:"), this));
    row->addWidget(m_slider, 1);
    row->addWidget(m_value);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);
    layout->addWidget(title);
    layout->addWidget(hint);
    layout->addLayout(row);
    layout->addWidget(buttons);
}

int BackgroundToleranceDialog::tolerance() const
{
    return m_slider->value();
}

void BackgroundToleranceDialog::placeClearOf(const QWidget* widget)
{
    if (!widget || !widget->screen())
        return;
    adjustSize();
    const QRect avoid(widget->mapToGlobal(QPoint(0, 0)), widget->size());
    const QSize framed = size() + QSize(0, kFrameAllowance);
    move(positionClearOf(avoid, framed, widget->screen()->availableGeometry()));
}

QPoint BackgroundToleranceDialog::positionClearOf(const QRect& avoid, const QSize& size, const QRect& screen)
{
    const int centreX = avoid.center().x() - size.width() / 2;
    const int centreY = avoid.center().y() - size.height() / 2;
    const std::array<QPoint, 4> candidates{
        QPoint(centreX, avoid.bottom() + 1 + kGap),
        QPoint(centreX, avoid.top() - kGap - size.height()),
        QPoint(avoid.right() + 1 + kGap, centreY),
        QPoint(avoid.left() - kGap - size.width(), centreY),
    };
    QPoint best;
    qint64 bestOverlap = -1;
    for (const QPoint& candidate : candidates) {
        const QPoint placed = clampedInto(candidate, size, screen);
        const qint64 covered = overlap(QRect(placed, size), avoid);
        if (bestOverlap < 0 || covered < bestOverlap) {
            best = placed;
            bestOverlap = covered;
        }
        if (covered == 0)
            break;
    }
    return best;
}

} // namespace paint
