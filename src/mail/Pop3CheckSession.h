#pragma once

#include "app/NewMailItem.h"
#include "app/StatusText.h"
#include "mail/CheckBudget.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

class clsWinSockOperate;

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
};

// How one check ended.
struct Pop3CheckOutcome {
    std::optional<CheckFailure> failure; // none: the dialogue ran to its end
    QStringList identifiers; // every identifier listed, in message order (on success)
    QList<NewMailItem> newMail;

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
    std::optional<CheckFailure> converse(const Pop3CheckRequest& request, Listing& listing);
    Answer ask(const QString& line, bool multiLine);
    // AUTH with the request's token, by a mechanism the CAPA lines offer.
    std::optional<CheckFailure> signInWithToken(
        const Pop3CheckRequest& request, const QByteArray& capabilities);
    // The UIDL and TOP part.
    std::optional<CheckFailure> listOneByOne(qint32 messageCount, Listing& listing);
    std::optional<CheckFailure> listPipelined(qint32 messageCount, Listing& listing);

    clsWinSockOperate& m_session;
};
