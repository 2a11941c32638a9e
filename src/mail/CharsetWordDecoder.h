#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringView>

#include <optional>

// Encoded words in charsets and encodings other than ISO-2022-JP in Base64:
// UTF-8, Shift_JIS, EUC-JP, ISO-8859-n and whatever else the converters know,
// in Base64 ("B") or quoted-printable ("Q"). Empty result when the word cannot
// be decoded (unknown charset, broken payload); the caller then keeps it as it came.
std::optional<QString> DecodeCharsetWord(QStringView charset, QChar encoding, QStringView payload);

// The bytes of a "Q" payload: "_" is a blank, "=XX" a byte in hex.
std::optional<QByteArray> QDecodeBytes(QStringView payload);
