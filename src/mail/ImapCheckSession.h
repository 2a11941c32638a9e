#pragma once

#include "mail/CheckRequest.h"
#include "mail/ImapCommands.h"
#include "mail/clsWinSockOperate.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>

#include <functional>
#include <optional>

// The IMAP dialogue of one check, read-only from start to end: greeting,
// TLS (implicit on 993, else STARTTLS, without which no credentials leave),
// LOGIN, AUTHENTICATE PLAIN where LOGIN is disabled, or a token through
// XOAUTH2 or OAUTHBEARER; EXAMINE INBOX, UID SEARCH UNSEEN, and UID FETCH of
// the new messages' headers with BODY.PEEK, then LOGOUT. No command of it
// changes a flag on the server.
//
// What counts as new, and the seen list kept, follow ImapSeenList.
class ImapCheckSession {
public:
    // The session object must already have its socket and timer.
    explicit ImapCheckSession(clsWinSockOperate& session);

    CheckOutcome Run(const CheckRequest& request);

    // Whether the server listed IDLE (known once a check has signed in).
    bool OffersIdle() const { return m_idle; }

private:
    // What a response handler says: go on, or the check fails here.
    using Handler = std::function<bool(const QByteArray& response)>;

    std::optional<CheckFailure> converse(const CheckRequest& request, CheckOutcome& outcome);
    std::optional<CheckFailure> secure(const CheckRequest& request, QByteArrayList& capabilities);
    std::optional<CheckFailure> signIn(const CheckRequest& request, const QByteArrayList& capabilities);
    // Sends a tagged command (its continuations each after the server's
    // "+"), hands every untagged response to the handler, and gives the
    // tagged status; nothing when the exchange broke. No response may hold
    // more than `bound` bytes.
    std::optional<QByteArray> command(const ImapCommands::Command& sent, const Handler& untagged = {},
        qsizetype bound = clsWinSockOperate::MaxImapResponse);
    std::optional<QByteArray> next(qsizetype bound = clsWinSockOperate::MaxImapResponse);
    // The capabilities the server lists now, asked for when `known` is empty.
    std::optional<QByteArrayList> capabilities(const QByteArrayList& known);

    clsWinSockOperate& m_session;
    int m_tag = 0;
    qint64 m_received = 0;
    qint64 m_bound = 0;
    bool m_idle = false;
};
