#include "mail/ImapSeenList.h"

#include <QDateTime>

namespace ImapSeenList {

namespace {

    const QLatin1StringView kNewest("newest");
    const QLatin1StringView kEmpty("empty");

    std::optional<qint64> readNewest(const QString& text)
    {
        if (text == kEmpty)
            return EmptyMailbox;
        const QDateTime time = QDateTime::fromString(text, Qt::ISODate);
        return time.isValid() ? std::optional(time.toSecsSinceEpoch()) : std::nullopt;
    }

} // namespace

Seen Read(const QStringList& stored)
{
    Seen read;
    for (const QString& text : stored) {
        bool validityRead = false;
        bool uidRead = false;
        const quint32 validity = text.section(u':', 0, 0).toUInt(&validityRead);
        const QString rest = text.section(u':', 1);
        const quint32 uid = rest.toUInt(&uidRead);
        if (!validityRead || validity == 0 || (read.validity && validity != *read.validity))
            continue;
        if (uidRead) {
            read.validity = validity;
            if (uid != 0)
                read.uids.insert(uid);
        } else if (read.validity && rest.section(u':', 0, 0) == kNewest) {
            read.newest = readNewest(rest.section(u':', 1));
        }
    }
    return read;
}

Rule RuleFor(const Seen& seen, quint32 validity)
{
    if (!seen.validity || *seen.validity == validity)
        return Rule::ByUid;
    return seen.newest ? Rule::ByArrival : Rule::AllKnown;
}

bool NotesNewest(const Seen& seen, quint32 validity)
{
    // A list that notes it is renewed at every check: checks on one
    // connection keep their validity, and the next connection's new one must
    // not find the time of a check that announced mail since.
    return !seen.validity || *seen.validity != validity || seen.newest;
}

bool ArrivedSince(const Seen& seen, qint64 arrived) { return seen.newest && arrived > *seen.newest; }

QStringList Write(quint32 validity, std::optional<qint64> newest, const QList<quint32>& unseen,
    const QList<quint32>& missing)
{
    const QString prefix = QString::number(validity) + u':';
    QStringList list;
    list.reserve(unseen.size() + 2);
    list.append(prefix + u'0');
    if (newest)
        list.append(prefix + kNewest + u':'
            + (*newest == EmptyMailbox
                    ? QString(kEmpty)
                    : QDateTime::fromSecsSinceEpoch(*newest, Qt::UTC).toString(Qt::ISODate)));
    auto skip = missing.cbegin();
    for (const quint32 uid : unseen) {
        while (skip != missing.cend() && *skip < uid)
            ++skip;
        if (skip == missing.cend() || *skip != uid)
            list.append(prefix + QString::number(uid));
    }
    return list;
}

} // namespace ImapSeenList
