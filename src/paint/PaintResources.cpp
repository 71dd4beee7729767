#include "PaintResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void registerPaintQrc()
{
    Q_INIT_RESOURCE(paint);
}

void initPaintResources()
{
    static const bool registered = (registerPaintQrc(), true);
    Q_UNUSED(registered);
}
