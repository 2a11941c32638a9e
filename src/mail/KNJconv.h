#pragma once

#include <QString>

// ISO-2022-JP (JIS) text to Shift_JIS.
namespace KNJconv {

// Converts JIS text between ESC $ B and ESC ( B into double-byte characters.
QString JisToSjis(const QString& text);

// One JIS X 0208 pair as one double-byte Shift_JIS character.
QString JisPairToSjis(QChar j1, QChar j2);

}  // namespace KNJconv
