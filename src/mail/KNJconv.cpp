#include "mail/KNJconv.h"

#include "platform/Cp932.h"

#include <QByteArray>

namespace KNJconv {

namespace {

    constexpr int kEsc = 0x1B;

    bool isJisByte(int code) { return code >= 0x21 && code <= 0x7E; }

    // Appends the two code page bytes of one JIS X 0208 pair (both 0x21-0x7E).
    void appendSjisPair(QByteArray& bytes, int j1, int j2)
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
        bytes.append(char(lead & 0xFF));
        bytes.append(char(trail & 0xFF));
    }

} // namespace

QString JisPairToSjis(QChar j1, QChar j2)
{
    QByteArray bytes;
    appendSjisPair(bytes, j1.unicode(), j2.unicode());
    return Cp932::Decode(bytes);
}

QString JisToSjis(const QString& text)
{
    const qsizetype n = text.size();
    // Positions are 1-based; a position past either end reads as no character.
    auto code = [&](qsizetype p) -> int { return p >= 1 && p <= n ? text.at(p - 1).unicode() : -1; };
    auto escapeAt = [&](qsizetype p, int middle) {
        return code(p) == kEsc && code(p + 1) == middle && code(p + 2) == 'B';
    };

    QString result;
    QByteArray pairs; // kanji waiting to be turned into text in one go
    auto flush = [&] {
        if (!pairs.isEmpty()) {
            result += Cp932::Decode(pairs);
            pairs.clear();
        }
    };

    bool kanji = false;
    qsizetype p = 1;
    while (p <= n) {
        if (escapeAt(p, '$')) {
            // A kanji run too short to hold a pair and its closing escape is
            // left as it came rather than read past the end.
            if (n - (p + 2) < 3) {
                flush();
                result += text.mid(p - 1);
                return result;
            }
            kanji = true;
            p += 3;
        }
        if (escapeAt(p, '(')) {
            kanji = false;
            p += 3;
        }
        if (kanji) {
            const int j1 = code(p);
            const int j2 = code(p + 1);
            // A broken pair gives nothing; its second character is looked at
            // again, so an escape that starts there still counts.
            if (isJisByte(j1) && isJisByte(j2)) {
                appendSjisPair(pairs, j1, j2);
                p += 1;
            }
        } else if (p <= n) {
            flush();
            result += text.at(p - 1);
        }
        if (p + 3 < n) {
            p += 1;
            continue;
        }
        // The last few characters are copied as they are; a well-formed text
        // ends with ESC ( B here, which the caller removes.
        flush();
        if (p < n)
            result += text.mid(p);
        break;
    }
    flush();
    return result;
}

QString JisWordText(const QString& decoded)
{
    QString text = JisToSjis(decoded);
    text.remove(QStringLiteral("\x1b(B"));
    qsizetype blanks = 0;
    while (blanks < text.size() && text.at(blanks) == u' ')
        ++blanks;
    return text.mid(blanks);
}

namespace {

    // 1 for an escape into kanji, 0 for one back to single bytes, -1 for none.
    int escapeKind(QByteArrayView bytes, qsizetype i)
    {
        if (i + 2 >= bytes.size() || bytes.at(i) != kEsc)
            return -1;
        const char middle = bytes.at(i + 1);
        const char last = bytes.at(i + 2);
        if (middle == '$' && (last == 'B' || last == '@'))
            return 1;
        if (middle == '(' && (last == 'B' || last == 'J'))
            return 0;
        return -1;
    }

} // namespace

bool HasJisEscape(QByteArrayView bytes)
{
    for (qsizetype i = bytes.indexOf(char(kEsc)); i >= 0; i = bytes.indexOf(char(kEsc), i + 1)) {
        if (escapeKind(bytes, i) >= 0)
            return true;
    }
    return false;
}

QByteArray JisBytesToSjis(QByteArrayView bytes)
{
    QByteArray result;
    result.reserve(bytes.size());
    bool kanji = false;
    for (qsizetype i = 0; i < bytes.size();) {
        if (const int kind = escapeKind(bytes, i); kind >= 0) {
            kanji = kind == 1;
            i += 3;
            continue;
        }
        const int j1 = static_cast<unsigned char>(bytes.at(i));
        const int j2 = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes.at(i + 1)) : -1;
        if (kanji && isJisByte(j1) && isJisByte(j2)) {
            appendSjisPair(result, j1, j2);
            i += 2;
        } else {
            // A blank or a stray byte inside kanji is kept rather than paired,
            // so one bad byte does not shift every character after it.
            result.append(char(j1));
            ++i;
        }
    }
    return result;
}

} // namespace KNJconv
