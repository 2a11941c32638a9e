#pragma once

#include <QObject>
#include <QString>

#include <memory>

class IMailCheckHost;
class SocketControl;
class TimerControl;
class clsWinSockOperate;

// The mail engine of the main window: its socket, its two timers, the socket
// session of the running check, the check of one account and the scheduling
// of check runs. The window owns one and forwards to it.
class MailChecker : public QObject {
    Q_OBJECT

public:
    explicit MailChecker(IMailCheckHost& host, QObject* parent = nullptr);
    ~MailChecker() override;

    SocketControl& wsPopSocket();
    TimerControl& tmrPopTimeOut();
    TimerControl& tmrMailCheck();  // the minute tick; started by the constructor

    // Checks the account of the row with this tag once; returns when the
    // dialogue is over (its waits keep processing events).
    void MailCheck(qint32 rowTag);

    // Minute tick: counts every row down and checks the rows that reach 0.
    void tmrMailCheck_Timer();
    // Checks every row now (also the start-up run).
    void mnuMailCheck_Click();

    void wsPopSocket_DataArrival();
    void wsPopSocket_Error(const QString& Description);
    void tmrPopTimeOut_Timer();

    // True while a run (manual, start-up or timed) is in progress.
    bool IsRunning() const;
    // Ends the running check at once and drops the rest of the run (program end).
    void AbortAll();
};
