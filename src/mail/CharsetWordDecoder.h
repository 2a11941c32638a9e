#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringView>

#include <optional>

// Finding encoded words, and decoding those in charsets and encodings other
// than ISO-2022-JP in Base64: UTF-8, Shift_JIS, EUC-JP, ISO-8859-n and
// whatever else the converters know, in Base64 ("B") or quoted-printable
// ("Q"). Each decoding function gives no result when its input cannot be
// decoded; the caller then keeps the word as it came.

// One encoded word inside a text. A word that begins with the ISO-2022-JP
// Base64 prefix is known by that prefix alone, as mailers have always written
// it, and runs to the first "?=" after its start; any other word must be a
// well-formed "=?charset?E?payload?=" of printable ASCII.
struct EncodedWord {
    qsizetype start = 0; // index of its "=?"
    qsizetype end = 0; // index after its "?=", or the text's size when it never ends
    QStringView charset;
    QChar encoding;
    QStringView payload;
    bool jisPrefix = false; // found by the ISO-2022-JP Base64 prefix
    bool closed = true; // false for a prefix with no "?=" after it
};

// The first encoded word that starts at or after from. Every character is
// looked at a bounded number of times, so a caller that goes on from the
// word's end reads the whole text in time linear in its length.
std::optional<EncodedWord> FindEncodedWord(QStringView text, qsizetype from);

// Base64 as encoded words need it: "=" ends the data, any other character
// outside the alphabet gives no result at all.
std::optional<QByteArray> Base64Bytes(QStringView text);

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
