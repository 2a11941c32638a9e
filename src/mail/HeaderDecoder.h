#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

// Decodes the MIME encoded words of one header value (From or Subject) into
// display text. Text around the words stays as it is, blanks included. Runs
// in time linear in the value's length, and the result is never longer than
// the value.
QString DecodeHeaderText(const QString& value);

// Base64 as encoded words need it: "=" ends the data, any other character
// outside the alphabet gives no result at all. The bytes are read as
// Shift_JIS characters, as in an ISO-2022-JP word.
std::optional<QString> Base64Decode(const QString& text);

// A header value as it came from the server, as text: ISO-2022-JP escapes
// decoded, otherwise valid UTF-8 with non-ASCII bytes read as UTF-8, anything
// else read as code page 932. Encoded words are ASCII and pass unchanged.
QString HeaderBytesToText(QByteArrayView raw);
