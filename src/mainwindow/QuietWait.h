#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>

// How long long work may run before the window tells of it (a progress
// prompt, a search's progress): work that ends sooner finishes before the
// caller goes on, as if it had run at once. Tests that act on running work
// set 0.
constexpr int kQuietMs = 300;
int quietTime();
void setQuietTime(int ms);

// Runs the calling thread's event loop until sender emits signal or the
// quiet time has passed, holding back the user's input: the window is
// painted and timers run, clicks and keys wait.
template <typename Object, typename Signal>
void waitQuietly(const Object* sender, Signal signal)
{
    QEventLoop loop;
    QObject::connect(sender, signal, &loop, &QEventLoop::quit);
    QTimer::singleShot(quietTime(), &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}
