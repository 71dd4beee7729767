#include "ScanEngine.h"

#include "SaneBackend.h"
#include "StubBackend.h"

#include <QtGlobal>

#include <cmath>

std::unique_ptr<ScanBackend> createScanBackend()
{
    if (qEnvironmentVariable("VORN_SCAN_BACKEND") == QLatin1String("demo"))
        return std::make_unique<StubBackend>();
    auto sane = std::make_unique<SaneBackend>();
    if (sane->init())
        return sane;
    sane.reset();
    qWarning("SANE init failed, falling back to stub scanner");
    return std::make_unique<StubBackend>();
}

int scanDotsPerMeter(int dpi)
{
    return static_cast<int>(std::lround(dpi / 0.0254));
}
