#pragma once

#include "platform/gui/ScreenMetrics.h"

// The primary screen as Qt reports it; 1024 x 768 at 96 DPI while there is none.
class QtScreenMetrics final : public ScreenMetrics {
public:
    QRect ScreenGeometry() const override;
    QRect WorkArea() const override;
    double LogicalDpiX() const override;
    double LogicalDpiY() const override;
};
