#pragma once

#include "mail/CheckRequest.h"
#include "mail/clsWinSockOperate.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

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

    CheckOutcome Run(const CheckRequest& request);

private:
    class Listing;
    class Pipeline;

    // How a command was answered; None when no reply arrived whole (a lost
    // connection, a time-out, an oversized reply).
    enum class Answer { Positive, Negative, None };

    // Each step gives the failure it ended in, or nothing when the dialogue goes on.
    // Leaves the STAT count and whether the server pipelines for the steps after it.
    std::optional<CheckFailure> converse(
        const CheckRequest& request, Listing& listing, qint32& messageCount, bool& pipelined);
    // With keepUnread, bytes already received and not yet read stay to be
    // read as the reply, where a plain ask drops them.
    Answer ask(const QString& line, clsWinSockOperate::ReplyShape shape, bool keepUnread = false);
    // AUTH with the request's token, by a mechanism the CAPA lines offer.
    std::optional<CheckFailure> signInWithToken(const CheckRequest& request, const QByteArray& capabilities);
    // The UIDL and TOP part.
    std::optional<CheckFailure> listOneByOne(qint32 messageCount, Listing& listing);
    std::optional<CheckFailure> listPipelined(qint32 messageCount, Listing& listing);
    // Keeps and deletes the spam listed; true when QUIT may commit it.
    bool deleteSpam(const CheckRequest& request, qint32 messageCount, bool pipelined, Listing& listing,
        QStringList& kept);

    clsWinSockOperate& m_session;
};
