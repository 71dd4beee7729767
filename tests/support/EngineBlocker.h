#pragma once
// A busy engine, made by a test: another thread holds the process-wide
// pdfium lock.

#include "PdfiumApi.h"

#include <QMutexLocker>
#include <QThread>

#include <atomic>
#include <memory>

// Holds the process-wide pdfium lock on another thread until released (or
// for at most maxHoldMs, so that code which waits on it ends late, not never):
// every engine call, every render, waits meanwhile. A call that returns
// while it still holds did not wait for the engine, however slow the machine.
class EngineBlocker {
public:
    explicit EngineBlocker(int maxHoldMs = 30000)
    {
        m_thread.reset(QThread::create([this, maxHoldMs] {
            QMutexLocker lock(&pdfiumMutex());
            m_holding = true;
            for (int waited = 0; !m_release && waited < maxHoldMs; ++waited)
                QThread::msleep(1);
            m_holding = false;  // before the lock goes
        }));
        m_thread->start();
        while (!m_holding)
            QThread::msleep(1);
    }
    ~EngineBlocker() { release(); }
    bool holding() const { return m_holding; }
    void release()
    {
        m_release = true;
        m_thread->wait();
    }

private:
    std::unique_ptr<QThread> m_thread;
    std::atomic<bool> m_holding{false};
    std::atomic<bool> m_release{false};
};
