#pragma once

#include "mail/CheckRequest.h"
#include "mail/clsWinSockOperate.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

class ISpamFolder;

// The POP3 dialogue of one check over a connected-to-be session object:
// greeting, CAPA, USER and PASS (or AUTH with a token), STAT (once more without its blank when
// refused), UIDL n and TOP n 0, QUIT. A server that lists PIPELINING gets the
// UIDL and TOP commands ahead of their replies, a bounded number at a time;
// the outcome is the same as the one-by-one dialogue's for the same answers.
// Spam found is then deleted by a step of its own (SpamDeletion), when there
// is a folder to keep it in.
// Knows nothing of windows or list rows.
class Pop3CheckSession {
public:
    // The session object must already have its socket and timer. Spam is
    // deleted only when a folder for the account's copies is given.
    explicit Pop3CheckSession(clsWinSockOperate& session, ISpamFolder* spamFolder = nullptr);

    CheckOutcome Run(const CheckRequest& request);

private:
    class Listing;

    // How a command was answered; None when no reply arrived whole (a lost
    // connection, a time-out, an oversized reply).
    enum class Answer { Positive, Negative, None };

    // Each step gives the failure it ended in, or nothing when the dialogue goes on.
    // Leaves the STAT count and whether the server pipelines for the steps after it.
    std::optional<CheckFailure> converse(
        const CheckRequest& request, Listing& listing, qint32& messageCount, bool& pipelined);
    // Bytes received before the command and not yet read are dropped.
    Answer ask(const QString& line, clsWinSockOperate::ReplyShape shape);
    // AUTH with the request's token, by a mechanism the CAPA lines offer.
    std::optional<CheckFailure> signInWithToken(const CheckRequest& request, const QByteArray& capabilities);
    // The UIDL and TOP part.
    std::optional<CheckFailure> listOneByOne(qint32 messageCount, Listing& listing);
    std::optional<CheckFailure> listPipelined(qint32 messageCount, Listing& listing);

    clsWinSockOperate& m_session;
    ISpamFolder* m_spamFolder;
};
