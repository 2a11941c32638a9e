#pragma once

#include <QRect>

// The screen the program places its windows on. The program reads the real
// primary screen; tests install fixed figures (a panel at the bottom, another DPI).
class ScreenMetrics {
public:
    virtual ~ScreenMetrics() = default;

    // Whole screen, in pixels of the virtual desktop.
    virtual QRect ScreenGeometry() const = 0;
    // The screen without the panels and docks that windows should not cover.
    virtual QRect WorkArea() const = 0;
    virtual double LogicalDpiX() const = 0;
    virtual double LogicalDpiY() const = 0;

    // The installed service, or the real screen when none is installed.
    static const ScreenMetrics& Current();
    static void Install(const ScreenMetrics* metrics);
};
