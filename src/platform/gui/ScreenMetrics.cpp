#include "platform/gui/ScreenMetrics.h"

#include "platform/gui/QtScreenMetrics.h"

namespace {
const ScreenMetrics* installed = nullptr;
}

const ScreenMetrics& ScreenMetrics::Current()
{
    static const QtScreenMetrics real;
    return installed ? *installed : real;
}

void ScreenMetrics::Install(const ScreenMetrics* metrics)
{
    installed = metrics;
}
