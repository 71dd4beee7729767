#pragma once

#include <QObject>

// While one watch lives, a SIGTERM (a logout, a plain kill) does not end the
// process on the spot: the GUI thread hears of it, every watch emits
// terminating() so that its owner ends its work as a cancel would, and then
// the process ends by that signal, as it would have without a watch. With
// no watch the signal's own handling is back in place. Make and destroy
// watches on the GUI thread.
class TerminationWatch : public QObject {
    Q_OBJECT
public:
    explicit TerminationWatch(QObject* parent = nullptr);
    ~TerminationWatch() override;

signals:
    void terminating();
};
