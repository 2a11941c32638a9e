#include "mail/HeaderFields.h"

#include "mail/CharsetWordDecoder.h"
#include "mail/HeaderDecoder.h"

#include <QDate>
#include <QList>
#include <QRegularExpression>
#include <QStringList>
#include <QTime>

namespace {

bool isFoldBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

qsizetype lengthWithoutTrailingBlanks(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && isFoldBlank(text.at(end - 1)))
        --end;
    return end;
}

// An encoded word standing at the very end of a (partial) field, trailing
// blanks allowed. Read backwards over that word alone (its parts hold no
// blank), so that a field folded many times is not read again for every line.
bool endsWithEncodedWord(const QString& text)
{
    const qsizetype end = lengthWithoutTrailingBlanks(text);
    if (end < 2 || text.at(end - 1) != u'=' || text.at(end - 2) != u'?')
        return false;
    // Back to the "?" before the payload, then to the one before the charset.
    auto previousMark = [&](qsizetype i) {
        while (i >= 0 && text.at(i) != u'?' && !text.at(i).isSpace())
            --i;
        return i >= 0 && text.at(i) == u'?' ? i : -1;
    };
    const qsizetype payloadMark = previousMark(end - 3);
    if (payloadMark < 3 || text.at(payloadMark - 2) != u'?')
        return false;
    const QChar encoding = text.at(payloadMark - 1).toUpper();
    if (encoding != u'B' && encoding != u'Q')
        return false;
    const qsizetype openMark = previousMark(payloadMark - 3);
    return openMark >= 1 && text.at(openMark - 1) == u'=' && openMark + 1 < payloadMark - 2;
}

qsizetype leadingFoldBlanks(QStringView text)
{
    qsizetype start = 0;
    while (start < text.size() && isFoldBlank(text.at(start)))
        ++start;
    return start;
}

// An encoded word at the very start of a continuation, fold blanks allowed.
bool startsWithEncodedWord(QStringView text)
{
    const qsizetype start = leadingFoldBlanks(text);
    const std::optional<EncodedWord> word = FindEncodedWord(text, start);
    return word && word->start == start;
}

// Unfolds the header into one string per field. The header ends at the first
// empty line: anything after it is body text, which must never be taken for a
// sender or subject.
QStringList unfoldedFields(const QString& headerBlock)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r?\n"));
    const QStringList lines = headerBlock.split(lineBreak);

    QStringList fields;
    bool started = false;
    for (const QString& rawLine : lines) {
        QString line = rawLine;
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty()) {
            if (started)
                break;
            continue;
        }
        started = true;
        if (isFoldBlank(line.at(0))) {
            if (fields.isEmpty())
                continue;  // a continuation of nothing
            QString& field = fields.last();
            // White space that only separates two encoded words is not part of
            // the text; keeping it would split long Japanese subjects with blanks.
            if (endsWithEncodedWord(field) && startsWithEncodedWord(line)) {
                field.truncate(lengthWithoutTrailingBlanks(field));
                field += QStringView(line).mid(leadingFoldBlanks(line));
            } else {
                field += line;
            }
            continue;
        }
        fields.append(line);
    }
    return fields;
}

// The value after "name:" when the field carries that name, letter case ignored.
bool fieldValue(const QString& field, QLatin1StringView name, QString& value)
{
    if (field.size() <= name.size() || field.at(name.size()) != u':'
        || !field.startsWith(name, Qt::CaseInsensitive))
        return false;
    value = field.mid(name.size() + 1);
    return true;
}

int monthNumber(QStringView abbreviation)
{
    static const char* const names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i) {
        if (abbreviation.compare(QLatin1StringView(names[i]), Qt::CaseInsensitive) == 0)
            return i + 1;
    }
    return 0;
}

int twoDigits(QStringView text)
{
    int value = 0;
    for (QChar c : text)
        value = value * 10 + (c.unicode() - u'0');
    return value;
}

}  // namespace

// The time stays as the sender wrote it: the zone is cut off, not applied.
QString FormatHeaderDate(const QString& value)
{
    // An optional weekday (with or without its comma), day, month, year, time;
    // whatever follows the time (zone, comment) is ignored.
    static const QRegularExpression date(QStringLiteral(
        R"(^[ \t]*(?:[A-Za-z]+[ \t]*,?[ \t]*)?)"
        R"((\d{1,2})[ \t]+([A-Za-z]{3})[ \t]+(\d{4}|\d{2})[ \t]+)"
        R"((\d{1,2}):(\d{2})(?::(\d{2}))?(?![\d:]))"));
    const QRegularExpressionMatch m = date.match(value);
    if (!m.hasMatch())
        return {};

    const int month = monthNumber(m.capturedView(2));
    if (month == 0)
        return {};
    int year = twoDigits(m.capturedView(3));
    // Two-digit years follow the mail standard's window: 00-49 are 2000-2049,
    // 50-99 are 1950-1999. Only the leap-day check depends on it, since the
    // year is shown with two digits anyway.
    if (m.capturedLength(3) == 2)
        year += year < 50 ? 2000 : 1900;
    const QDate day(year, month, twoDigits(m.capturedView(1)));
    const QTime time(twoDigits(m.capturedView(4)), twoDigits(m.capturedView(5)),
                     m.capturedLength(6) > 0 ? twoDigits(m.capturedView(6)) : 0);
    if (!day.isValid() || !time.isValid())
        return {};
    // Date and time apart: a local-time moment would shift times that fall in
    // a daylight-saving gap of the machine's zone.
    return day.toString(QStringLiteral("yy/MM/dd")) + u' ' + time.toString(QStringLiteral("HH:mm:ss"));
}

HeaderFields ExtractHeaderFields(const QString& headerBlock)
{
    HeaderFields fields;
    QString value;
    for (const QString& field : unfoldedFields(headerBlock)) {
        if (fieldValue(field, QLatin1StringView("From"), value)) {
            if (!value.isEmpty())
                fields.strFrom = DecodeHeaderText(value);
        } else if (fieldValue(field, QLatin1StringView("Date"), value)) {
            // An unreadable Date line leaves an earlier readable one in place.
            const QString formatted = FormatHeaderDate(value);
            if (!formatted.isEmpty())
                fields.strDate = formatted;
        } else if (fieldValue(field, QLatin1StringView("Subject"), value)) {
            if (!value.isEmpty())
                fields.strSubject = DecodeHeaderText(value);
        }
    }
    return fields;
}
