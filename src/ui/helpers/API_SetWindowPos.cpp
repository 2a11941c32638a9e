#include "ui/helpers/API_SetWindowPos.h"

#include <QWidget>
#include <QWindow>

namespace API_SetWindowPos {

void SetTopMost(QWidget& window, bool activate)
{
    QWidget& top = *window.window();
    const Qt::WindowFlags flags = top.windowFlags() | Qt::WindowStaysOnTopHint;
    if (flags != top.windowFlags()) {
        if (QWindow* handle = top.windowHandle()) {
            // Telling the existing native window keeps it mapped: setWindowFlags
            // would hide and re-create it, and showing it again could take the focus.
            top.overrideWindowFlags(flags);
            handle->setFlags(flags);
        } else {
            top.setWindowFlags(flags);
        }
    }
    if (top.isVisible())
        top.raise();
    if (activate) {
        top.raise();
        top.activateWindow();
    }
}

} // namespace API_SetWindowPos
