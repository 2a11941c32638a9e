#pragma once

#include "app/StatusText.h"
#include "mail/CheckBudget.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

class SocketControl;
class TimerControl;

// Request and reply over the window's socket, on the one user-interface
// thread: every wait keeps running the application's events (which deliver
// this object's own notifications through the receivers) and sleeps while
// there are none. One object serves one check.
class clsWinSockOperate {
public:
    // Results of the waits.
    enum : qint32 {
        ResultClosed = 0, // the connection is closed or closing
        ResultArrived = 1, // data (or, for WaitReply, a complete reply) is there
        ResultTimedOut = 2, // the time-out passed or UserClose was called; socket closed
        ResultError = 3, // the socket reported an error; socket closed
        ResultTooLong = 4, // WaitReply only: the reply broke the size limits; socket closed
    };

    // What ends a reply for WaitReply: a status line, or lines up to "."
    // holding a header block (MultiLine) or a whole message.
    enum class ReplyShape { SingleLine, MultiLine, Message };

    clsWinSockOperate();
    ~clsWinSockOperate();

    clsWinSockOperate(const clsWinSockOperate&) = delete;
    clsWinSockOperate& operator=(const clsWinSockOperate&) = delete;

    void Timer(TimerControl* timer);
    // The time-out of each wait in milliseconds (the name is historical);
    // 0 means no time-out.
    void TimeOutSecond(qint32 milliseconds);
    void RemoteHost(const QString& host);
    void RemotePort(const QString& port);
    void WinSock(SocketControl* socket);
    // What the check may hold: the bytes received and not yet read count
    // against it beside what the check keeps. Without one (or with nullptr)
    // they alone stay within the program's bound.
    void Budget(CheckBudget* budget);
    // The timer that bounds the whole check, however busy the server keeps
    // every wait; its tick goes to DeadlineReceiver.
    void DeadlineTimer(TimerControl* timer);
    // The rest of the check may take this long: the count starts again.
    void AllowFor(qint32 milliseconds);

    // Connects; with bWaitConnectedOnly false, waits for the server's first data too.
    bool Connect(bool bWaitConnectedOnly);
    // Switches the connection to TLS and waits for the verified handshake;
    // false (connection closed) when it fails or times out.
    bool StartTls();
    // Makes the running wait, and every later one until the next Connect, end as timed out.
    void UserClose();
    // The data of the most recent arrival, as text.
    QString GetData() const;
    // Sends; with bWaitResponse, waits for the next arrival. False only when
    // the send fails or the wait times out.
    bool SendData(const QString& strData, bool bWaitResponse);
    // Sends commands whose replies are still to come after those of commands
    // already sent (pipelining): nothing received is dropped. False when the
    // socket cannot send.
    bool SendAhead(const QByteArray& commands);
    // Waits for the next arrival (ResultClosed, ResultArrived, ResultTimedOut, ResultError).
    qint32 WaitArrival(bool bClearData);

    // Waits until a whole reply of the given shape has been received, however
    // its bytes were split; the reply is then in Reply(). Result as WaitArrival,
    // or ResultTooLong. The time-out counts the longest silence: every arrival
    // of data starts it again. Bytes behind the reply stay for the next call.
    qint32 WaitReply(ReplyShape shape);
    // The reply completed by the last successful WaitReply, terminator included.
    QByteArray Reply() const;
    // The same, handed over: a large reply is then held once, by the caller.
    QByteArray TakeReply();

    void DataArraivalReceiver();
    void ErrorReceiver(const QString& Description);
    QString ErrorDescription() const;
    void TimeOutReceiver();
    void DeadlineReceiver();
    void CloseConnection();
    // The bound that ended the session (the check's time, or what it may
    // hold), if one did: every wait after it ends as timed out or too long.
    std::optional<CheckFailure> BoundPassed() const;

private:
    void restartTimer();
    void stopTimer();
    // Drops a reply just taken from the front of the received bytes.
    void consume(qsizetype length);
    // Tells the budget what waits here; false once that passes the bound.
    bool heldWithinBound();
    // The ends a wait shares: closed, error, time-out; -1 when none holds.
    qint32 connectionEnded();
    // A wait for the connection (or its TLS) to be ready; the socket is
    // closed when the rule ends it otherwise.
    bool waitForConnection(const std::function<qint32()>& passRule);
    // Shared loop of the waits: result of the first rule that holds.
    qint32 waitUntil(const std::function<qint32()>& passRule);

    SocketControl* m_winSock = nullptr;
    bool bAbortRequested = false; // by UserClose: sticks until the next Connect
    bool bTimedOut = false; // by the timer: ends only the wait it fired in
    QByteArray m_lastArrival;
    QString strErrorDescription;
    TimerControl* m_timer = nullptr;

    // Bytes received since the last send that dropped them; the first
    // m_consumed of them belong to replies already taken.
    QByteArray m_pending;
    qsizetype m_consumed = 0;
    QByteArray m_reply;

    CheckBudget m_ownBudget { CheckBudget::DefaultBound, {} };
    CheckBudget* m_budget = &m_ownBudget;
    TimerControl* m_deadline = nullptr;
    std::optional<CheckFailure::Step> m_boundPassed; // sticks for the rest of the check
};
