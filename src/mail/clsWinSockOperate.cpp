#include "mail/clsWinSockOperate.h"

#include "app/NumericText.h"
#include "mail/Pop3Framing.h"
#include "platform/Cp932.h"
#include "platform/EventPump.h"
#include "platform/SocketControl.h"
#include "platform/TimerControl.h"

namespace {

constexpr qint32 kKeepWaiting = -1;

} // namespace

clsWinSockOperate::clsWinSockOperate() = default;

clsWinSockOperate::~clsWinSockOperate()
{
    CloseConnection();
    // A tick after this object is gone would have nobody to tell.
    stopTimer();
    if (m_deadline)
        m_deadline->setEnabled(false);
}

void clsWinSockOperate::Timer(TimerControl* timer) { m_timer = timer; }

void clsWinSockOperate::TimeOutSecond(qint32 milliseconds)
{
    if (m_timer)
        m_timer->setInterval(milliseconds);
}

void clsWinSockOperate::RemoteHost(const QString& host)
{
    if (m_winSock)
        m_winSock->setRemoteHost(host);
}

void clsWinSockOperate::RemotePort(const QString& port)
{
    if (m_winSock)
        m_winSock->setRemotePort(NumericText::ToInt32(port));
}

void clsWinSockOperate::WinSock(SocketControl* socket) { m_winSock = socket; }

void clsWinSockOperate::Budget(CheckBudget* budget) { m_budget = budget ? budget : &m_ownBudget; }

void clsWinSockOperate::DeadlineTimer(TimerControl* timer) { m_deadline = timer; }

void clsWinSockOperate::AllowFor(qint32 milliseconds)
{
    if (!m_deadline)
        return;
    m_deadline->setEnabled(false);
    m_deadline->setInterval(milliseconds);
    m_deadline->setEnabled(milliseconds > 0);
}

bool clsWinSockOperate::Connect(bool bWaitConnectedOnly)
{
    bAbortRequested = false;
    bTimedOut = false;
    m_lastArrival.clear();
    m_pending.clear();
    m_consumed = 0;
    m_reply.clear();
    restartTimer();
    if (!m_winSock) {
        stopTimer();
        return false;
    }
    m_winSock->Close();
    if (!m_winSock->Connect()) {
        // The request itself was refused: report it like any connection error.
        ErrorReceiver(m_winSock->LastErrorDescription());
        stopTimer();
        m_winSock->Close();
        return false;
    }

    return waitForConnection([&]() -> qint32 {
        const int state = m_winSock->State();
        if (state == SocketControl::StateConnected && (bWaitConnectedOnly || !m_lastArrival.isEmpty()))
            return 1;
        if (bAbortRequested || bTimedOut || m_boundPassed)
            return 0;
        if (state == SocketControl::StateClosed || state == SocketControl::StateClosing
            || state == SocketControl::StateConnectionPending || state == SocketControl::StateError)
            return 0;
        return kKeepWaiting;
    });
}

bool clsWinSockOperate::waitForConnection(const std::function<qint32()>& passRule)
{
    const qint32 result = waitUntil(passRule);
    stopTimer();
    if (result == 1)
        return true;
    m_winSock->Close();
    return false;
}

bool clsWinSockOperate::StartTls()
{
    m_pending.clear();
    m_consumed = 0;
    if (!m_winSock || !m_winSock->StartTls())
        return false;
    restartTimer();
    return waitForConnection([&]() -> qint32 {
        const int state = m_winSock->State();
        if (state == SocketControl::StateConnected)
            return 1;
        if (bAbortRequested || bTimedOut || m_boundPassed || state != SocketControl::StateConnecting)
            return 0;
        return kKeepWaiting;
    });
}

void clsWinSockOperate::UserClose()
{
    bAbortRequested = true;
    // The wait may be asleep with nothing queued; it must look at the flag now.
    EventPump::WakeUp();
}

QString clsWinSockOperate::GetData() const { return Cp932::Decode(m_lastArrival); }

bool clsWinSockOperate::SendData(const QString& strData, bool bWaitResponse)
{
    m_lastArrival.clear();
    // Whatever came unasked before this command belongs to no reply.
    m_pending.clear();
    m_consumed = 0;
    heldWithinBound();
    if (!m_winSock || !m_winSock->SendData(strData))
        return false;
    if (bWaitResponse)
        return WaitArrival(false) != ResultTimedOut;
    return true;
}

bool clsWinSockOperate::SendAhead(const QByteArray& commands)
{
    return m_winSock && m_winSock->SendBytes(commands);
}

qint32 clsWinSockOperate::WaitArrival(bool bClearData)
{
    restartTimer();
    if (bClearData)
        m_lastArrival.clear();
    return waitUntil([&]() -> qint32 {
        if (const qint32 ended = connectionEnded(); ended != kKeepWaiting)
            return ended;
        if (!m_lastArrival.isEmpty()) {
            stopTimer();
            return ResultArrived;
        }
        return kKeepWaiting;
    });
}

