#include "VornResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void registerVornQrc()
{
    Q_INIT_RESOURCE(vorn);
}

void initVornResources()
{
    static const bool registered = (registerVornQrc(), true);
    Q_UNUSED(registered);
}
