#include "mail/HeaderDecoder.h"

#include "mail/CharsetWordDecoder.h"
#include "mail/KNJconv.h"
#include "platform/Cp932.h"

#include <QStringDecoder>
#include <QVarLengthArray>

#include <algorithm>
#include <span>

namespace {

QStringView wordText(QStringView value, const EncodedWord& word)
{
    return value.sliced(word.start, word.end - word.start);
}

// Decodes a run of directly adjacent words in one charset as one byte string;
// when that fails, each word is decoded alone or kept as it came. Text longer
// than the words themselves is refused too: no charset may make a header grow.
QString decodeCharsetRun(QStringView value, std::span<const EncodedWord> run)
{
    QByteArray joined;
    bool allBytes = true;
    for (const EncodedWord& word : run) {
        const std::optional<QByteArray> bytes = EncodedWordBytes(word.encoding, word.payload);
        if (!bytes) {
            allBytes = false;
            break;
        }
        joined += *bytes;
    }
    if (allBytes) {
        const std::optional<QString> text = CharsetBytesToText(run.front().charset, joined);
        if (text && text->size() <= run.back().end - run.front().start)
            return *text;
    }
    if (run.size() == 1)
        return wordText(value, run.front()).toString();

    QString result;
    for (const EncodedWord& word : run)
        result += decodeCharsetRun(value, std::span(&word, 1));
    return result;
}

} // namespace

std::optional<QString> Base64Decode(const QString& text)
{
    const std::optional<QByteArray> bytes = Base64Bytes(text);
    if (!bytes)
        return std::nullopt;
    return KNJconv::SjisBytesToText(*bytes);
}

QString DecodeHeaderText(const QString& value)
{
    // Each search goes on after the last word, so that no part of the value
    // is read or copied twice however its words overlap.
    std::optional<EncodedWord> word = FindEncodedWord(value, 0);
    // Most values hold no word at all, and are shown as they are, uncopied.
    if (!word)
        return value;
    QString result;
    // Never longer than the value: room for all of it at once spares the
    // reallocations of a text built piece by piece.
    result.reserve(value.size());
    qsizetype p = 0; // first character not yet copied
    while (word) {
        if (p < word->start)
            result += QStringView(value).sliced(p, word->start - p);
        if (!word->closed) {
            result += QStringView(value).sliced(word->start);
            return result;
        }
        if (word->jisPrefix) {
            if (const std::optional<QByteArray> bytes = Base64Bytes(word->payload))
                result += KNJconv::JisWordText(*bytes);
            else
                result += wordText(value, *word); // undecodable: shown as it came
            p = word->end;
            word = FindEncodedWord(value, p);
            continue;
        }
        // A run is mostly a few words, which stay on the stack.
        QVarLengthArray<EncodedWord, 8> run { *word };
        for (;;) {
            word = FindEncodedWord(value, run.back().end);
            if (!word || word->jisPrefix || word->start != run.back().end
                || !JoinableWords(run.front().charset, word->charset))
                break;
            run.append(*word);
        }
        result += decodeCharsetRun(value, run);
        p = run.back().end;
    }
    if (p < value.size())
        result += QStringView(value).sliced(p);
    return result;
}

QString HeaderBytesToText(QByteArrayView raw)
{
    if (KNJconv::HasJisEscape(raw))
        return Cp932::Decode(KNJconv::JisBytesToSjis(raw));
    const bool ascii
        = std::all_of(raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    // The code page keeps ASCII as it is, control bytes included.
    if (ascii)
        return QString::fromLatin1(raw);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(raw);
    if (!utf8.hasError())
        return text;
    return Cp932::Decode(raw);
}