qint32 clsWinSockOperate::WaitReply(ReplyShape shape)
{
    using namespace Pop3Framing;
    restartTimer();
    m_reply.clear();
    qsizetype resumeAt = 0;
    qsizetype seen = -1;
    return waitUntil([&]() -> qint32 {
        // The program's end and the check's bounds come before any reply: a
        // server that never stops sending would always have one ready.
        if (bAbortRequested || m_boundPassed)
            return connectionEnded();
        const QByteArrayView unread = QByteArrayView(m_pending).sliced(m_consumed);
        // A reply that is complete counts even when the server closed right
        // after it ("-ERR" and hang up is common), or when the time-out
        // fired in the same pass: it came in time to be read.
        const Frame frame = shape == ReplyShape::SingleLine ? ScanSingleLine(unread)
            : shape == ReplyShape::MultiLine                ? ScanMultiLine(unread, resumeAt)
                                                            : ScanMultiLine(unread, resumeAt, MaxMessage);
        resumeAt = frame.resumeAt;
        if (frame.state == FrameState::Complete) {
            stopTimer();
            bTimedOut = false;
            if (m_consumed == 0 && frame.length == m_pending.size()) {
                // The usual case, and the one of a whole message: no copy.
                m_reply = std::exchange(m_pending, QByteArray());
            } else {
                m_reply = unread.first(frame.length).toByteArray();
                consume(frame.length);
            }
            heldWithinBound();
            return ResultArrived;
        }
        if (frame.state == FrameState::TooLong) {
            stopTimer();
            CloseConnection();
            return ResultTooLong;
        }
        // The time-out is the longest silence: a reply that keeps coming,
        // however slowly, is still being answered.
        if (unread.size() != seen) {
            if (seen >= 0) {
                bTimedOut = false;
                restartTimer();
            }
            seen = unread.size();
        }
        return connectionEnded();
    });
}

void clsWinSockOperate::consume(qsizetype length)
{
    m_consumed += length;
    // Replies that were sent ahead wait behind this one; moving them to the
    // front after every reply would cost their length each time.
    if (m_consumed == m_pending.size()) {
        m_pending.clear();
        m_consumed = 0;
    } else if (m_consumed > 64 * 1024 && m_consumed * 2 > m_pending.size()) {
        m_pending.remove(0, m_consumed);
        m_consumed = 0;
    }
}

qint32 clsWinSockOperate::connectionEnded()
{
    const int state = m_winSock ? m_winSock->State() : SocketControl::StateClosed;
    if (state == SocketControl::StateClosed || state == SocketControl::StateClosing
        || state == SocketControl::StateConnectionPending) {
        stopTimer();
        return ResultClosed;
    }
    if (state == SocketControl::StateError) {
        stopTimer();
        CloseConnection();
        return ResultError;
    }
    if (m_boundPassed == CheckFailure::Step::Oversized) {
        stopTimer();
        CloseConnection();
        return ResultTooLong;
    }
    if (bAbortRequested || bTimedOut || m_boundPassed) {
        stopTimer();
        CloseConnection();
        return ResultTimedOut;
    }
    return kKeepWaiting;
}

QByteArray clsWinSockOperate::Reply() const { return m_reply; }

QByteArray clsWinSockOperate::TakeReply()
{
    QByteArray reply = std::exchange(m_reply, QByteArray());
    heldWithinBound();
    return reply;
}

bool clsWinSockOperate::heldWithinBound() { return m_budget->Waiting(m_pending.size() + m_reply.size()); }

void clsWinSockOperate::DataArraivalReceiver()
{
    if (!m_winSock)
        return;
    const QByteArray bytes = m_winSock->GetBytes();
    if (bytes.isEmpty() || m_boundPassed)
        return;
    m_pending += bytes;
    m_lastArrival = bytes;
    if (!heldWithinBound()) {
        // A server that sends faster than its replies are read, or sends
        // without end: what it sent is dropped, and the waits end.
        m_boundPassed = CheckFailure::Step::Oversized;
        m_pending.clear();
        m_consumed = 0;
        m_lastArrival.clear();
        heldWithinBound();
    }
}

void clsWinSockOperate::ErrorReceiver(const QString& Description) { strErrorDescription = Description; }

QString clsWinSockOperate::ErrorDescription() const { return strErrorDescription; }

void clsWinSockOperate::TimeOutReceiver() { bTimedOut = true; }

void clsWinSockOperate::DeadlineReceiver()
{
    if (!m_boundPassed)
        m_boundPassed = CheckFailure::Step::CheckTooLong;
}

std::optional<CheckFailure> clsWinSockOperate::BoundPassed() const
{
    if (!m_boundPassed)
        return std::nullopt;
    return CheckFailure { *m_boundPassed, {} };
}

void clsWinSockOperate::CloseConnection()
{
    if (m_winSock)
        m_winSock->Close();
}

void clsWinSockOperate::restartTimer()
{
    // A tick from before this restart belongs to a silence that has ended.
    bTimedOut = false;
    if (!m_timer)
        return;
    m_timer->setEnabled(false);
    m_timer->setEnabled(true);
}

void clsWinSockOperate::stopTimer()
{
    if (m_timer)
        m_timer->setEnabled(false);
}

qint32 clsWinSockOperate::waitUntil(const std::function<qint32()>& passRule)
{
    // The first pass only runs what is already queued: the answer may be
    // there, and blocking first would sleep until the next unrelated event.
    EventPump::ProcessPendingEvents();
    for (;;) {
        const qint32 result = passRule();
        if (result != kKeepWaiting)
            return result;
        EventPump::WaitForEvents();
    }
}
