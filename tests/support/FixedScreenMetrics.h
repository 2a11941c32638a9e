#pragma once

#include "platform/gui/ScreenMetrics.h"

// A screen with figures the test chooses; installed for its lifetime.
class FixedScreenMetrics final : public ScreenMetrics {
public:
    FixedScreenMetrics(QRect screen, QRect workArea, double dpi = 96.0)
        : m_screen(screen)
        , m_workArea(workArea)
        , m_dpi(dpi)
    {
        Install(this);
    }
    ~FixedScreenMetrics() override { Install(nullptr); }

    FixedScreenMetrics(const FixedScreenMetrics&) = delete;
    FixedScreenMetrics& operator=(const FixedScreenMetrics&) = delete;

    QRect ScreenGeometry() const override { return m_screen; }
    QRect WorkArea() const override { return m_workArea; }
    double LogicalDpiX() const override { return m_dpi; }
    double LogicalDpiY() const override { return m_dpi; }

private:
    QRect m_screen;
    QRect m_workArea;
    double m_dpi;
};
