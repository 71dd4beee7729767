#pragma once
// This process's memory as Linux reports it, for the benchmarks.

#include <QByteArray>
#include <QFile>

namespace bench {

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM"), or -1.
inline qint64 statusBytes(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

inline qint64 residentBytes()
{
    return statusBytes("VmRSS");
}

// The peak resident memory since the last resetPeak.
inline qint64 peakBytes()
{
    return statusBytes("VmHWM");
}

inline void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

} // namespace bench
