#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

class QToolButton;
class QWidget;

// The resource path of a named icon: ":/resources/icons/<name>.svg".
QString I(const QString& iconName);

// Shows the keys in the button's tool tip and status tip as "text (keys)",
// or the text alone without keys. Binds no key. A null button is ignored.
void setShortcutHint(QToolButton* button, const QString& text, const QKeySequence& keys);

// The platform's Save As keys, or Ctrl+Shift+S where it has none (KDE and
// plain X11 give that standard key no binding).
QKeySequence saveAsKeys();

// Parentless auto-raised buttons named "IconOnlyButton", checkable when asked
// but never checked, with the text as tool tip:
// a 72×76 button with a 40 px icon and its text under it;
QToolButton* largeIconButton(const QString& iconName, const QString& text, bool checkable);
// a 32×32 button with a 24 px icon and no visible text;
QToolButton* iconOnlyButton(const QString& iconName, const QString& text, bool checkable);
// a 30×30 button with a 16 px icon and no visible text (the floating bar).
QToolButton* floatingIconButton(const QString& iconName, const QString& text, bool checkable);

// Ribbon groups: a parentless "RibbonGroup" whose last item is its centred
// "RibbonGroupTitle". Rows are left-aligned; null widgets are skipped, so an
// edition leaves out a button by passing none.
QWidget* ribbonRowGroup(const QString& title, const QList<QWidget*>& widgets);
QWidget* ribbonLeadGroup(const QString& title, QWidget* lead, const QList<QList<QWidget*>>& rows);
QWidget* ribbonMultiRowGroup(const QString& title, const QList<QList<QWidget*>>& rows);

// A parentless ribbon tab page "RibbonPage": the groups from the left, then a
// stretch; null groups are skipped.
QWidget* ribbonPage(const QList<QWidget*>& groups);
// Makes page such a tab page.
void fillRibbonPage(QWidget* page, const QList<QWidget*>& groups);
