#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringView>

#include <optional>

// Encoded words in charsets and encodings other than ISO-2022-JP in Base64:
// UTF-8, Shift_JIS, EUC-JP, ISO-8859-n and whatever else the converters know,
// in Base64 ("B") or quoted-printable ("Q"). Each function gives no result
// when its input cannot be decoded; the caller then keeps the word as it came.

// One well-formed encoded word "=?charset?E?payload?=" inside a text.
struct EncodedWord {
    qsizetype start = 0;  // index of its "=?"
    qsizetype end = 0;    // index after its "?="
    QStringView charset;
    QChar encoding;
    QStringView payload;
};

// The first encoded word that starts at or after from; read forwards once,
// so that a long text with many words costs no more than its length.
std::optional<EncodedWord> FindEncodedWord(QStringView text, qsizetype from);

// The bytes of one payload in encoding "B" or "Q" (letter case ignored).
std::optional<QByteArray> EncodedWordBytes(QChar encoding, QStringView payload);

// The bytes of a "Q" payload: "_" is a blank, "=XX" a byte in hex.
std::optional<QByteArray> QDecodeBytes(QStringView payload);

// Bytes in the word's charset as text; a language tag ("UTF-8*en") is ignored.
std::optional<QString> CharsetBytesToText(QStringView charset, const QByteArray& bytes);

// True when two directly adjacent words in these charsets are decoded as one
// run of bytes, since some mailers split a character between words. Words in
// the stateful ISO-2022-JP each end in ASCII and stand alone.
bool JoinableWords(QStringView charsetA, QStringView charsetB);
