#pragma once
// The work a call does, as the system counts it for this process: processor
// time (user and system, all threads) and bytes read (files and pipes alike).
// Unlike the clock, neither grows when other programs keep the machine busy,
// so a test bounds a call's work with them.

#include <QFile>
#include <QtGlobal>

#include <ctime>

namespace workmeter {

inline qint64 processorMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// What this process has read so far ("rchar" of /proc/self/io); -1 unknown.
inline qint64 bytesRead()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : io.readAll().split('\n'))
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    return -1;
}

// The work done since it was made.
class Meter {
public:
    qint64 processorMs() const { return workmeter::processorMs() - m_processorMs; }
    qint64 bytesRead() const { return workmeter::bytesRead() - m_bytesRead; }

private:
    qint64 m_processorMs = workmeter::processorMs();
    qint64 m_bytesRead = workmeter::bytesRead();
};

}  // namespace workmeter
