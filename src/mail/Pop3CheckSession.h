#pragma once

#include "app/NewMailItem.h"
#include "mail/IMailCheckHost.h"

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
    // What the check may hold in memory for what a server answers (the seen
    // test, identifiers, header texts, and the rows and saved seen list they
    // become) before it takes the server as hostile. Room for a first check
    // of 200,000 messages, which people who keep years of mail on the server
    // have and whose check succeeded before there was a bound: that check
    // counts some 136 MiB, and the bound leaves it a tenth more. With the
    // 40-odd MB the program holds anyway, no server gets it much past 155 MB.
    qint64 memoryBound = 150LL * 1024 * 1024;
    // The arrival window's rows while the check runs: the account's own go
    // only when the new ones come, the others' stay.
    ShownArrivalRows shownOwn;
    ShownArrivalRows shownOthers;
};

// How one check ended.
struct Pop3CheckOutcome {
    QString status; // the account's STATUS text
    bool succeeded = false; // the dialogue ran to its end
    QStringList identifiers; // every identifier listed, in message order (on success)
    QList<NewMailItem> newMail;
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

    // Sends a command and reads its reply: whether it is "+OK", or empty when
    // none arrived whole (a lost connection, a time-out, an oversized reply).
    std::optional<bool> ask(const QString& line, bool multiLine);
    // The same, with no reply taken as a refusal.
    bool command(const QString& line, bool multiLine);
    // True when the reply to CAPA lists PIPELINING; empty when the
    // connection was lost or timed out while asking.
    std::optional<bool> askPipelining();
    // AUTH with the request's token, by a mechanism the CAPA lines offer;
    // the STATUS text of a failure, or empty.
    QString signInWithToken(const Pop3CheckRequest& request, const QByteArray& capabilities);
    // The UIDL and TOP part; the STATUS text of a failure, or empty.
    QString listOneByOne(qint32 messageCount, Listing& listing);
    QString listPipelined(qint32 messageCount, Listing& listing);

    clsWinSockOperate& m_session;
};
