#include "mail/Pop3Pipeline.h"

namespace {

// Bytes of commands sent ahead and not yet answered, at most: far under any
// server's receive buffer, so a server that reads one command at a time
// never holds our writes back, yet some 370 commands a round trip, so that a
// distant server with thousands of messages is asked in a few round trips.
constexpr qsizetype kPipelineBytes = 4096;

} // namespace

Pop3Pipeline::Pop3Pipeline(clsWinSockOperate& session, clsWinSockOperate::ReplyShape shape, qsizetype count,
    std::function<QByteArray(qsizetype)> commandAt)
    : m_session(session)
    , m_shape(shape)
    , m_count(count)
    , m_commandAt(std::move(commandAt))
{
}

QByteArray Pop3Pipeline::Line(const QString& command)
{
    return (command + QStringLiteral("\r\n")).toLatin1();
}

bool Pop3Pipeline::next()
{
    // Refilling a quarter of the window at a time keeps the writes few and
    // large, and the window full enough that a long round trip is not idle.
    if (m_sent < m_count && m_unansweredBytes <= kPipelineBytes * 3 / 4) {
        QByteArray batch;
        while (m_sent < m_count) {
            const QByteArray command = m_commandAt(m_sent);
            if (m_unansweredBytes + command.size() > kPipelineBytes)
                break;
            batch += command;
            m_unansweredBytes += command.size();
            m_unanswered.push_back(command.size());
            ++m_sent;
        }
        if (!batch.isEmpty() && !m_session.SendAhead(batch))
            return false;
    }
    return readReply();
}

bool Pop3Pipeline::drain()
{
    while (!m_unanswered.empty())
        if (!readReply())
            return false;
    return true;
}

bool Pop3Pipeline::readReply()
{
    if (m_unanswered.empty() || m_session.WaitReply(m_shape) != clsWinSockOperate::ResultArrived)
        return false;
    m_unansweredBytes -= m_unanswered.front();
    m_unanswered.pop_front();
    return true;
}
