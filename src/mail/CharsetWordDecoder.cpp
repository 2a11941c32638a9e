#include "mail/CharsetWordDecoder.h"

#include "mail/KNJconv.h"
#include "platform/CharsetText.h"
#include "platform/Cp932.h"

#include <QStringDecoder>

#include <array>

namespace {

constexpr QLatin1StringView kJisPrefix("=?ISO-2022-JP?B?");

// A table, since every character of every encoded word is looked up here.
constexpr auto kBase64Index = [] {
    std::array<qint8, 128> index {};
    index.fill(-1);
    for (int i = 0; i < 26; ++i) {
        index[size_t('A' + i)] = qint8(i);
        index[size_t('a' + i)] = qint8(26 + i);
    }
    for (int i = 0; i < 10; ++i)
        index[size_t('0' + i)] = qint8(52 + i);
    index['+'] = 62;
    index['/'] = 63;
    return index;
}();

int base64Index(char16_t c) { return c < kBase64Index.size() ? kBase64Index[c] : -1; }

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

bool isOneOf(QStringView name, std::initializer_list<QLatin1StringView> names)
{
    for (const QLatin1StringView candidate : names) {
        // The length first: a case-blind comparison is dear, and most names differ in length.
        if (name.size() == candidate.size() && name.compare(candidate, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool isJis(QStringView name)
{
    return isOneOf(name, { QLatin1StringView("ISO-2022-JP"), QLatin1StringView("csISO2022JP") });
}

QStringView withoutLanguage(QStringView charset)
{
    const qsizetype star = charset.indexOf(u'*');
    return star >= 0 ? charset.left(star) : charset;
}

// Where the two characters first stand together at or after from; -1 when
// nowhere. Runs once per header value and per word, so it is a plain scan
// rather than a general substring search with its set-up cost.
qsizetype indexOfPair(QStringView text, char16_t first, char16_t second, qsizetype from)
{
    for (qsizetype i = qMax<qsizetype>(0, from); i + 1 < text.size(); ++i)
        if (text[i].unicode() == first && text[i + 1].unicode() == second)
            return i;
    return -1;
}

// Whether the ISO-2022-JP Base64 prefix, in any letter case, stands at `at`.
// Asked at every "=?" of a header, so compared by hand: the general
// case-blind comparison costs more than the rest of the search.
bool hasJisPrefix(QStringView text, qsizetype at)
{
    if (text.size() - at < kJisPrefix.size())
        return false;
    for (qsizetype i = 0; i < kJisPrefix.size(); ++i) {
        char16_t c = text[at + i].unicode();
        if (c >= u'a' && c <= u'z')
            c -= 0x20;
        else if (c == 0x017F) // the long s, which case folding takes for an s
            c = u'S';
        if (c != char16_t(kJisPrefix[i].unicode()))
            return false;
    }
    return true;
}

} // namespace

std::optional<EncodedWord> FindEncodedWord(QStringView text, qsizetype from)
{
    // Up to the next "?" over printable ASCII; -1 when something else comes first.
    auto fieldEnd = [&](qsizetype i) -> qsizetype {
        for (; i < text.size(); ++i) {
            const char16_t c = text.at(i).unicode();
            if (c == u'?')
                return i;
            if (c <= u' ' || c >= 0x7F)
                return -1;
        }
        return -1;
    };

    // A candidate that is passed over looks no further than the third "?"
    // after its "=?", and every "=?" holds one, so the candidates together read
    // each character a few times at most.
    for (qsizetype start = indexOfPair(text, u'=', u'?', from); start >= 0;
         start = indexOfPair(text, u'=', u'?', start + 1)) {
        if (hasJisPrefix(text, start)) {
            const QStringView charset = text.sliced(start + 2, kJisPrefix.size() - 5);
            // From the word's start, so a payload that begins with "=" ends at
            // the prefix's own last "?": an empty word.
            const qsizetype e = indexOfPair(text, u'?', u'=', start);
            const qsizetype payloadStart = start + kJisPrefix.size();
            if (e < 0)
                return EncodedWord { start, text.size(), charset, u'B', text.sliced(payloadStart), true,
                    false };
            return EncodedWord { start, e + 2, charset, u'B',
                text.sliced(qMin(payloadStart, e), qMax<qsizetype>(0, e - payloadStart)), true, true };
        }
        const qsizetype charsetEnd = fieldEnd(start + 2);
        if (charsetEnd <= start + 2 || charsetEnd + 2 >= text.size())
            continue;
        const QChar encoding = text.at(charsetEnd + 1);
        if (text.at(charsetEnd + 2) != u'?'
            || (encoding != u'B' && encoding != u'b' && encoding != u'Q' && encoding != u'q'))
            continue;
        const qsizetype payloadEnd = fieldEnd(charsetEnd + 3);
        if (payloadEnd < 0 || payloadEnd + 1 >= text.size() || text.at(payloadEnd + 1) != u'=')
            continue;
        return EncodedWord { start, payloadEnd + 2, text.mid(start + 2, charsetEnd - start - 2), encoding,
            text.mid(charsetEnd + 3, payloadEnd - charsetEnd - 3) };
    }
    return std::nullopt;
}

std::optional<QByteArray> Base64Bytes(QStringView text)
{
    // Written in place: appending byte by byte costs more than the decoding.
    QByteArray bytes(text.size() * 3 / 4 + 1, Qt::Uninitialized);
    char* put = bytes.data();
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
            *put++ = char((queue >> queued) & 0xFF);
        }
    }
    bytes.truncate(put - bytes.data());
    return bytes;
}

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

std::optional<QByteArray> EncodedWordBytes(QChar encoding, QStringView payload)
{
    return encoding.toUpper() == u'B' ? Base64Bytes(payload) : QDecodeBytes(payload);
}

bool JoinableWords(QStringView charsetA, QStringView charsetB)
{
    const QStringView a = withoutLanguage(charsetA);
    return a.compare(withoutLanguage(charsetB), Qt::CaseInsensitive) == 0 && !isJis(a);
}

std::optional<QString> CharsetBytesToText(QStringView charset, const QByteArray& bytes)
{
    const QStringView name = withoutLanguage(charset);

    if (isJis(name))
        return KNJconv::JisWordText(bytes);
    // Code page 932 is what Japanese mailers mean by these names, and its own
    // converter maps it as Windows does.
    if (isOneOf(name,
            { QLatin1StringView("Shift_JIS"), QLatin1StringView("Shift-JIS"), QLatin1StringView("SJIS"),
                QLatin1StringView("x-sjis"), QLatin1StringView("MS_Kanji"), QLatin1StringView("csShiftJIS"),
                QLatin1StringView("CP932"), QLatin1StringView("Windows-31J"),
                QLatin1StringView("windows-932") }))
        return Cp932::Decode(bytes);

    const QByteArray latinName = name.toLatin1();
    // Stateless, so that a character cut off at the end counts as an error
    // instead of vanishing into the decoder's pending state.
    QStringDecoder decoder(latinName.constData(), QStringConverter::Flag::Stateless);
    if (decoder.isValid()) {
        QString text = decoder.decode(bytes);
        if (decoder.hasError())
            return std::nullopt;
        return text;
    }
    return CharsetText::Decode(latinName, bytes);
}
