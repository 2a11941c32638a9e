#include "ui/helpers/Fun_SystemMetrics.h"

#include "platform/gui/ScreenMetrics.h"

#include <cmath>
#include <limits>

namespace Fun_SystemMetrics {

namespace {
    constexpr double TwipsPerInch = 1440.0;
}

double TwipsPerPixelX() { return TwipsPerInch / ScreenMetrics::Current().LogicalDpiX(); }

double TwipsPerPixelY() { return TwipsPerInch / ScreenMetrics::Current().LogicalDpiY(); }

double ScreenWidth() { return ScreenMetrics::Current().ScreenGeometry().width() * TwipsPerPixelX(); }

double ScreenHeight() { return ScreenMetrics::Current().ScreenGeometry().height() * TwipsPerPixelY(); }

qint32 GetTaskbarHeight()
{
    const ScreenMetrics& metrics = ScreenMetrics::Current();
    const QRect screen = metrics.ScreenGeometry();
    const QRect work = metrics.WorkArea();
    // Measured from the screen's own top, so a screen that does not start at
    // the desktop's origin still gives its panel height. QRect::bottom() is the
    // last row inside, hence y + height for the edge.
    const double workBottom = (work.y() + work.height()) - screen.y();
    const double height = std::nearbyint(ScreenHeight() - TwipsPerPixelY() * workBottom);
    if (height > std::numeric_limits<qint32>::max() || height < std::numeric_limits<qint32>::min())
        return 0;
    return static_cast<qint32>(height);
}

float PixelToTwip(double n) { return static_cast<float>(n * TwipsPerPixelX()); }

} // namespace Fun_SystemMetrics
