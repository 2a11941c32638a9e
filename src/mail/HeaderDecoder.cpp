#include "mail/HeaderDecoder.h"

// Placeholder until the decoder lands.
QString DecodeHeaderText(const QString& value)
{
    return value;
}

std::optional<QString> Base64Decode(const QString&)
{
    return std::nullopt;
}
