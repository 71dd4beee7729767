#include "SaveMeter.h"

#include <algorithm>
#include <utility>

SaveMeter::SaveMeter(Progress progress, int steps) : m_progress(std::move(progress)), m_steps(std::max(1, steps)) {}

void SaveMeter::beginStep(qint64 expected)
{
    m_step = std::min(m_step + 1, m_steps - 1);
    m_expected = std::max<qint64>(0, expected);
    made(0);
}

bool SaveMeter::made(qint64 written)
{
    if (m_stopped || !m_progress)
        return !m_stopped;
    const qint64 part = m_expected > 0 ? std::clamp<qint64>(written, 0, m_expected) * kStepUnits / m_expected : 0;
    const int done = std::max(0, m_step) * kStepUnits + int(part);
    m_stopped = !m_progress(done, m_steps * kStepUnits);
    return !m_stopped;
}

std::function<bool(qint64)> SaveMeter::check()
{
    return [this](qint64 written) { return made(written); };
}
