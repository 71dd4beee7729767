#pragma once

#include <QKeySequence>
#include <QString>

class QToolButton;

// The resource path of a named icon: ":/resources/icons/<name>.svg".
QString I(const QString& iconName);

// Shows the keys in the button's tool tip and status tip as "text (keys)",
// or the text alone without keys. Binds no key. A null button is ignored.
void setShortcutHint(QToolButton* button, const QString& text, const QKeySequence& keys);
