#pragma once

#include <QtGlobal>

class QWidget;

namespace Fun_FormPosition {

// Places a top-level window: 1 centre, 2 bottom right above a bottom panel,
// 3 top right, 4 bottom left above a bottom panel, 5 top left. Any other code
// leaves the window where it is.
void FormPosition(QWidget& window, qint32 code);

}  // namespace Fun_FormPosition
