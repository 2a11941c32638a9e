#include "ui/helpers/Fun_MouseOperate.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

namespace Fun_MouseOperate {

void DragWindow(QWidget& window)
{
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    // A system move started without a held button would follow the pointer
    // until the next click on some window systems.
    if (!(QGuiApplication::mouseButtons() & Qt::LeftButton))
        return;
    if (QWindow* handle = window.window()->windowHandle())
        handle->startSystemMove();
}

} // namespace Fun_MouseOperate
