#include "mail/HeaderDecoder.h"

#include "mail/CharsetWordDecoder.h"
#include "mail/KNJconv.h"
#include "platform/Cp932.h"

#include <QRegularExpression>

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

QString DecodeHeaderText(const QString& value)
{
    // Any well-formed encoded word; ISO-2022-JP in Base64 is found by its
    // prefix alone, as mailers have always written it.
    static const QRegularExpression anyWord(QStringLiteral(R"(=\?([^?\s]+)\?([BbQq])\?([^?\s]*)\?=)"));

    QString result;
    qsizetype p = 0;        // first character not yet copied
    qsizetype jisFrom = 0;  // where the next ISO-2022-JP prefix is looked for
    for (;;) {
        const qsizetype s = value.indexOf(kJisPrefix, jisFrom, Qt::CaseInsensitive);
        const QRegularExpressionMatch other = anyWord.match(value, p);
        if (s >= 0 && (!other.hasMatch() || s <= other.capturedStart())) {
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
        } else if (other.hasMatch()) {
            const qsizetype start = other.capturedStart();
            if (p < start)
                result += QStringView(value).mid(p, start - p);
            const std::optional<QString> decoded =
                DecodeCharsetWord(other.capturedView(1), other.capturedView(2).at(0), other.capturedView(3));
            result += decoded ? QStringView(*decoded) : other.capturedView(0);
            p = other.capturedEnd();
            jisFrom = qMax(jisFrom, p);
        } else {
            break;
        }
    }
    if (p < value.size())
        result += QStringView(value).mid(p);
    return result;
}
