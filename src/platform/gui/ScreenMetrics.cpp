#include "platform/gui/ScreenMetrics.h"

#include "platform/InstalledService.h"
#include "platform/gui/QtScreenMetrics.h"

const ScreenMetrics& ScreenMetrics::Current()
{
    return InstalledService<const ScreenMetrics>::Current<const QtScreenMetrics>();
}

void ScreenMetrics::Install(const ScreenMetrics* metrics)
{
    InstalledService<const ScreenMetrics>::Install(metrics);
}
