#pragma once
// A machine as a clerk's may be: every processor kept busy by other
// programs, and poppler's pdftoppm slow to start. For the tests and
// benchmarks of work that must hold there.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <memory>
#include <vector>

#include <signal.h>

namespace loadedmachine {

// Processes that keep every processor busy while they live.
class BusyProcessors {
public:
    explicit BusyProcessors(int count = QThread::idealThreadCount())
    {
        for (int i = 0; i < count; ++i) {
            auto spinner = std::make_unique<QProcess>();
            spinner->start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
            m_spinners.push_back(std::move(spinner));
        }
    }
    ~BusyProcessors()
    {
        for (const auto& spinner : m_spinners) {
            spinner->kill();
            spinner->waitForFinished();
        }
    }
    BusyProcessors(const BusyProcessors&) = delete;
    BusyProcessors& operator=(const BusyProcessors&) = delete;

    bool running() const
    {
        return std::all_of(m_spinners.begin(), m_spinners.end(),
                           [](const auto& spinner) { return spinner->state() == QProcess::Running; });
    }

private:
    std::vector<std::unique_ptr<QProcess>> m_spinners;
};

// A pdftoppm first on the search path while it lives: it notes its process
// and waits delaySeconds before it runs poppler's own, as a slow machine
// makes it, or for ever with a delay of -1.
class StandInPoppler {
public:
    explicit StandInPoppler(int delaySeconds) : m_path(qgetenv("PATH"))
    {
        const QString real = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
        m_started = m_dir.filePath(QStringLiteral("renders-started"));
        const QString wait = delaySeconds < 0
                                 ? QStringLiteral("exec sleep 100000\n")
                                 : QStringLiteral("sleep %1\nexec '%2' \"$@\"\n").arg(delaySeconds).arg(real);
        QFile script(m_dir.filePath(QStringLiteral("pdftoppm")));
        m_ready = m_dir.isValid() && !real.isEmpty() && script.open(QIODevice::WriteOnly) &&
                  script.write(QStringLiteral("#!/bin/sh\necho $$ >> '%1'\n%2").arg(m_started, wait).toUtf8()) > 0 &&
                  script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_path);
    }
    ~StandInPoppler() { qputenv("PATH", m_path); }
    StandInPoppler(const StandInPoppler&) = delete;
    StandInPoppler& operator=(const StandInPoppler&) = delete;

    bool ready() const { return m_ready; }
    // The stand-ins started so far, by process id.
    QList<qint64> started() const
    {
        QFile file(m_started);
        QList<qint64> ids;
        if (!file.open(QIODevice::ReadOnly))
            return ids;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.isEmpty())
                ids << line.toLongLong();
        return ids;
    }
    // Whether a stand-in started so far still runs.
    bool anyRunning() const
    {
        const QList<qint64> ids = started();
        return std::any_of(ids.begin(), ids.end(), [](qint64 id) { return ::kill(pid_t(id), 0) == 0; });
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_path;
    QString m_started;
    bool m_ready = false;
};

}  // namespace loadedmachine
