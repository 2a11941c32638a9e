#pragma once

#include <QList>
#include <QSet>
#include <QStringList>
#include <QtGlobal>

#include <limits>
#include <optional>

// The seen list of an IMAP account, as the settings file keeps it in the
// account's "UIDL" keys: "<UIDVALIDITY>:0" first, which keeps the mailbox's
// validity when nothing is unseen, then "<UIDVALIDITY>:<UID>" for each
// message unseen at the last check. A check that had to look at arrival times
// adds "<UIDVALIDITY>:newest:<time>" after the first entry: the INTERNALDATE
// of the newest message then, in UTC ("2026-12-10T03:05:00Z"), or "empty"
// for a mailbox that held nothing. Programs that predate that entry skip it,
// as they skip any entry that is not two numbers.
//
// Some servers give every read-only session a new UIDVALIDITY and number the
// messages afresh, as IMAP allows. Their UIDs cannot tell one check from the
// next, but the arrival times can: what arrived after the newest message of
// the last check is new. A check that finds a new validity without that time
// (a list written before it was kept, or by a check of a server whose
// validity had not changed) takes every unseen message as known, so that a
// rebuilt mailbox never floods the user with old mail.
namespace ImapSeenList {

// The newest arrival of a mailbox that held no message: every arrival is after it.
inline constexpr qint64 EmptyMailbox = std::numeric_limits<qint64>::min();

struct Seen {
    std::optional<quint32> validity; // none: the account was never checked over IMAP
    QSet<quint32> uids;
    // The newest arrival (seconds since the epoch) when the last check noted it.
    std::optional<qint64> newest;
};

// Entries of another form (POP3 identifiers) or another validity than the
// first name nothing.
Seen Read(const QStringList& stored);

enum class Rule {
    ByUid, // the validity stayed: a UID not in the list is new
    ByArrival, // a new validity, and the newest arrival of the last check: what arrived after it is new
    AllKnown, // a new validity without that time: nothing is new
};

Rule RuleFor(const Seen& seen, quint32 validity);

// Whether a check notes the newest arrival for the next one: a first check,
// one that finds a new validity, and one whose list noted it already.
bool NotesNewest(const Seen& seen, quint32 validity);

// Whether a message that arrived at `arrived` is new under Rule::ByArrival.
// One that arrived in the very second of the last check's newest counts as
// known: announcing the newest again at every check would be worse.
bool ArrivedSince(const Seen& seen, qint64 arrived);

// The list to keep: every unseen message but those that were to be fetched
// and did not come, which the next check then asks for again. Both lists
// are in ascending order.
QStringList Write(quint32 validity, std::optional<qint64> newest, const QList<quint32>& unseen,
    const QList<quint32>& missing);

} // namespace ImapSeenList
