#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

// Decodes the MIME encoded words of one header value (From or Subject) into
// display text. Text around the words stays as it is, blanks included.
QString DecodeHeaderText(const QString& value);

// Base64 as the header decoder needs it: "=" ends the data, any other
// character outside the alphabet gives no result at all. The bytes are read
// as Shift_JIS characters.
std::optional<QString> Base64Decode(const QString& text);

// The bytes behind a Base64 text, with the same rules as Base64Decode.
std::optional<QByteArray> Base64Bytes(QStringView text);

// The display text of a decoded ISO-2022-JP word: converted to double-byte
// characters, without the closing escape and without leading blanks.
QString JisWordText(const QString& decoded);
