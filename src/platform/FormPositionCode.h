#pragma once

#include <QtGlobal>

// Where a top-level window is placed on the screen. The numbers are stored in
// the settings file and follow the order of the options dialog's list, so they
// must never be renumbered.
namespace FormPositionCode {

constexpr qint32 Centre = 1;
// Bottom right, above a bottom panel.
constexpr qint32 BottomRight = 2;
constexpr qint32 TopRight = 3;
// Bottom left, above a bottom panel.
constexpr qint32 BottomLeft = 4;
constexpr qint32 TopLeft = 5;

constexpr qint32 First = Centre;
constexpr qint32 Last = TopLeft;

constexpr bool IsKnown(qint32 code) { return code >= First && code <= Last; }

} // namespace FormPositionCode
