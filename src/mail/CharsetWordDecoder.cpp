#include "mail/CharsetWordDecoder.h"

#include "mail/HeaderDecoder.h"
#include "platform/CharsetText.h"
#include "platform/Cp932.h"

#include <QStringDecoder>

namespace {

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

bool isOneOf(QStringView name, std::initializer_list<const char*> names)
{
    for (const char* candidate : names) {
        if (name.compare(QLatin1StringView(candidate), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

}  // namespace

std::optional<QByteArray> QDecodeBytes(QStringView payload)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < payload.size(); ++i) {
        const char16_t c = payload.at(i).unicode();
        if (c == u'_') {
            bytes.append(' ');
        } else if (c == u'=') {
            if (i + 2 >= payload.size())
                return std::nullopt;
            const int high = hexValue(payload.at(i + 1).unicode());
            const int low = hexValue(payload.at(i + 2).unicode());
            if (high < 0 || low < 0)
                return std::nullopt;
            bytes.append(char(high * 16 + low));
            i += 2;
        } else if (c > u' ' && c < 0x7F) {
            bytes.append(char(c));
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

std::optional<QString> DecodeCharsetWord(QStringView charset, QChar encoding, QStringView payload)
{
    // A language tag ("ISO-2022-JP*ja") says nothing about the bytes.
    const qsizetype star = charset.indexOf(u'*');
    const QStringView name = star >= 0 ? charset.left(star) : charset;

    const std::optional<QByteArray> bytes =
        encoding.toUpper() == u'B' ? Base64Bytes(payload) : QDecodeBytes(payload);
    if (!bytes)
        return std::nullopt;

    if (isOneOf(name, {"ISO-2022-JP", "csISO2022JP"}))
        return JisWordText(QString::fromLatin1(*bytes));
    // Code page 932 is what Japanese mailers mean by these names, and its own
    // converter maps it as Windows does.
    if (isOneOf(name, {"Shift_JIS", "Shift-JIS", "SJIS", "x-sjis", "MS_Kanji", "csShiftJIS", "CP932",
                       "Windows-31J", "windows-932"}))
        return Cp932::Decode(*bytes);

    const QByteArray latinName = name.toLatin1();
    QStringDecoder decoder(latinName.constData());
    if (decoder.isValid()) {
        QString text = decoder.decode(*bytes);
        if (!decoder.hasError())
            return text;
        return std::nullopt;
    }
    return CharsetText::Decode(latinName, *bytes);
}
