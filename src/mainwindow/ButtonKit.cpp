#include "ButtonKit.h"

#include <QToolButton>

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
