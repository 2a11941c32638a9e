#pragma once

#include "mail/CheckScheduler.h"

#include <QMap>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

struct AccountEntry;
struct Pop3CheckRequest;
class IMailCheckHost;
class SocketControl;
class TimerControl;
class clsWinSockOperate;

// The mail engine of the main window: its socket, its two timers and the
// socket session of the running check, tied to the scheduling of runs, the
// POP3 dialogue and the step that shows its outcome. The window owns one and
// forwards to it.
class MailChecker : public QObject {
    Q_OBJECT

public:
    explicit MailChecker(IMailCheckHost& host, QObject* parent = nullptr);
    ~MailChecker() override;

    SocketControl& wsPopSocket();
    TimerControl& tmrPopTimeOut();
    TimerControl& tmrMailCheck(); // the minute tick; started by the constructor

    // Checks the account of the row with this tag once; returns when the
    // dialogue is over (its waits keep processing events). Called while a run
    // is in progress, the check is queued and made when that run ends.
    void MailCheck(qint32 rowTag);

    // Minute tick: counts every row down and checks the rows that reach 0.
    // During a run it only counts down; the rows that fall due are checked
    // when that run ends.
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

    // The tray between checks: the warning picture, and a tip naming each
    // ticked account whose last check failed. The window calls it again when
    // a row is unticked or deleted, since that takes the account out of it.
    void ShowCheckFailures();

    // What one check may hold of a server's answers; the program's bound
    // unless one is set here.
    void SetCheckMemoryBound(qint64 bytes) { m_checkMemoryBound = bytes; }

private:
    // One check of one row's account: tray picture, STATUS while it runs,
    // the session, and the outcome put in place.
    void checkOne(qint32 tag);
    // Waits for the OAuth2 account's access token and puts it in the request;
    // the STATUS of a failure, empty on success, nothing when the run was aborted.
    std::optional<QString> waitForAccessToken(const AccountEntry& account, Pop3CheckRequest& request);
    // Ends a check that was abandoned before its dialogue.
    void endCheck();

    IMailCheckHost& m_host;
    SocketControl* m_wsPopSocket;
    TimerControl* m_tmrPopTimeOut;
    TimerControl* m_tmrMailCheck;
    std::unique_ptr<clsWinSockOperate> m_session;
    CheckScheduler m_scheduler;
    // The STATUS of each account whose last check failed, by tag.
    QMap<qint32, QString> m_failedStatus;
    bool m_checking = false;
    std::optional<qint64> m_checkMemoryBound;
};
