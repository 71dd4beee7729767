#pragma once
// A child program run under a time limit and an address-space limit: a read
// without end or an open that waits for ever shows as a failed run instead of
// a test that hangs or takes the machine's memory.

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <sys/resource.h>
#include <sys/stat.h>

namespace limitedchild {

struct Outcome {
    bool inTime = false;   // ended before the time limit (otherwise it was killed)
    bool signal = false;   // ended by a signal (an abort on a failed allocation among them)
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    qint64 elapsedMs = 0;
};

// A cpuSeconds above 0 also bounds the child's processor time, so a child
// that spins is ended by the system even where the wall clock runs slow. A
// timeLimitMs of -1 waits for the end however long a busy machine makes
// it: the processor and memory bounds are what end a child that works on.
inline Outcome run(const QString& program, const QStringList& arguments, int timeLimitMs, qint64 memoryLimitBytes,
                   const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                   int cpuSeconds = 0)
{
    QProcess child;
    child.setProcessEnvironment(environment);
    // Runs in the child between fork and exec: setrlimit only.
    child.setChildProcessModifier([memoryLimitBytes, cpuSeconds] {
        const rlimit limit{rlim_t(memoryLimitBytes), rlim_t(memoryLimitBytes)};
        ::setrlimit(RLIMIT_AS, &limit);
        if (cpuSeconds > 0) {
            const rlimit cpu{rlim_t(cpuSeconds), rlim_t(cpuSeconds)};
            ::setrlimit(RLIMIT_CPU, &cpu);
        }
    });
    QElapsedTimer clock;
    clock.start();
    child.start(program, arguments);
    Outcome outcome;
    outcome.inTime = child.waitForFinished(timeLimitMs);
    outcome.elapsedMs = clock.elapsed();
    if (!outcome.inTime) {
        child.kill();
        child.waitForFinished();
    }
    outcome.signal = outcome.inTime && child.exitStatus() == QProcess::CrashExit;
    outcome.exitCode = child.exitCode();
    outcome.out = child.readAllStandardOutput();
    outcome.err = child.readAllStandardError();
    return outcome;
}

// Whether a FIFO stands at path (not followed when it is a link): a refused
// read leaves the FIFO a test made where it was.
inline bool isFifo(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISFIFO(info.st_mode);
}

} // namespace limitedchild
