#include "mail/SpamVerdict.h"

#include "mail/HeaderFields.h"

namespace {

// The fields in which filters give their verdict, and the first word of the
// value that means spam. SpamAssassin writes "X-Spam-Flag: YES" and
// "X-Spam-Status: Yes, score=..."; rspamd "X-Spam: Yes"; hosted filters of
// Japanese providers "X-Spam-Result: SPAM" and "X-MD-Class: spam".
struct Verdict {
    QByteArrayView field;
    QByteArrayView spamWords[2];
};

constexpr Verdict kVerdicts[] {
    { "X-Spam-Flag", { "YES", {} } },
    { "X-Spam-Status", { "Yes", {} } },
    { "X-Spam", { "Yes", "True" } },
    { "X-Spam-Result", { "SPAM", {} } },
    { "X-MD-Class", { "spam", {} } },
};

// The value's first word: up to a blank, a comma or a semicolon.
QByteArrayView firstWord(QByteArrayView value)
{
    qsizetype end = 0;
    while (end < value.size() && value.at(end) != ' ' && value.at(end) != '\t' && value.at(end) != ','
        && value.at(end) != ';')
        ++end;
    return value.first(end);
}

bool saysSpam(const HeaderField& field)
{
    for (const Verdict& verdict : kVerdicts) {
        if (field.name.compare(verdict.field, Qt::CaseInsensitive) != 0)
            continue;
        const QByteArrayView word = firstWord(field.value);
        for (QByteArrayView spam : verdict.spamWords)
            if (!spam.isEmpty() && word.compare(spam, Qt::CaseInsensitive) == 0)
                return true;
    }
    return false;
}

} // namespace

namespace SpamVerdict {

QStringList DefaultTags()
{
    return { QStringLiteral("[meiwaku]"), QStringLiteral("[SPAM]"), QStringLiteral("[[SPAM]]"),
        QStringLiteral("[SPAM-MAIL]"), QStringLiteral("【迷惑メール】"), QStringLiteral("未承諾広告※") };
}

QByteArrayList VerdictFields()
{
    QByteArrayList names;
    for (const Verdict& verdict : kVerdicts)
        names.append(verdict.field.toByteArray());
    return names;
}

bool FilterSaysSpam(QByteArrayView headerBlock)
{
    for (const HeaderField& field : HeaderFieldList(headerBlock))
        if (saysSpam(field))
            return true;
    return false;
}

QString SenderAddress(const QString& from)
{
    const qsizetype close = from.lastIndexOf(u'>');
    const qsizetype open = close < 0 ? -1 : from.lastIndexOf(u'<', close);
    const QString address = open < 0 ? from : from.sliced(open + 1, close - open - 1);
    return address.trimmed().toLower();
}

bool SenderListed(const QString& address, const QStringList& senders)
{
    const qsizetype at = address.lastIndexOf(u'@');
    if (at < 0)
        return false;
    const QStringView domain = QStringView(address).sliced(at + 1);
    for (QString entry : senders) {
        entry = entry.trimmed();
        if (entry.startsWith(u'@'))
            entry.remove(0, 1);
        if (entry.isEmpty())
            continue;
        if (entry.contains(u'@') ? address.compare(entry, Qt::CaseInsensitive) == 0
                                 : domain.compare(entry, Qt::CaseInsensitive) == 0
                    || (domain.endsWith(entry, Qt::CaseInsensitive)
                        && domain.at(domain.size() - entry.size() - 1) == u'.'))
            return true;
    }
    return false;
}

bool IsSpam(QByteArrayView headerBlock, const NewMailItem& fields, const Lists& lists)
{
    const QString subject = fields.strSubject.trimmed();
    for (const QString& tag : lists.tags)
        if (!tag.trimmed().isEmpty() && subject.startsWith(tag.trimmed(), Qt::CaseInsensitive))
            return true;
    return SenderListed(SenderAddress(fields.strFrom), lists.senders) || FilterSaysSpam(headerBlock);
}

} // namespace SpamVerdict
