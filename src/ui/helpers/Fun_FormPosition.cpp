#include "ui/helpers/Fun_FormPosition.h"

#include "platform/gui/ScreenMetrics.h"
#include "ui/helpers/Fun_SystemMetrics.h"

#include <QWidget>

namespace Fun_FormPosition {

void FormPosition(QWidget& window, qint32 code)
{
    if (code < 1 || code > 5)
        return;

    using namespace Fun_SystemMetrics;
    const double tppX = TwipsPerPixelX();
    const double tppY = TwipsPerPixelY();
    const double SW = ScreenWidth();
    const double SH = ScreenHeight();
    // The outer size, frame included, as the window's own width and height are.
    const QRect frame = window.frameGeometry();
    const double W = frame.width() * tppX;
    const double H = frame.height() * tppY;

    double top = 0.0;
    double left = 0.0;
    switch (code) {
    case 1:
        top = (SH - H) / 2.0;
        left = (SW - W) / 2.0;
        break;
    case 2:
        top = SH - (H + GetTaskbarHeight());
        left = SW - W;
        break;
    case 3:
        top = 0.0;
        left = SW - W;
        break;
    case 4:
        top = SH - (H + GetTaskbarHeight());
        left = 0.0;
        break;
    case 5:
        break;
    }

    const QPoint origin = ScreenMetrics::Current().ScreenGeometry().topLeft();
    window.move(origin.x() + qRound(left / tppX), origin.y() + qRound(top / tppY));
}

}  // namespace Fun_FormPosition
