#include "ButtonKit.h"

#include "ThemedIcon.h"

#include <QBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QToolButton>

namespace {

constexpr int kLargeIcon = 40;
constexpr int kLargeWidth = 72;
constexpr int kLargeHeight = 76;
constexpr int kSmallIcon = 24;
constexpr int kSmallSide = 32;
constexpr int kFloatingIcon = 16;
constexpr int kFloatingSide = 30;

constexpr int kRowGroupSpacing = 2;
const QMargins kRowGroupMargins(7, 0, 8, 0);
constexpr int kMultiRowSpacing = 3;
const QMargins kMultiRowMargins(8, 3, 9, 3);
constexpr int kRowWidgetSpacing = 4;
constexpr int kLeadBodySpacing = 6;
constexpr int kLeadBodyMinimumHeight = 84;
const QMargins kPageMargins(10, 4, 10, 4);

QToolButton* kitButton(const QString& iconName, const QString& text, bool checkable, int iconSide)
{
    auto* button = new QToolButton;
    button->setObjectName(QStringLiteral("IconOnlyButton"));
    button->setIcon(themedIcon(iconName));
    button->setIconSize(QSize(iconSide, iconSide));
    button->setToolTip(text);
    button->setAutoRaise(true);
    button->setCheckable(checkable);
    return button;
}

QToolButton* iconOnly(const QString& iconName, const QString& text, bool checkable, int iconSide, int side)
{
    QToolButton* button = kitButton(iconName, text, checkable, iconSide);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setFixedSize(side, side);
    return button;
}

// The group frame: the content goes above the title label.
QVBoxLayout* groupFrame(QWidget* group, const QMargins& margins, int spacing)
{
    group->setObjectName(QStringLiteral("RibbonGroup"));
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(margins);
    layout->setSpacing(spacing);
    return layout;
}

void addTitle(QVBoxLayout* layout, const QString& title)
{
    auto* titleLabel = new QLabel(title);
    titleLabel->setObjectName(QStringLiteral("RibbonGroupTitle"));
    titleLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(titleLabel);
}

QHBoxLayout* bareRow(int spacing)
{
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(spacing);
    return row;
}

void addWidgets(QHBoxLayout* row, const QList<QWidget*>& widgets)
{
    for (QWidget* widget : widgets) {
        if (widget)
            row->addWidget(widget);
    }
}

// One left-aligned row per entry.
QVBoxLayout* stackedRows(const QList<QList<QWidget*>>& rows)
{
    auto* stack = new QVBoxLayout;
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(kMultiRowSpacing);
    for (const QList<QWidget*>& widgets : rows) {
        QHBoxLayout* row = bareRow(kRowWidgetSpacing);
        addWidgets(row, widgets);
        row->addStretch(1);
        stack->addLayout(row);
    }
    return stack;
}

} // namespace

QString I(const QString& iconName)
{
    return QStringLiteral(":/resources/icons/") + iconName + QStringLiteral(".svg");
}

void setShortcutHint(QToolButton* button, const QString& text, const QKeySequence& keys)
{
    if (!button)
        return;
    const QString keyText = keys.toString(QKeySequence::NativeText);
    const QString hint = keyText.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, keyText);
    button->setToolTip(hint);
    button->setStatusTip(hint);
}

QToolButton* largeIconButton(const QString& iconName, const QString& text, bool checkable)
{
    QToolButton* button = kitButton(iconName, text, checkable, kLargeIcon);
    button->setText(text);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setFixedSize(kLargeWidth, kLargeHeight);
    return button;
}

QToolButton* iconOnlyButton(const QString& iconName, const QString& text, bool checkable)
{
    return iconOnly(iconName, text, checkable, kSmallIcon, kSmallSide);
}

QToolButton* floatingIconButton(const QString& iconName, const QString& text, bool checkable)
{
    return iconOnly(iconName, text, checkable, kFloatingIcon, kFloatingSide);
}

QWidget* ribbonRowGroup(const QString& title, const QList<QWidget*>& widgets)
{
    auto* group = new QWidget;
    QVBoxLayout* layout = groupFrame(group, kRowGroupMargins, kRowGroupSpacing);
    QHBoxLayout* row = bareRow(kRowGroupSpacing);
    addWidgets(row, widgets);
    layout->addLayout(row, 1);
    addTitle(layout, title);
    return group;
}

QWidget* ribbonMultiRowGroup(const QString& title, const QList<QList<QWidget*>>& rows)
{
    auto* group = new QWidget;
    QVBoxLayout* layout = groupFrame(group, kMultiRowMargins, kMultiRowSpacing);
    layout->addLayout(stackedRows(rows), 1);
    addTitle(layout, title);
    return group;
}

QWidget* ribbonLeadGroup(const QString& title, QWidget* lead, const QList<QList<QWidget*>>& rows)
{
    auto* group = new QWidget;
    QVBoxLayout* layout = groupFrame(group, kMultiRowMargins, kMultiRowSpacing);
    auto* body = new QWidget;
    body->setObjectName(QStringLiteral("RibbonGroupBody"));
    body->setMinimumHeight(kLeadBodyMinimumHeight);
    QHBoxLayout* bodyLayout = bareRow(kLeadBodySpacing);
    body->setLayout(bodyLayout);
    if (lead)
        bodyLayout->addWidget(lead, 0, Qt::AlignTop);
    QVBoxLayout* stack = stackedRows(rows);
    stack->addStretch(1);
    bodyLayout->addLayout(stack);
    layout->addWidget(body, 1);
    addTitle(layout, title);
    return group;
}

// A tab page: the groups from the left, then a stretch.
QWidget* ribbonPage(const QList<QWidget*>& groups)
{
    auto* page = new QWidget;
    fillRibbonPage(page, groups);
    return page;
}

void fillRibbonPage(QWidget* page, const QList<QWidget*>& groups)
{
    page->setObjectName(QStringLiteral("RibbonPage"));
    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(kPageMargins);
    layout->setSpacing(0);
    for (QWidget* group : groups) {
        if (group)
            layout->addWidget(group);
    }
    layout->addStretch(1);
}

QKeySequence saveAsKeys()
{
    return QKeySequence::keyBindings(QKeySequence::SaveAs).value(0, QKeySequence(QStringLiteral("Ctrl+Shift+S")));
}
