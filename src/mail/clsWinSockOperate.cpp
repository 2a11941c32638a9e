#include "mail/clsWinSockOperate.h"

#include "app/NumericText.h"
#include "mail/Pop3Framing.h"
#include "platform/Cp932.h"
#include "platform/EventPump.h"
#include "platform/SocketControl.h"
#include "platform/TimerControl.h"

namespace {

constexpr qint32 kKeepWaiting = -1;

}  // namespace

clsWinSockOperate::clsWinSockOperate() = default;

clsWinSockOperate::~clsWinSockOperate()
{
    CloseConnection();
    // A tick after this object is gone would have nobody to tell.
    stopTimer();
}

void clsWinSockOperate::Timer(TimerControl* timer)
{
    m_timer = timer;
}

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

void clsWinSockOperate::WinSock(SocketControl* socket)
{
    m_winSock = socket;
}

bool clsWinSockOperate::Connect(bool bWaitConnectedOnly)
{
    bAbortRequested = false;
    strReceived.clear();
    m_pending.clear();
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

    const qint32 result = waitUntil([&]() -> qint32 {
        const int state = m_winSock->State();
        if (state == SocketControl::StateConnected && (bWaitConnectedOnly || !strReceived.isEmpty()))
            return 1;
        if (bAbortRequested)
            return 0;
        if (state == SocketControl::StateClosed || state == SocketControl::StateClosing
            || state == SocketControl::StateConnectionPending || state == SocketControl::StateError)
            return 0;
        return kKeepWaiting;
    });
    stopTimer();
    if (result == 1)
        return true;
    m_winSock->Close();
    return false;
}

void clsWinSockOperate::UserClose()
{
    bAbortRequested = true;
    // The wait may be asleep with nothing queued; it must look at the flag now.
    EventPump::WakeUp();
}

QString clsWinSockOperate::GetData() const
{
    return strReceived;
}

bool clsWinSockOperate::SendData(const QString& strData, bool bWaitResponse)
{
    strReceived.clear();
    // Whatever came unasked before this command belongs to no reply.
    m_pending.clear();
    if (!m_winSock || !m_winSock->SendData(strData))
        return false;
    if (bWaitResponse)
        return WaitArrival(false) != ResultTimedOut;
    return true;
}

qint32 clsWinSockOperate::WaitArrival(bool bClearData)
{
    restartTimer();
    if (bClearData)
        strReceived.clear();
    return waitUntil([&]() -> qint32 {
        if (const qint32 ended = connectionEnded(); ended != kKeepWaiting)
            return ended;
        if (!strReceived.isEmpty()) {
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
    return waitUntil([&]() -> qint32 {
        // A reply that is complete counts even when the server closed right
        // after it ("-ERR" and hang up is common).
        const Frame frame
            = shape == ReplyShape::SingleLine ? ScanSingleLine(m_pending) : ScanMultiLine(m_pending, resumeAt);
        resumeAt = frame.resumeAt;
        if (frame.state == FrameState::Complete) {
            stopTimer();
            m_reply = m_pending.first(frame.length);
            m_pending.remove(0, frame.length);
            return ResultArrived;
        }
        if (frame.state == FrameState::TooLong) {
            stopTimer();
            CloseConnection();
            return ResultTooLong;
        }
        return connectionEnded();
    });
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
    if (bAbortRequested) {
        stopTimer();
        CloseConnection();
        return ResultTimedOut;
    }
    return kKeepWaiting;
}

QByteArray clsWinSockOperate::Reply() const
{
    return m_reply;
}

void clsWinSockOperate::DataArraivalReceiver()
{
    if (!m_winSock)
        return;
    const QByteArray bytes = m_winSock->GetBytes();
    if (bytes.isEmpty())
        return;
    m_pending += bytes;
    strReceived = Cp932::Decode(bytes);
}

void clsWinSockOperate::ErrorReceiver(const QString& Description)
{
    strErrorDescription = Description;
}

QString clsWinSockOperate::ErrorDescription() const
{
    return strErrorDescription;
}

void clsWinSockOperate::TimeOutReceiver()
{
    bAbortRequested = true;
}

void clsWinSockOperate::CloseConnection()
{
    if (m_winSock)
        m_winSock->Close();
}

void clsWinSockOperate::restartTimer()
{
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
