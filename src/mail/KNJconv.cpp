#include "mail/KNJconv.h"

#include "platform/Cp932.h"

#include <algorithm>

namespace KNJconv {

namespace {

    constexpr char kEsc = 0x1B;

    bool isJisByte(int code) { return code >= 0x21 && code <= 0x7E; }

    // Narrower than the code page's own lead bytes: 0xF0-0xFC (user-defined
    // and vendor rows) are read as single characters inside encoded words.
    bool isShiftJisLead(unsigned char byte)
    {
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xEF);
    }

    // Writes the two code page bytes of one JIS X 0208 pair (both 0x21-0x7E).
    char* putSjisPair(char* put, int j1, int j2)
    {
        int trail;
        if (j1 % 2 == 0) {
            j1 -= 1;
            trail = j2 + 125;
        } else {
            trail = j2 + 31;
        }
        if (trail > 126)
            trail += 1;
        int lead = (j1 - 33) / 2 + 129;
        if (lead > 159)
            lead += 64;
        *put++ = char(lead & 0xFF);
        *put++ = char(trail & 0xFF);
        return put;
    }

    enum class Escape { None, ToKanji, ToSingleBytes };

    // Old mailers still announce JIS C 6226-1978 with ESC $ @ and go back
    // with the JIS X 0201 Roman ESC ( J; both read as their current forms.
    Escape escapeAt(QByteArrayView bytes, qsizetype i)
    {
        if (i + 2 >= bytes.size() || bytes.at(i) != kEsc)
            return Escape::None;
        const char middle = bytes.at(i + 1);
        const char last = bytes.at(i + 2);
        if (middle == '$' && (last == 'B' || last == '@'))
            return Escape::ToKanji;
        if (middle == '(' && (last == 'B' || last == 'J'))
            return Escape::ToSingleBytes;
        return Escape::None;
    }

} // namespace

bool HasJisEscape(QByteArrayView bytes)
{
    for (qsizetype i = bytes.indexOf(kEsc); i >= 0; i = bytes.indexOf(kEsc, i + 1)) {
        if (escapeAt(bytes, i) != Escape::None)
            return true;
    }
    return false;
}

QByteArray JisBytesToSjis(QByteArrayView bytes)
{
    const qsizetype n = bytes.size();
    // Never longer than the input: escapes go, and a pair stays two bytes.
    // Written in place, since appending byte by byte costs more than the mapping.
    QByteArray result(n, Qt::Uninitialized);
    char* put = result.data();
    const auto rest = [&](qsizetype from) {
        put = std::copy(bytes.begin() + from, bytes.end(), put);
        result.truncate(put - result.data());
        return result;
    };
    bool kanji = false;
    qsizetype i = 0;
    while (i < n) {
        switch (escapeAt(bytes, i)) {
        case Escape::ToKanji:
            // Too short to hold a pair and its closing escape: shown as it
            // came rather than read past the end.
            if (n - (i + 3) < 3)
                return rest(i);
            kanji = true;
            i += 3;
            continue;
        case Escape::ToSingleBytes:
            kanji = false;
            i += 3;
            continue;
        case Escape::None:
            break;
        }
        if (!kanji) {
            *put++ = bytes.at(i);
            ++i;
            continue;
        }
        const int j1 = static_cast<unsigned char>(bytes.at(i));
        const int j2 = i + 1 < n ? static_cast<unsigned char>(bytes.at(i + 1)) : -1;
        if (isJisByte(j1) && isJisByte(j2)) {
            put = putSjisPair(put, j1, j2);
            i += 2;
        } else {
            // Only the first byte is dropped: an escape that starts at the
            // second still counts.
            ++i;
        }
        // The end of a run that never closes has always been shown as it
        // stands, so the cut-off bytes stay visible; a closing escape there
        // is read as usual.
        if (n - i <= 3 && escapeAt(bytes, i) == Escape::None)
            return rest(i);
    }
    return rest(n);
}

QString SjisBytesToText(QByteArrayView bytes)
{
    QString text;
    qsizetype from = 0; // start of the bytes that the code page reads as they are meant here
    qsizetype i = 0;
    while (i < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes.at(i));
        if (isShiftJisLead(byte)) {
            if (i + 1 == bytes.size())
                break;
            i += 2;
        } else if (Cp932::IsLeadByte(byte)) {
            // The code page would take the next byte with this one.
            ++i;
            text += Cp932::Decode(bytes.sliced(from, i - from));
            from = i;
        } else {
            ++i;
        }
    }
    text += Cp932::Decode(bytes.sliced(from, i - from));
    return text;
}

QString JisWordText(QByteArrayView bytes)
{
    const QString text = SjisBytesToText(JisBytesToSjis(bytes));
    qsizetype blanks = 0;
    while (blanks < text.size() && text.at(blanks) == u' ')
        ++blanks;
    return blanks == 0 ? text : text.sliced(blanks);
}

} // namespace KNJconv
