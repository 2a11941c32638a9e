#include "mail/Pop3Replies.h"

#include "app/NumericText.h"

#include <QString>

namespace Pop3Replies {

namespace {

    // Fields are separated by single blanks, so "+OK  3" has an empty second
    // field. Null when the line has no blank at all.
    QByteArrayView secondField(QByteArrayView statusLine)
    {
        const qsizetype first = statusLine.indexOf(' ');
        if (first < 0)
            return {};
        QByteArrayView field = statusLine.sliced(first + 1);
        if (const qsizetype second = field.indexOf(' '); second >= 0)
            field = field.first(second);
        return field;
    }

} // namespace

std::optional<qint32> StatMessageCount(QByteArrayView statusLine)
{
    const QByteArrayView count = secondField(statusLine);
    if (count.isEmpty() || count[0] < '0' || count[0] > '9')
        return std::nullopt;
    const std::optional<qint32> value = NumericText::ToInt32Checked(QString::fromLatin1(count));
    if (!value || *value > MaxMessageCount)
        return std::nullopt;
    return value;
}

std::optional<QByteArray> UidlIdentifier(QByteArrayView statusLine)
{
    QByteArrayView rest = statusLine;
    for (int field = 0; field < 2; ++field) {
        const qsizetype blank = rest.indexOf(' ');
        if (blank < 0)
            return std::nullopt;
        rest = rest.sliced(blank + 1);
    }
    // Some servers pad the line; the blanks are no part of the identifier.
    while (!rest.isEmpty() && (rest.back() == ' ' || rest.back() == '\t'))
        rest.chop(1);
    if (!IsValidIdentifier(rest))
        return std::nullopt;
    return rest.toByteArray();
}

bool UidlAnswers(QByteArrayView statusLine, qint64 message)
{
    return secondField(statusLine) == QByteArray::number(message);
}

bool ListsPipelining(QByteArrayView capabilities)
{
    constexpr QByteArrayView kTag("PIPELINING");
    qsizetype pos = 0;
    while (pos < capabilities.size()) {
        qsizetype end = capabilities.indexOf('\n', pos);
        if (end < 0)
            end = capabilities.size();
        QByteArrayView line = capabilities.sliced(pos, end - pos).trimmed();
        if (const qsizetype blank = line.indexOf(' '); blank >= 0)
            line = line.first(blank);
        if (line.compare(kTag, Qt::CaseInsensitive) == 0)
            return true;
        pos = end + 1;
    }
    return false;
}

bool IsValidIdentifier(QByteArrayView identifier)
{
    if (identifier.isEmpty() || identifier.size() > MaxIdentifierLength)
        return false;
    for (const char c : identifier) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x21 || byte > 0x7E)
            return false;
    }
    return true;
}

} // namespace Pop3Replies
