#pragma once

#include "app/NewMailItem.h"
#include "app/StatusText.h"
#include "app/TrayTip.h"
#include "mail/CatchUpChecks.h"
#include "mail/CheckScheduler.h"
#include "mail/ImapConnection.h"
#include "platform/TimerControl.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <optional>

struct AccountEntry;
struct CheckRequest;
class IAccountRows;
class SocketControl;
class NetworkWatch;
class SleepWatch;
class clsWinSockOperate;

// The mail engine of the main window: its socket, its two timers and the
// socket session of the running check, tied to the scheduling of runs and the
// POP3 dialogue. It reads the rows through IAccountRows and reports what it
// found through its signals, which the window applies; it never calls the
// window itself.
class MailChecker : public QObject {
    Q_OBJECT

public:
    explicit MailChecker(IAccountRows& rows, QObject* parent = nullptr);
    ~MailChecker() override;

    SocketControl& wsPopSocket();
    TimerControl& tmrPopTimeOut();
    TimerControl& tmrMailCheck(); // the minute tick; started by the constructor
    TimerControl& tmrCheckDeadline(); // the bound on the whole length of one check
    // The wait before the check that a wake or the network's return asks for,
    // and the floor after it.
    TimerControl& tmrCatchUp();

    // Follows the machine's sleep and network. Asleep or offline, no check
    // starts and a check cut short is no failure; at the wake or the
    // network's return every ticked account is checked and push reopened.
    // Both must outlive the checker.
    void Follow(SleepWatch& sleep, NetworkWatch& network);
    // The wall clock by which the minute tick sees that the machine slept
    // where no login manager tells it.
    void SetClock(std::function<QDateTime()> now);

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
    void tmrCheckDeadline_Timer();

    // True while a run (manual, start-up or timed) is in progress.
    bool IsRunning() const;
    // Ends the running check at once and drops the rest of the run (program end).
    void AbortAll();

    // The account fails without a check (its sign-in is gone): its STATUS,
    // and the tray's picture and tip, as after a check that failed so.
    void ReportFailure(qint32 tag, const CheckFailure& failure);
    // The tray between checks: the warning picture, and a tip naming each
    // ticked account whose last check failed. The window calls it again when
    // a row is unticked or deleted, since that takes the account out of it.
    void ShowCheckFailures();

    // What one check may hold of a server's answers; the program's bound
    // unless one is set here.
    void SetCheckMemoryBound(qint64 bytes) { m_checkMemoryBound = bytes; }
    // Where spam is kept before its deletion; beside the settings file unless set here.
    void SetSpamFolder(const QString& folder) { m_spamFolder = folder; }

    // Opens every push connection anew and checks its account (after the
    // machine woke, or the network came back): the old ones may be dead.
    void ReopenPush();
    // Leaves IDLE and logs out on every push connection (before the machine
    // sleeps); PushClosed follows once all are gone.
    void ClosePush();
    // The timers of an IMAP account's connection, once it has been checked;
    // a test steps them.
    std::optional<ImapConnection::Timers> ImapTimers(qint32 tag) const;

Q_SIGNALS:
    // The row's STATUS: "ﾒｰﾙﾁｪｯｸ中" as its check begins, then how it ended.
    void StatusChanged(qint32 tag, const QString& status);
    // One of the TrayPictureCode pictures, and what the tip says of the
    // accounts: those that fail, those pushed, the spam passed over.
    void TrayChanged(int picture, const QList<TrayTip::Mention>& mentions);
    // A check listed other identifiers than the account's seen list. It
    // comes before the mail is announced: showing the arrival window runs
    // pending events, and whatever ends the program there must not make it
    // announce this mail again.
    void SeenListChanged(qint32 tag, const QStringList& identifiers);
    // New mail for a row that still exists: its rows replace the row's rows
    // in the arrival window, which then shows.
    void MailArrived(qint32 tag, const QList<NewMailItem>& mail);
    // Whether the two "check all" commands may be used: not during a run.
    void CheckCommandsEnabled(bool enabled);
    // After ClosePush: no push connection is open any more.
    void PushClosed();

private:
    // One check of one row's account: tray picture, STATUS while it runs,
    // the session, and the outcome reported.
    void checkOne(qint32 tag);
    // Waits for the OAuth2 account's access token and puts it in the request;
    // false when the run was aborted meanwhile.
    bool waitForAccessToken(
        const AccountEntry& account, CheckRequest& request, std::optional<CheckFailure>& failure);
    // Ends a check that was abandoned before its dialogue.
    void endCheck();
    // Runs an IMAP check on the account's connection and waits for its outcome;
    // nothing when the run was aborted meanwhile or the connection dropped.
    std::optional<CheckOutcome> checkImap(qint32 tag, const CheckRequest& request);
    // Drops the connections of accounts no longer checked, changed, or not
    // IMAP any more, and reopens them all after the machine slept.
    void reviewPush();

    void goingToSleep();
    void resumed();
    void networkChanged(bool online);
    // Lets the machine sleep once the check and the push connections are closed.
    void readyForSleepIfClosed();
    // Neither asleep nor offline.
    bool mayCheck() const;
    // Checks every ticked account not checked since the event of `generation`.
    void catchUp(quint64 generation);

    IAccountRows& m_rows;
    SocketControl* m_wsPopSocket;
    TimerControl* m_tmrPopTimeOut;
    TimerControl* m_tmrMailCheck;
    TimerControl* m_tmrCheckDeadline;
    std::unique_ptr<clsWinSockOperate> m_session;
    CheckScheduler m_scheduler;
    // The STATUS of each account whose last check failed, by tag.
    QMap<qint32, QString> m_failedStatus;
    QList<TrayTip::Mention> m_trayMentions;
    bool m_checking = false;
    std::optional<qint64> m_checkMemoryBound;
    // One connection per IMAP account, with the timers it runs on and the
    // sign-in it was opened with.
    struct ImapAccount {
        TimerControl silence, length, renew, retry, floor, settle;
        std::unique_ptr<ImapConnection> connection;
        QString login;
    };
    std::map<qint32, std::unique_ptr<ImapAccount>> m_imap;
    // The connections ClosePush waits for.
    QSet<qint32> m_closing;
    QDateTime m_lastTick;
    std::function<QDateTime()> m_now;
    QString m_spamFolder;
    // The spam each account's last successful check found, by tag.
    QMap<qint32, qsizetype> m_spamFound;

    SleepWatch* m_sleep = nullptr;
    TimerControl* m_tmrCatchUp;
    CatchUpChecks m_catchUp;
    // The catch-up generation each account's last check started in.
    QMap<qint32, quint64> m_checkedAt;
    // What each account's STATUS said after its last check that ended.
    QMap<qint32, QString> m_shownStatus;
    bool m_asleep = false;
    bool m_offline = false;
    // Counts sleeps and losses of the network: a check that saw one was cut short.
    quint64 m_interruptions = 0;
    bool m_closingForSleep = false;
    bool m_pushClosing = false;
};
