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

// Where encoded words stand in one line. Words are ASCII, so reading the
// bytes one to one as Latin-1 finds them whatever the rest is written in.
struct LineWords {
    bool startsWithWord = false; // fold blanks allowed before it
    bool endsWithWord = false; // trailing blanks allowed after it
};

LineWords lineWords(QByteArrayView line)
{
    // Most lines hold no word, and need no text made of them to say so.
    qsizetype opener = line.indexOf('=');
    while (opener >= 0 && (opener + 1 == line.size() || line[opener + 1] != '?'))
        opener = line.indexOf('=', opener + 1);
    if (opener < 0)
        return {};
    const QString text = QString::fromLatin1(line);
    const qsizetype first = leadingFoldBlanks(line);
    const qsizetype last = lengthWithoutTrailingBlanks(line);
    LineWords words;
    for (std::optional<EncodedWord> word = FindEncodedWord(text, 0); word && word->closed;
         word = FindEncodedWord(text, word->end)) {
        if (word->start == first)
            words.startsWithWord = true;
        if (word->end == last)
            words.endsWithWord = true;
    }
    return words;
}

// Unfolds the header into one byte string per field. The header ends at the
// first empty line: anything after it is body text, which must never be taken
// for a sender or subject.
QList<QByteArray> unfoldedFields(QByteArrayView headerBlock)
{
    QList<QByteArray> fields;
    fields.reserve(8); // the fields a check asks for, and a few more
    bool fieldEndsWithWord = false;
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
        const LineWords words = lineWords(line);
        if (isFoldBlank(line.at(0))) {
            if (fields.isEmpty())
                continue; // a continuation of nothing
            QByteArray& field = fields.last();
            // White space that only separates two encoded words is not part of
            // the text; keeping it would split long Japanese subjects with blanks.
            if (fieldEndsWithWord && words.startsWithWord) {
                field.truncate(lengthWithoutTrailingBlanks(field));
                field += line.sliced(leadingFoldBlanks(line));
            } else {
                field += line;
            }
            // A line of blanks alone leaves the field ending where it did.
            if (leadingFoldBlanks(line) < line.size())
                fieldEndsWithWord = words.endsWithWord;
            continue;
        }
        fields.append(line.toByteArray());
        fieldEndsWithWord = words.endsWithWord;
    }
    return fields;
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
    for (const QByteArray& field : unfoldedFields(headerBlock)) {
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
    }
    return fields;
}

QList<HeaderField> HeaderFieldList(QByteArrayView headerBlock)
{
    QList<HeaderField> list;
    for (const QByteArray& field : unfoldedFields(headerBlock)) {
        const qsizetype colon = field.indexOf(':');
        if (colon > 0)
            list.append({ field.first(colon), field.sliced(colon + 1).trimmed() });
    }
    return list;
}
