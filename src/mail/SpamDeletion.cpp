#include "mail/SpamDeletion.h"

#include "mail/ISpamFolder.h"
#include "mail/Pop3Framing.h"
#include "mail/Pop3Pipeline.h"
#include "mail/Pop3Replies.h"

namespace {

using Shape = clsWinSockOperate::ReplyShape;

QString retrLine(qsizetype message) { return QStringLiteral("RETR ") + QString::number(message); }

QString deleLine(qsizetype message) { return QStringLiteral("DELE ") + QString::number(message); }

// The header lines of a message with LF line ends, up to its empty line.
QByteArrayView headerSection(QByteArrayView text)
{
    if (text.startsWith('\n'))
        return {};
    const qsizetype end = text.indexOf("\n\n");
    return end < 0 ? text : text.first(end + 1);
}

} // namespace

SpamDeletion::SpamDeletion(clsWinSockOperate& session, ISpamFolder& folder)
    : m_session(session)
    , m_folder(folder)
{
}

bool SpamDeletion::Run(const QList<Message>& spam, qint32 messageCount, bool pipelined)
{
    // Without QUIT the server forgets every DELE of the session.
    if (!deleteEach(spam, messageCount, pipelined) || !answered(QStringLiteral("QUIT"), Shape::SingleLine))
        return false;
    m_folder.MarkDeleted(m_kept);
    return true;
}

bool SpamDeletion::deleteEach(const QList<Message>& spam, qint32 messageCount, bool pipelined)
{
    if (pipelined) {
        Pop3Pipeline retr(m_session, Shape::Message, spam.size(),
            [&spam](qsizetype i) { return Pop3Pipeline::Line(retrLine(spam[i].number)); });
        for (const Message& message : spam)
            if (!retr.next() || !keep(message))
                return false;
    }
    // Each DELE is followed by a STAT that must count one message less: a
    // reply out of place (a line nobody asked for, a shifted pipeline) cannot
    // pass for a STAT reply, and no further DELE goes out after it.
    qint32 remaining = messageCount;
    const auto counted = [this, &remaining] {
        const std::optional<qint32> count
            = Pop3Replies::StatMessageCount(Pop3Framing::StatusLine(m_session.Reply()));
        return count && *count == --remaining;
    };
    const auto positive = [this] {
        return m_session.WaitReply(Shape::SingleLine) == clsWinSockOperate::ResultArrived
            && Pop3Framing::IsPositive(Pop3Framing::StatusLine(m_session.Reply()));
    };
    for (const Message& message : spam) {
        if (pipelined) {
            if (!m_session.SendAhead(
                    Pop3Pipeline::Line(deleLine(message.number)) + Pop3Pipeline::Line(QStringLiteral("STAT")))
                || !positive() || !positive() || !counted())
                return false;
            continue;
        }
        if (!answered(retrLine(message.number), Shape::Message) || !keep(message)
            || !answered(deleLine(message.number), Shape::SingleLine)
            || !answered(QStringLiteral("STAT"), Shape::SingleLine) || !counted())
            return false;
    }
    return true;
}

bool SpamDeletion::keep(const Message& message)
{
    // Taken from the session and cut down where it lies, a message of tens
    // of megabytes is held once on its way to the disk.
    QByteArray reply = m_session.TakeReply();
    if (!Pop3Framing::IsPositive(Pop3Framing::StatusLine(reply)))
        return false;
    QByteArray whole = Pop3Framing::MultiLineBodyLf(std::move(reply));
    // A whole message is taken as the one judged only when it begins with
    // the very headers that TOP gave for that number in this session.
    QByteArray judged = message.headers;
    judged.replace("\r\n", "\n");
    if (headerSection(whole) != headerSection(judged))
        return false;
    const QString name = m_folder.Keep(message.identifier, std::move(whole));
    if (name.isEmpty())
        return false;
    m_kept.append(name);
    return true;
}

bool SpamDeletion::answered(const QString& command, Shape shape)
{
    return m_session.SendAhead(Pop3Pipeline::Line(command))
        && m_session.WaitReply(shape) == clsWinSockOperate::ResultArrived
        && Pop3Framing::IsPositive(Pop3Framing::StatusLine(m_session.Reply()));
}
