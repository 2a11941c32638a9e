#pragma once

class QWidget;

namespace Fun_MouseOperate {

// Hands the window to the window system's own move, as if its title bar were
// dragged, while the left button is held; without the left button it does nothing.
void DragWindow(QWidget& window);

} // namespace Fun_MouseOperate
