#include "mail/HeaderFields.h"

#include "mail/CharsetWordDecoder.h"
#include "mail/HeaderDecoder.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QTime>

namespace {

bool isFoldBlank(char c) { return c == ' ' || c == '\t'; }

qsizetype lengthWithoutTrailingBlanks(QByteArrayView text)
{
    qsizetype end = text.size();
    while (end > 0 && isFoldBlank(text.at(end - 1)))
        --end;
    return end;
}

qsizetype leadingFoldBlanks(QByteArrayView text)
{
    qsizetype start = 0;
    while (start < text.size() && isFoldBlank(text.at(start)))
        ++start;
    return start;
}

// Whether an encoded word opens the line, after its fold blanks. Words are
// ASCII, so reading the bytes one to one as Latin-1 finds them whatever the
// rest is written in. The word found first is the one at the earliest start,
// and a word is a word whatever stands before it.
bool startsWithWord(QByteArrayView line)
{
    const QByteArrayView rest = line.sliced(leadingFoldBlanks(line));
    // Most lines are no such thing, and need no text made of them to say so.
    if (!rest.startsWith("=?"))
        return false;
    const std::optional<EncodedWord> word = FindEncodedWord(QString::fromLatin1(rest), 0);
    return word && word->closed && word->start == 0;
}

// Whether the line's last encoded word, as the words follow one another from
// its start, closes it before any trailing blanks.
bool endsWithWord(QByteArrayView line)
{
    const qsizetype last = lengthWithoutTrailingBlanks(line);
    if (!line.first(last).endsWith("?="))
        return false;
    const QString text = QString::fromLatin1(line);
    for (std::optional<EncodedWord> word = FindEncodedWord(text, 0); word && word->closed;
         word = FindEncodedWord(text, word->end))
        if (word->end == last)
            return true;
    return false;
}

// Unfolds the header and hands each field's bytes to visit, in block order.
// A field on one line is handed as it stands in the block; only a folded one
// is put together, in a buffer the next folded field reuses, so the bytes
// handed over last only until visit returns. The header ends at the first
// empty line: anything after it is body text, which must never be taken for
// a sender or subject.
template <class Visit> void forEachUnfoldedField(QByteArrayView headerBlock, Visit visit)
{
    bool hasField = false;
    QByteArrayView field; // the field, while it stands on one line
    QByteArray folded; // the field, once a line continues it
    bool isFolded = false;
    QByteArrayView lastLine; // the field's last line with more than blanks on it
    const auto handOver = [&] {
        if (hasField)
            visit(isFolded ? QByteArrayView(folded) : field);
    };
    bool started = false;
    for (qsizetype pos = 0; pos <= headerBlock.size();) {
        qsizetype lineFeed = headerBlock.indexOf('\n', pos);
        if (lineFeed < 0)
            lineFeed = headerBlock.size();
        QByteArrayView line = headerBlock.sliced(pos, lineFeed - pos);
        pos = lineFeed + 1;
        // CR LF ends a line, and a CR left before it goes too.
        for (int i = 0; i < 2 && line.endsWith('\r'); ++i)
            line.chop(1);
        if (line.isEmpty()) {
            if (started)
                break;
            continue;
        }
        started = true;
        if (isFoldBlank(line.at(0))) {
            if (!hasField)
                continue; // a continuation of nothing
            if (!isFolded) {
                folded.truncate(0);
                folded += field;
                isFolded = true;
            }
            // White space that only separates two encoded words is not part of
            // the text; keeping it would split long Japanese subjects with blanks.
            if (startsWithWord(line) && endsWithWord(lastLine)) {
                folded.truncate(lengthWithoutTrailingBlanks(folded));
                folded += line.sliced(leadingFoldBlanks(line));
            } else {
                folded += line;
            }
            // A line of blanks alone leaves the field ending where it did.
            if (leadingFoldBlanks(line) < line.size())
                lastLine = line;
            continue;
        }
        handOver();
        hasField = true;
        field = line;
        isFolded = false;
        lastLine = line;
    }
    handOver();
}

// The value after "name:" when the field carries that name, letter case ignored.
bool fieldValue(QByteArrayView field, QByteArrayView name, QByteArrayView& value)
{
    if (field.size() <= name.size() || field.at(name.size()) != ':')
        return false;
    // The names are ASCII letters, so setting the 0x20 bit of both sides
    // ignores case; no other byte becomes a letter by it.
    for (qsizetype i = 0; i < name.size(); ++i)
        if ((field[i] | 0x20) != (name[i] | 0x20))
            return false;
    value = field.sliced(name.size() + 1);
    return true;
}

// Shown text never holds control characters but the tab: a line break or an
// escape would garble a list row.
QString displayText(QByteArrayView value)
{
    QString text = DecodeHeaderText(HeaderBytesToText(value));
    // The control characters (Cc), spelt out: asking for the category of every
    // character costs more than the decoding.
    text.removeIf([](QChar c) { return c != u'\t' && (c < u'\x20' || (c >= u'\x7F' && c <= u'\x9F')); });
    // Built piece by piece, the text has room to spare; a large mailbox keeps
    // two of them for every message it announces.
    text.squeeze();
    return text;
}

// Reads the date left to right, once: each part takes what it can and never
// gives any back, so a value of any length costs one pass.
class DateReader {
public:
    explicit DateReader(QStringView text)
        : m_text(text)
    {
    }

