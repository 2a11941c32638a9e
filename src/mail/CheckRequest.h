#pragma once

#include "app/NewMailItem.h"
#include "app/StatusText.h"
#include "mail/CheckBudget.h"
#include "mail/SpamVerdict.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

// What one check of one account needs to know.
struct CheckRequest {
    qint32 nAccountIdx = 0; // the account the new-mail items are announced for
    QString server;
    qint32 port = 110;
    QString user;
    QString password;
    // An OAuth2 access token: when set, the account signs in with it through
    // SASL (XOAUTH2, else OAUTHBEARER) and the password is never sent.
    QString accessToken;
    QStringList seen; // the seen list: POP3 identifiers, or IMAP "<UIDVALIDITY>:<UID>"
    bool announceAll = true; // announce every message, seen or not
    qint32 timeOutMs = 10000; // longest silence of one wait
    // The longest a whole check may take: a server that trickles one line
    // at a time never falls silent, and every other account waits behind it.
    // A POP3 listing gets this again and time for each message it counts.
    qint32 longestMs = 5 * 60 * 1000;
    qint64 memoryBound = CheckBudget::DefaultBound;
    // What the arrival window holds while the check runs.
    ArrivalListCost arrival;
    // Set when spam is looked for: new mail it judges spam is not announced.
    std::optional<SpamVerdict::Lists> spam;
};

// How one check ended.
struct CheckOutcome {
    std::optional<CheckFailure> failure; // none: the dialogue ran to its end
    QStringList identifiers; // the seen list to keep (on success)
    QList<NewMailItem> newMail;
    qsizetype spamFound = 0; // new messages judged spam, not announced
    QStringList spamKept; // copies kept of them (the spam folder's names)
    bool spamDeleted = false; // the server took their deletion at QUIT

    bool succeeded() const { return !failure; }
    // The account's STATUS text.
    QString status() const
    {
        return failure ? StatusText::Of(*failure) : StatusText::Success(newMail.size());
    }
};
