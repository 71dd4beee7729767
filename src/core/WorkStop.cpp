#include "WorkStop.h"

#include <utility>

namespace {

thread_local const WorkStop* t_current = nullptr;

} // namespace

WorkStop::WorkStop(std::function<bool()> stopped) : m_stopped(std::move(stopped)), m_outer(t_current)
{
    t_current = this;
}

WorkStop::~WorkStop()
{
    t_current = m_outer;
}

bool WorkStop::requested()
{
    for (const WorkStop* stop = t_current; stop; stop = stop->m_outer)
        if (stop->m_stopped && stop->m_stopped())
            return true;
    return false;
}
