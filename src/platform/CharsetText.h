#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

// Text in a named charset through the system's own converters, for the
// charsets the Qt build does not know. Empty result when the charset is
// unknown or the bytes are not valid in it.
namespace CharsetText {

std::optional<QString> Decode(QByteArrayView charset, QByteArrayView bytes);

} // namespace CharsetText
