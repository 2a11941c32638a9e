#pragma once

#include <QString>

namespace Fun_GetKansuji {

// Every digit 0-9 becomes its formal kanji numeral (0 → 零, 1 → 壱, ... 9 → 九);
// every other character stays where it is.
QString GetKansuji(const QString& strText);

} // namespace Fun_GetKansuji
