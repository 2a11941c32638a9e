#include "platform/gui/QtScreenMetrics.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

constexpr double StandardDpi = 96.0;
const QRect FallbackScreen(0, 0, 1024, 768);

// A DPI of 0 would turn every twip conversion into a division by zero.
double UsableDpi(double dpi) { return dpi > 0.0 ? dpi : StandardDpi; }

} // namespace

QRect QtScreenMetrics::ScreenGeometry() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : FallbackScreen;
}

QRect QtScreenMetrics::WorkArea() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : FallbackScreen;
}

double QtScreenMetrics::LogicalDpiX() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return UsableDpi(screen ? screen->logicalDotsPerInchX() : StandardDpi);
}

double QtScreenMetrics::LogicalDpiY() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return UsableDpi(screen ? screen->logicalDotsPerInchY() : StandardDpi);
}