    qsizetype blanks()
    {
        const qsizetype start = m_pos;
        while (m_pos < m_text.size() && (m_text.at(m_pos) == u' ' || m_text.at(m_pos) == u'\t'))
            ++m_pos;
        return m_pos - start;
    }

    QStringView letters()
    {
        const qsizetype start = m_pos;
        while (m_pos < m_text.size() && isLetter(m_text.at(m_pos)))
            ++m_pos;
        return m_text.sliced(start, m_pos - start);
    }

    // The digits here, as a number, with their count; at most 5 are kept,
    // since no part of a date has more.
    int digits(qsizetype& count)
    {
        const qsizetype start = m_pos;
        int value = 0;
        while (m_pos < m_text.size() && isDigit(m_text.at(m_pos))) {
            if (m_pos - start < 5)
                value = value * 10 + (m_text.at(m_pos).unicode() - u'0');
            ++m_pos;
        }
        count = m_pos - start;
        return value;
    }

    bool take(QChar c)
    {
        if (m_pos < m_text.size() && m_text.at(m_pos) == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    bool atDigitOrColon() const
    {
        return m_pos < m_text.size() && (isDigit(m_text.at(m_pos)) || m_text.at(m_pos) == u':');
    }

    bool atLetter() const { return m_pos < m_text.size() && isLetter(m_text.at(m_pos)); }

private:
    static bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }
    static bool isLetter(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

    QStringView m_text;
    qsizetype m_pos = 0;
};

// The name holds ASCII letters alone (DateReader::letters), so setting the
// 0x20 bit is all it takes to ignore their case.
int monthNumber(QStringView abbreviation)
{
    static constexpr char names[] = "janfebmaraprmayjunjulaugsepoctnovdec";
    if (abbreviation.size() != 3)
        return 0;
    for (int i = 0; i < 12; ++i) {
        const char* name = names + 3 * i;
        if ((abbreviation[0].unicode() | 0x20) == name[0] && (abbreviation[1].unicode() | 0x20) == name[1]
            && (abbreviation[2].unicode() | 0x20) == name[2])
            return i + 1;
    }
    return 0;
}

} // namespace

// The time stays as the sender wrote it: the zone is cut off, not applied.
QString FormatHeaderDate(const QString& value)
{
    // An optional weekday (with or without its comma), day, month, year, time;
    // whatever follows the time (zone, comment) is ignored.
    DateReader in(value);
    in.blanks();
    if (in.atLetter()) {
        in.letters();
        in.blanks();
        in.take(u',');
        in.blanks();
    }
    qsizetype count = 0;
    const int dayOfMonth = in.digits(count);
    if (count < 1 || count > 2 || in.blanks() == 0)
        return {};
    const QStringView monthName = in.letters();
    const int month = monthName.size() == 3 ? monthNumber(monthName) : 0;
    if (month == 0 || in.blanks() == 0)
        return {};
    int year = in.digits(count);
    if ((count != 2 && count != 4) || in.blanks() == 0)
        return {};
    // Two-digit years follow the mail standard's window: 00-49 are 2000-2049,
    // 50-99 are 1950-1999. Only the leap-day check depends on it, since the
    // year is shown with two digits anyway.
    if (count == 2)
        year += year < 50 ? 2000 : 1900;
    const int hour = in.digits(count);
    if (count < 1 || count > 2 || !in.take(u':'))
        return {};
    const int minute = in.digits(count);
    if (count != 2)
        return {};
    int second = 0;
    if (in.take(u':')) {
        second = in.digits(count);
        if (count != 2)
            return {};
    }
    if (in.atDigitOrColon())
        return {};

    const QDate day(year, month, dayOfMonth);
    const QTime time(hour, minute, second);
    if (!day.isValid() || !time.isValid())
        return {};
    // Date and time apart: a local-time moment would shift times that fall in
    // a daylight-saving gap of the machine's zone. Written digit by digit, as
    // the locale's formatter costs more than all the rest of a header.
    const int parts[] = { year % 100, month, dayOfMonth, hour, minute, second };
    const char16_t after[] = { u'/', u'/', u' ', u':', u':' };
    QString text(17, Qt::Uninitialized);
    QChar* put = text.data();
    for (int i = 0; i < 6; ++i) {
        *put++ = QChar(u'0' + parts[i] / 10);
        *put++ = QChar(u'0' + parts[i] % 10);
        if (i < 5)
            *put++ = QChar(after[i]);
    }
    return text;
}

NewMailItem ExtractHeaderFields(QByteArrayView headerBlock)
{
    NewMailItem fields;
    QByteArrayView value;
    forEachUnfoldedField(headerBlock, [&](QByteArrayView field) {
        if (fieldValue(field, "From", value)) {
            if (!value.isEmpty())
                fields.strFrom = displayText(value);
        } else if (fieldValue(field, "Date", value)) {
            // An unreadable Date line leaves an earlier readable one in place.
            const QString formatted = FormatHeaderDate(QString::fromLatin1(value));
            if (!formatted.isEmpty())
                fields.strDate = formatted;
        } else if (fieldValue(field, "Subject", value)) {
            if (!value.isEmpty())
                fields.strSubject = displayText(value);
        }
    });
    return fields;
}

QList<HeaderField> HeaderFieldList(QByteArrayView headerBlock)
{
    QList<HeaderField> list;
    forEachUnfoldedField(headerBlock, [&list](QByteArrayView field) {
        const qsizetype colon = field.indexOf(':');
        if (colon > 0)
            list.append(
                { field.first(colon).toByteArray(), field.sliced(colon + 1).trimmed().toByteArray() });
    });
    return list;
}
