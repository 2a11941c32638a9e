#include "mail/Pop3Replies.h"

#include "app/NumericText.h"

#include <QJsonDocument>
#include <QJsonObject>
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

    // The first words of the CAPA lines, letter case ignored, and what
    // follows each, for every line this tag opens.
    template <typename Visit>
    void forEachCapability(QByteArrayView capabilities, QByteArrayView tag, Visit visit)
    {
        qsizetype pos = 0;
        while (pos < capabilities.size()) {
            qsizetype end = capabilities.indexOf('\n', pos);
            if (end < 0)
                end = capabilities.size();
            QByteArrayView line = capabilities.sliced(pos, end - pos).trimmed();
            const qsizetype blank = line.indexOf(' ');
            const QByteArrayView word = blank < 0 ? line : line.first(blank);
            if (word.compare(tag, Qt::CaseInsensitive) == 0)
                visit(blank < 0 ? QByteArrayView() : line.sliced(blank + 1));
            pos = end + 1;
        }
    }

    bool isMechanismName(QByteArrayView word)
    {
        if (word.isEmpty() || word.size() > 20)
            return false;
        for (const char c : word)
            if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_'))
                return false;
        return true;
    }

    // Server text made fit for a STATUS cell: one line, bounded.
    QString reasonText(QString text)
    {
        text.removeIf([](QChar c) { return !c.isPrint(); });
        text = text.trimmed();
        if (text.size() > MaxReasonLength)
            text.truncate(MaxReasonLength - (text[MaxReasonLength - 1].isHighSurrogate() ? 1 : 0));
        return text;
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
    bool listed = false;
    forEachCapability(capabilities, "PIPELINING", [&](QByteArrayView) { listed = true; });
    return listed;
}

QByteArrayList SaslMechanisms(QByteArrayView capabilities)
{
    QByteArrayList mechanisms;
    forEachCapability(capabilities, "SASL", [&](QByteArrayView rest) {
        for (const QByteArray& word : rest.toByteArray().toUpper().simplified().split(' '))
            if (isMechanismName(word) && !mechanisms.contains(word))
                mechanisms.append(word);
    });
    return mechanisms;
}

bool IsContinuation(QByteArrayView statusLine)
{
    return statusLine.startsWith('+') && (statusLine.size() == 1 || statusLine[1] == ' ');
}

QString SaslFailureReason(QByteArrayView statusLine)
{
    if (statusLine.size() >= 4 && statusLine.first(4).compare("-ERR", Qt::CaseInsensitive) == 0)
        return reasonText(QString::fromUtf8(statusLine.sliced(4)));
    if (!IsContinuation(statusLine))
        return {};
    const auto decoded = QByteArray::fromBase64Encoding(
        statusLine.sliced(1).trimmed().toByteArray(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return {};
    const QJsonValue status = QJsonDocument::fromJson(*decoded).object().value(QStringLiteral("status"));
    // Some servers send the HTTP status as a number.
    return reasonText(status.isDouble() ? QString::number(status.toInteger()) : status.toString());
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
