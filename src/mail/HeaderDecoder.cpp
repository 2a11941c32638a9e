#include "mail/HeaderDecoder.h"

#include "mail/CharsetWordDecoder.h"
#include "mail/KNJconv.h"
#include "platform/Cp932.h"

#include <QList>

namespace {

constexpr QLatin1StringView kJisPrefix("=?ISO-2022-JP?B?");

int base64Index(char16_t c)
{
    if (c >= u'A' && c <= u'Z')
        return c - u'A';
    if (c >= u'a' && c <= u'z')
        return c - u'a' + 26;
    if (c >= u'0' && c <= u'9')
        return c - u'0' + 52;
    if (c == u'+')
        return 62;
    if (c == u'/')
        return 63;
    return -1;
}

// Narrower than the code page's own lead bytes: 0xF0-0xFC (user-defined and
// vendor rows) are read as single characters inside encoded words.
bool isShiftJisLead(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xEF);
}

}  // namespace

std::optional<QByteArray> Base64Bytes(QStringView text)
{
    QByteArray bytes;
    quint32 queue = 0;
    int queued = 0;
    for (QChar c : text) {
        if (c == u'=')
            break;
        const int index = base64Index(c.unicode());
        if (index < 0)
            return std::nullopt;
        queue = (queue << 6) | quint32(index);
        queued += 6;
        if (queued >= 8) {
            queued -= 8;
            bytes.append(char((queue >> queued) & 0xFF));
        }
    }
    return bytes;
}

std::optional<QString> Base64Decode(const QString& text)
{
    const std::optional<QByteArray> bytes = Base64Bytes(text);
    if (!bytes)
        return std::nullopt;

    QString result;
    int pendingLead = -1;
    for (char raw : *bytes) {
        const auto byte = static_cast<unsigned char>(raw);
        if (pendingLead >= 0) {
            const char pair[2] = {char(pendingLead), raw};
            result += Cp932::Decode(QByteArrayView(pair, 2));
            pendingLead = -1;
        } else if (isShiftJisLead(byte)) {
            pendingLead = byte;
        } else if (byte < 0x80) {
            result += QChar(byte);
        } else {
            result += Cp932::Decode(QByteArrayView(&raw, 1));
        }
    }
    // A lead byte without its partner at the end carries no character.
    return result;
}

QString JisWordText(const QString& decoded)
{
    QString text = KNJconv::JisToSjis(decoded);
    text.remove(QStringLiteral("\x1b(B"));
    qsizetype blanks = 0;
    while (blanks < text.size() && text.at(blanks) == u' ')
        ++blanks;
    return text.mid(blanks);
}

namespace {

// Decodes a run of directly adjacent words in one charset as one byte string;
// when that fails, each word is decoded alone or kept as it came.
QString decodeCharsetRun(QStringView value, const QList<EncodedWord>& run)
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
        if (const std::optional<QString> text = CharsetBytesToText(run.first().charset, joined))
            return *text;
    }
    if (run.size() == 1)
        return value.mid(run.first().start, run.first().end - run.first().start).toString();

    QString result;
    for (const EncodedWord& word : run)
        result += decodeCharsetRun(value, {word});
    return result;
}

}  // namespace

QString DecodeHeaderText(const QString& value)
{
    QString result;
    qsizetype p = 0;        // first character not yet copied
    qsizetype jisFrom = 0;  // where the next ISO-2022-JP prefix is looked for
    // ISO-2022-JP in Base64 is found by its prefix alone, as mailers have
    // always written it; other words must be well-formed. Both searches are
    // kept until passed, so that a long value is read once.
    qsizetype s = value.indexOf(kJisPrefix, 0, Qt::CaseInsensitive);
    std::optional<EncodedWord> other = FindEncodedWord(value, 0);
    for (;;) {
        if (s >= 0 && s < jisFrom)
            s = value.indexOf(kJisPrefix, jisFrom, Qt::CaseInsensitive);
        if (other && other->start < p)
            other = FindEncodedWord(value, p);

        if (s >= 0 && (!other || s <= other->start)) {
            if (p < s)
                result += QStringView(value).mid(p, s - p);
            // Searching from the word's start means a payload that begins with
            // "=" ends at the prefix's own last "?": an empty word.
            const qsizetype e = value.indexOf(QLatin1StringView("?="), s);
            if (e < 0) {
                result += QStringView(value).mid(s);
                return result;
            }
            const qsizetype payloadStart = s + kJisPrefix.size();
            const QString payload = value.mid(payloadStart, qMax<qsizetype>(0, e - payloadStart));
            if (const std::optional<QString> decoded = Base64Decode(payload))
                result += JisWordText(*decoded);
            else
                result += QStringView(value).mid(s, e + 2 - s);  // undecodable: shown as it came
            jisFrom = s + kJisPrefix.size() + 1;
            p = e + 2;
        } else if (other) {
            if (p < other->start)
                result += QStringView(value).mid(p, other->start - p);
            QList<EncodedWord> run{*other};
            for (;;) {
                other = FindEncodedWord(value, run.last().end);
                if (!other || other->start != run.last().end || !JoinableWords(run.first().charset, other->charset))
                    break;
                run.append(*other);
            }
            result += decodeCharsetRun(value, run);
            p = run.last().end;
            jisFrom = qMax(jisFrom, p);
        } else {
            break;
        }
    }
    if (p < value.size())
        result += QStringView(value).mid(p);
    return result;
}
