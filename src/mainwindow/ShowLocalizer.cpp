#include "ShowLocalizer.h"

#include "UiTranslate.h"

#include <QEvent>
#include <QSet>
#include <QTimer>
#include <QWidget>

#include <utility>

ShowLocalizer::ShowLocalizer(QObject* parent)
    : QObject(parent)
{
}

bool ShowLocalizer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        m_queued.append(static_cast<QWidget*>(watched));
        if (!m_runQueued) {
            m_runQueued = true;
            QTimer::singleShot(0, this, &ShowLocalizer::runQueuedPasses);
        }
    }
    return QObject::eventFilter(watched, event);
}

void ShowLocalizer::runQueuedPasses()
{
    m_runQueued = false;
    const QList<QPointer<QWidget>> queued = std::exchange(m_queued, {});
    QSet<const QWidget*> roots;
    QSet<const QWidget*> done;
    for (const QPointer<QWidget>& widget : queued) {
        if (widget)
            roots.insert(widget.data());
    }
    for (const QPointer<QWidget>& widget : queued) {
        if (!widget || done.contains(widget.data()))
            continue;
        bool covered = false;
        for (const QWidget* above = widget->parentWidget(); above && !covered; above = above->parentWidget())
            covered = roots.contains(above);
        if (covered)
            continue;
        done.insert(widget.data());  // a widget shown twice gets one pass
        localizeWidgetTree(widget.data());
    }
}
