#pragma once

#include <QtGlobal>

class QWidget;

namespace Fun_FormPosition {

// Places a top-level window at one of the FormPositionCode places; any other
// code leaves the window where it is.
void FormPosition(QWidget& window, qint32 code);

} // namespace Fun_FormPosition
