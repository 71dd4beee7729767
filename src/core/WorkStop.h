#pragma once
// Whether the work running on this thread was asked to stop. Work that waits
// deep inside an operation (a child process's render) asks it, so that a
// stop reaches the wait without every layer between passing it down. A job's
// thread answers from its job (DocumentJob); elsewhere nothing stops.

#include <functional>

class WorkStop {
public:
    // Answers for this thread while it lives; the answer before comes back after.
    explicit WorkStop(std::function<bool()> stopped);
    ~WorkStop();
    WorkStop(const WorkStop&) = delete;
    WorkStop& operator=(const WorkStop&) = delete;

    static bool requested();

private:
    std::function<bool()> m_stopped;
    const WorkStop* m_outer;
};
