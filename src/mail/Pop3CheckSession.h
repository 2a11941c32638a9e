#pragma once

#include "app/NewMailItem.h"
#include "app/StatusText.h"
#include "mail/CheckBudget.h"
#include "mail/SpamVerdict.h"
#include "mail/clsWinSockOperate.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

class SpamMaildir;

// What one check of one account needs to know.
struct Pop3CheckRequest {
    qint32 nAccountIdx = 0; // the account the new-mail items are announced for
    QString server;
    qint32 port = 110;
    QString user;
    QString password;
    // An OAuth2 access token: when set, the account signs in with it through
    // SASL (XOAUTH2, else OAUTHBEARER) and USER and PASS are never sent.
    QString accessToken;
    QStringList seen; // identifiers listed at the last successful check
    bool announceAll = true; // announce every message, seen or not
    qint32 timeOutMs = 10000; // longest silence of one wait
    qint64 memoryBound = CheckBudget::DefaultBound;
    // What the arrival window holds while the check runs.
    ArrivalListCost arrival;
    // Set when spam is looked for: new mail it judges spam is not announced.
    std::optional<SpamVerdict::Lists> spam;
    // Set when that spam is deleted on the server, after a copy is kept here;
    // `mailbox` names the account's messages there.
    SpamMaildir* keepSpamIn = nullptr;
    QString mailbox;
};

// How one check ended.
struct Pop3CheckOutcome {
    std::optional<CheckFailure> failure; // none: the dialogue ran to its end
    QStringList identifiers; // every identifier listed, in message order (on success)
    QList<NewMailItem> newMail;
    qsizetype spamFound = 0; // new messages judged spam, not announced
    QStringList spamKept; // copies kept of them (SpamMaildir names)
    bool spamDeleted = false; // the server took their deletion at QUIT

    bool succeeded() const { return !failure; }
    // The account's STATUS text.
    QString status() const
    {
        return failure ? StatusText::Of(*failure) : StatusText::Success(newMail.size());
    }
};

// The POP3 dialogue of one check over a connected-to-be session object:
// greeting, CAPA, USER and PASS (or AUTH with a token), STAT (once more without its blank when
// refused), UIDL n and TOP n 0, QUIT. A server that lists PIPELINING gets the
// UIDL and TOP commands ahead of their replies, a bounded number at a time;
// the outcome is the same as the one-by-one dialogue's for the same answers.
// Spam to be deleted is then fetched whole (RETR), kept on the disk, and
// deleted (DELE) with a STAT after each DELE to prove that the replies still
// answer their commands; QUIT, which makes the deletions real, is sent only
// when all of that went as it should.
// Knows nothing of windows or list rows.
class Pop3CheckSession {
public:
    // The session object must already have its socket and timer.
    explicit Pop3CheckSession(clsWinSockOperate& session);

    Pop3CheckOutcome Run(const Pop3CheckRequest& request);

private:
    class Listing;
    class Pipeline;

    // How a command was answered; None when no reply arrived whole (a lost
    // connection, a time-out, an oversized reply).
    enum class Answer { Positive, Negative, None };

    // Each step gives the failure it ended in, or nothing when the dialogue goes on.
    // Leaves the STAT count and whether the server pipelines for the steps after it.
    std::optional<CheckFailure> converse(
        const Pop3CheckRequest& request, Listing& listing, qint32& messageCount, bool& pipelined);
    // With keepUnread, bytes already received and not yet read stay to be
    // read as the reply, where a plain ask drops them.
    Answer ask(const QString& line, clsWinSockOperate::ReplyShape shape, bool keepUnread = false);
    // AUTH with the request's token, by a mechanism the CAPA lines offer.
    std::optional<CheckFailure> signInWithToken(
        const Pop3CheckRequest& request, const QByteArray& capabilities);
    // The UIDL and TOP part.
    std::optional<CheckFailure> listOneByOne(qint32 messageCount, Listing& listing);
    std::optional<CheckFailure> listPipelined(qint32 messageCount, Listing& listing);
    // Keeps and deletes the spam listed; true when QUIT may commit it.
    bool deleteSpam(const Pop3CheckRequest& request, qint32 messageCount, bool pipelined, Listing& listing,
        QStringList& kept);

    clsWinSockOperate& m_session;
};
