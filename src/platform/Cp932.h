#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Code page 932, the encoding of the settings file and of the socket text.
// Neither direction ever fails a whole text: an undecodable byte or pair
// becomes U+30FB, a character without a code becomes "?".
namespace Cp932 {

QString Decode(QByteArrayView bytes);
QByteArray Encode(QStringView text);
// The same, appended: a whole file is encoded piece by piece into one buffer.
void EncodeAppend(QByteArray& out, QStringView text);

// True for the first byte of a double-byte character.
bool IsLeadByte(unsigned char byte);

// False when the system offers no converter for code page 932 in either
// direction: every text would then turn into "?" on its way out.
bool IsAvailable();

// Test hook: the converter name IsAvailable asks for; empty restores the real one.
void SetConverterNameForTests(const QByteArray& name);

} // namespace Cp932
