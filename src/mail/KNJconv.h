#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// ISO-2022-JP (JIS) to Shift_JIS, on bytes: one converter for encoded words
// and for JIS written straight into a header.
namespace KNJconv {

// True when the bytes hold one of the escapes that JisBytesToSjis reads.
bool HasJisEscape(QByteArrayView bytes);

// ESC $ B and ESC $ @ start JIS X 0208 pairs, ESC ( B and ESC ( J end them;
// the escapes themselves are dropped. Gives code page 932 bytes, never more
// than it was given. Outside kanji every byte is kept as it is; inside, a
// byte that starts no pair is skipped. A kanji escape with fewer than three
// bytes after it, and the last three bytes or fewer of a run that never
// closes, are kept as they came.
QByteArray JisBytesToSjis(QByteArrayView bytes);

// Code page 932 bytes as encoded words are read: 0x81-0x9F and 0xE0-0xEF
// take the next byte with them, 0xF0 and above stand alone, and a lead byte
// cut off at the end carries no character.
QString SjisBytesToText(QByteArrayView bytes);

// The display text of the bytes of an ISO-2022-JP encoded word: converted,
// read as above and without leading blanks.
QString JisWordText(QByteArrayView bytes);

} // namespace KNJconv
