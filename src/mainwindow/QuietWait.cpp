#include "QuietWait.h"

#include <algorithm>

namespace {

int quietMs = kQuietMs;

} // namespace

int quietTime()
{
    return quietMs;
}

void setQuietTime(int ms)
{
    quietMs = std::max(ms, 0);
}
