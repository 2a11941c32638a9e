#pragma once

#include <QString>

#include <optional>

// Decodes the MIME encoded words of one header value (From or Subject) into
// display text. Text around the words stays as it is.
QString DecodeHeaderText(const QString& value);

// Base64 as the header decoder needs it: "=" ends the data, any other
// character outside the alphabet gives no result at all.
std::optional<QString> Base64Decode(const QString& text);
