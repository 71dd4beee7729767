#include "TerminationWatch.h"

#include <QCoreApplication>
#include <QList>
#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The handler may only write to a pipe; the GUI thread reads its end.
int wakeFds[2] = {-1, -1};

void onTerminate(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFds[1], &byte, 1);
    errno = saved;
}

struct Watching {
    QList<QPointer<TerminationWatch>> watches;
    struct sigaction previous {};
    bool installed = false;
};

Watching& watching()
{
    static Watching state;
    return state;
}

void restoreHandling()
{
    Watching& state = watching();
    if (state.installed)
        ::sigaction(SIGTERM, &state.previous, nullptr);
    state.installed = false;
}

// Every watch is told, then the signal is handled as it was before, so the
// process ends as it would have (or goes on, if it was ignored).
void terminationArrived()
{
    char drained[64];
    while (::read(wakeFds[0], drained, sizeof drained) > 0) {
    }
    const QList<QPointer<TerminationWatch>> told = watching().watches;
    for (const QPointer<TerminationWatch>& watch : told) {
        if (watch)
            emit watch->terminating();
    }
    restoreHandling();
    ::raise(SIGTERM);
}

bool openWakePipe()
{
    if (wakeFds[0] >= 0)
        return true;
    if (::pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    // Lives as long as the application: a signal caught just as the last
    // watch went is still handled.
    auto* notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] { terminationArrived(); });
    return true;
}

} // namespace

TerminationWatch::TerminationWatch(QObject* parent)
    : QObject(parent)
{
    Watching& state = watching();
    state.watches << this;
    if (state.installed || !openWakePipe())
        return;
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    state.installed = ::sigaction(SIGTERM, &action, &state.previous) == 0;
}

TerminationWatch::~TerminationWatch()
{
    Watching& state = watching();
    state.watches.removeAll(this);
    state.watches.removeAll(nullptr);
    if (state.watches.isEmpty())
        restoreHandling();
}
