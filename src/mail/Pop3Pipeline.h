#pragma once

#include "mail/clsWinSockOperate.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <deque>
#include <functional>

// Commands sent ahead of their replies, to a server that lists PIPELINING,
// at most a bounded number of bytes of them unanswered, and their replies
// read back one by one in order.
class Pop3Pipeline {
public:
    Pop3Pipeline(clsWinSockOperate& session, clsWinSockOperate::ReplyShape shape, qsizetype count,
        std::function<QByteArray(qsizetype)> commandAt);

    // A command line as it goes out ahead of its reply.
    static QByteArray Line(const QString& command);

    // Reads the next reply into the session's Reply(), sending more commands
    // first when the window has room; false when the connection ended.
    bool next();
    // Reads the replies still owed for commands already sent.
    bool drain();

private:
    bool readReply();

    clsWinSockOperate& m_session;
    clsWinSockOperate::ReplyShape m_shape;
    qsizetype m_count;
    std::function<QByteArray(qsizetype)> m_commandAt;
    qsizetype m_sent = 0;
    // The sizes of the commands sent and not yet answered, oldest first.
    std::deque<qsizetype> m_unanswered;
    qsizetype m_unansweredBytes = 0;
};
