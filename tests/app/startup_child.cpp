// Starts the program as its main() does and ends the run once its first
// window is up, so that a test can watch a start from outside: one that waits
// for ever or runs out of memory shows as a child past its limits. Prints
// "started: <class>" when the main window or the signing dialog shows.
#include "AppStartup.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

constexpr int kPollMs = 20;

void quitOnceShown()
{
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [] {
        static bool told = false;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (!window->isVisible() || !(window->inherits("MainWindow") || window->inherits("SignatureDialog")))
                continue;
            if (!told) {
                std::printf("started: %s\n", window->metaObject()->className());
                std::fflush(stdout);
                told = true;
            }
            // Again on every tick: a quit before the main loop runs is lost.
            QCoreApplication::quit();
            return;
        }
    });
    timer->start(kPollMs);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(quitOnceShown)

int main(int argc, char** argv)
{
    return runApplication(argc, argv);
}
