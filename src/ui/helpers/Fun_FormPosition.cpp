#include "ui/helpers/Fun_FormPosition.h"

#include "platform/FormPositionCode.h"
#include "platform/gui/ScreenMetrics.h"
#include "ui/helpers/Fun_SystemMetrics.h"

#include <QWidget>

namespace Fun_FormPosition {

void FormPosition(QWidget& window, qint32 code)
{
    if (!FormPositionCode::IsKnown(code))
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
    case FormPositionCode::Centre:
        top = (SH - H) / 2.0;
        left = (SW - W) / 2.0;
        break;
    case FormPositionCode::BottomRight:
        top = SH - (H + GetTaskbarHeight());
        left = SW - W;
        break;
    case FormPositionCode::TopRight:
        top = 0.0;
        left = SW - W;
        break;
    case FormPositionCode::BottomLeft:
        top = SH - (H + GetTaskbarHeight());
        left = 0.0;
        break;
    case FormPositionCode::TopLeft:
        break;
    }

    const QPoint origin = ScreenMetrics::Current().ScreenGeometry().topLeft();
    window.move(origin.x() + qRound(left / tppX), origin.y() + qRound(top / tppY));
}

} // namespace Fun_FormPosition
