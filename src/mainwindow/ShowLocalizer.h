#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QWidget;

// Translates every widget of the application once it is shown: each Show
// queues a pass over the shown widget, run from the event loop. Showing a
// window shows all its children too; a queued widget under another queued
// one is left to that one's pass, and a widget deleted meanwhile is skipped.
// Installed on the application; never consumes an event.
class ShowLocalizer : public QObject {
    Q_OBJECT
public:
    explicit ShowLocalizer(QObject* parent = nullptr);

    bool eventFilter(QObject* watched, QEvent* event) override;

    // Runs the queued passes now (the queued call does the same).
    void runQueuedPasses();

private:
    QList<QPointer<QWidget>> m_queued;
    bool m_runQueued = false;
};
