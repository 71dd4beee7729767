#pragma once
// Ending a render worker that lives on a thread of its own.

#include <QThread>

// Drops the worker's queued jobs, waits for the one in hand and deletes the
// worker and its thread; afterwards nothing of theirs runs any more.
template <typename Worker>
void stopWorkerThread(Worker*& worker, QThread*& thread)
{
    if (!thread)
        return;
    worker->clearQueue();
    thread->quit();
    thread->wait();
    delete worker;
    delete thread;
    worker = nullptr;
    thread = nullptr;
}
