#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// ISO-2022-JP (JIS) text to Shift_JIS.
namespace KNJconv {

// Converts JIS text between ESC $ B and ESC ( B into double-byte characters.
QString JisToSjis(const QString& text);

// One JIS X 0208 pair as one double-byte Shift_JIS character.
QString JisPairToSjis(QChar j1, QChar j2);

// The display text of a decoded ISO-2022-JP word: converted to double-byte
// characters, without the closing escape and without leading blanks.
QString JisWordText(const QString& decoded);

// True when the bytes hold one of the escapes that JisBytesToSjis reads.
bool HasJisEscape(QByteArrayView bytes);

// ISO-2022-JP written straight into a header: ESC $ B and ESC $ @ start
// JIS X 0208 pairs, ESC ( B and ESC ( J end them. Gives code page 932 bytes;
// bytes outside the pairs are kept as they are.
QByteArray JisBytesToSjis(QByteArrayView bytes);

} // namespace KNJconv
