#include "mail/MailChecker.h"

#include "accounts/OAuthTokens.h"
#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "app/Fun_UboundEx.h"
#include "app/TrayPictureCode.h"
#include "mail/IAccountRows.h"
#include "mail/ImapConnection.h"
#include "mail/Pop3CheckSession.h"
#include "mail/PopTimeOut.h"
#include "mail/SpamMaildir.h"
#include "mail/clsWinSockOperate.h"
#include "platform/EventPump.h"
#include "platform/NetworkWatch.h"
#include "platform/SleepWatch.h"
#include "platform/SocketControl.h"
#include "platform/TimerControl.h"

#include <QPointer>

namespace {

constexpr qint32 kMinuteMs = 60000;

} // namespace

MailChecker::MailChecker(IAccountRows& rows, QObject* parent)
    : QObject(parent)
    , m_rows(rows)
    , m_wsPopSocket(new SocketControl(this))
    , m_tmrPopTimeOut(new TimerControl(this))
    , m_tmrMailCheck(new TimerControl(this))
    , m_tmrCheckDeadline(new TimerControl(this))
    , m_scheduler(
          rows, [this](qint32 tag) { checkOne(tag); },
          [this](bool enabled) { Q_EMIT CheckCommandsEnabled(enabled); })
    , m_now(&QDateTime::currentDateTimeUtc)
    , m_tmrCatchUp(new TimerControl(this))
    , m_catchUp(
          *m_tmrCatchUp, [this](quint64 generation) { catchUp(generation); }, [this] { return mayCheck(); })
{
    connect(m_wsPopSocket, &SocketControl::DataArrival, this, &MailChecker::wsPopSocket_DataArrival);
    connect(m_wsPopSocket, &SocketControl::Error, this, &MailChecker::wsPopSocket_Error);
    connect(m_tmrPopTimeOut, &TimerControl::Timer, this, &MailChecker::tmrPopTimeOut_Timer);
    connect(m_tmrMailCheck, &TimerControl::Timer, this, &MailChecker::tmrMailCheck_Timer);
    connect(m_tmrCheckDeadline, &TimerControl::Timer, this, &MailChecker::tmrCheckDeadline_Timer);

    m_tmrPopTimeOut->setInterval(kMinuteMs);
    m_tmrPopTimeOut->setEnabled(false);
    m_tmrMailCheck->setInterval(kMinuteMs);
    m_tmrMailCheck->setEnabled(true);
}

MailChecker::~MailChecker()
{
    m_imap.clear();
    m_session.reset();
}

namespace {

// What a push connection signed in with; a change asks for a new one.
QString loginOf(const AccountEntry& account)
{
    return account.PopServer + u'\n' + QString::number(account.PopPort) + u'\n' + account.PopAccount + u'\n'
        + account.PopPasswd;
}

} // namespace

void MailChecker::reviewPush()
{
    const QDateTime now = m_now();
    // Minutes went by between two ticks: the machine slept, and connections
    // that seem open are dead.
    const bool slept = m_lastTick.isValid() && m_lastTick.secsTo(now) > 3 * 60;
    m_lastTick = now;
    for (auto it = m_imap.begin(); it != m_imap.end();) {
        const qint32 tag = it->first;
        // A changed account gets a new connection at its next check; one in
        // the middle of its check is left to end it.
        if (!it->second->connection->IsChecking()
            && (!m_rows.IsRowChecked(tag) || !IsAccountIndex(tag)
                || Accounts[tag].Protocol != MailProtocol::Imap
                || it->second->login != loginOf(Accounts[tag]))) {
            m_closing.remove(tag);
            it = m_imap.erase(it);
            continue;
        }
        ++it;
    }
    if (slept)
        ReopenPush();
}

void MailChecker::ReopenPush()
{
    for (const auto& [tag, imap] : m_imap)
        if (imap->connection->WantsPush())
            imap->connection->Reopen();
}

void MailChecker::ClosePush()
{
    for (const auto& [tag, imap] : m_imap)
        m_closing.insert(tag);
    if (m_closing.isEmpty()) {
        QMetaObject::invokeMethod(this, &MailChecker::PushClosed, Qt::QueuedConnection);
        return;
    }
    for (const auto& [tag, imap] : m_imap)
        imap->connection->Close();
}

std::optional<ImapConnection::Timers> MailChecker::ImapTimers(qint32 tag) const
{
    const auto found = m_imap.find(tag);
    if (found == m_imap.end())
        return std::nullopt;
    ImapAccount& imap = *found->second;
    return ImapConnection::Timers { imap.silence, imap.length, imap.renew, imap.retry, imap.floor,
        imap.settle };
}

SocketControl& MailChecker::wsPopSocket() { return *m_wsPopSocket; }

TimerControl& MailChecker::tmrPopTimeOut() { return *m_tmrPopTimeOut; }

TimerControl& MailChecker::tmrMailCheck() { return *m_tmrMailCheck; }

TimerControl& MailChecker::tmrCheckDeadline() { return *m_tmrCheckDeadline; }

TimerControl& MailChecker::tmrCatchUp() { return *m_tmrCatchUp; }

void MailChecker::SetClock(std::function<QDateTime()> now)
{
    m_now = now ? std::move(now) : &QDateTime::currentDateTimeUtc;
}

void MailChecker::Follow(SleepWatch& sleep, NetworkWatch& network)
{
    m_sleep = &sleep;
    connect(&sleep, &SleepWatch::GoingToSleep, this, &MailChecker::goingToSleep);
    connect(&sleep, &SleepWatch::Resumed, this, &MailChecker::resumed);
    connect(&network, &NetworkWatch::OnlineChanged, this, &MailChecker::networkChanged);
    connect(this, &MailChecker::PushClosed, this, [this] {
        m_pushClosing = false;
        readyForSleepIfClosed();
    });
    if (!network.IsOnline())
        networkChanged(false);
}

bool MailChecker::mayCheck() const { return !m_asleep && !m_offline; }

void MailChecker::goingToSleep()
{
    m_asleep = true;
    ++m_interruptions;
    // The wake asks for its own check; the rest of a run starts nothing now.
    m_catchUp.Drop();
    m_closingForSleep = true;
    m_pushClosing = true;
    ClosePush();
    ShowCheckFailures();
    // A running check goes on to its end while the login manager waits.
    readyForSleepIfClosed();
}

void MailChecker::readyForSleepIfClosed()
{
    if (!m_closingForSleep || m_pushClosing || m_checking)
        return;
    m_closingForSleep = false;
    if (m_sleep)
        m_sleep->ReadyToSleep();
}

void MailChecker::resumed()
{
    m_asleep = false;
    m_closingForSleep = false;
    // A check still running from before the sleep waits on a dead connection.
    if (m_checking && m_session)
        m_session->UserClose();
    // The login manager told of the sleep: the minute tick's wall-clock rule
    // would reconnect push a second time.
    m_lastTick = m_now();
    if (mayCheck())
        ReopenPush();
    m_catchUp.Resumed();
    ShowCheckFailures();
}

void MailChecker::networkChanged(bool online)
{
    if (m_offline == !online)
        return;
    m_offline = !online;
    if (m_offline) {
        ++m_interruptions;
        // Connections that cannot reach their servers would only fail.
        ClosePush();
    } else if (!m_asleep) {
        // The catch-up's check opens push again, within the floor, where
        // reopening at once would check at every return of a flapping network.
        m_catchUp.NetworkBack();
    }
    ShowCheckFailures();
}

void MailChecker::catchUp(quint64 generation)
{
    QList<qint32> behind;
    for (const qint32 tag : m_rows.RowTags())
        if (m_rows.IsRowChecked(tag) && m_checkedAt.value(tag) < generation)
            behind << tag;
    m_scheduler.CheckRows(behind);
}

void MailChecker::MailCheck(qint32 rowTag) { m_scheduler.CheckRow(rowTag); }

void MailChecker::tmrMailCheck_Timer()
{
    reviewPush();
    m_scheduler.MinuteTick();
}

void MailChecker::mnuMailCheck_Click() { m_scheduler.CheckAllRows(); }

void MailChecker::wsPopSocket_DataArrival()
{
    if (m_session)
        m_session->DataArraivalReceiver();
}

void MailChecker::wsPopSocket_Error(const QString& Description)
{
    if (m_session)
        m_session->ErrorReceiver(Description);
}

void MailChecker::tmrPopTimeOut_Timer()
{
    if (m_session)
        m_session->TimeOutReceiver();
}

void MailChecker::tmrCheckDeadline_Timer()
{
    if (m_session)
        m_session->DeadlineReceiver();
}

bool MailChecker::IsRunning() const { return m_scheduler.IsRunning(); }

void MailChecker::AbortAll()
{
    for (const auto& [tag, imap] : m_imap)
        imap->connection->Stop();
    if (!m_scheduler.IsRunning())
        return;
    m_scheduler.Abort();
    if (m_session)
        m_session->UserClose();
}

void MailChecker::checkOne(qint32 tag)
{
    if (!m_rows.IsRowChecked(tag) || !IsAccountIndex(tag))
        return;
    // Asleep or offline the check could only fail; the wake or the network's
    // return checks the account.
    if (!mayCheck())
        return;
    m_checkedAt.insert(tag, m_catchUp.Generation());
    const quint64 interruptions = m_interruptions;

    m_checking = true;
    Q_EMIT TrayChanged(TrayPictureCode::Checking, m_trayMentions);
    EventPump::ProcessPendingEvents();
    if (m_scheduler.IsAborting()) {
        endCheck();
        return;
    }
    Q_EMIT StatusChanged(tag, QStringLiteral("ﾒｰﾙﾁｪｯｸ中"));

    if (m_session) {
        m_session->CloseConnection();
        m_session.reset();
    }

    // The table is a deque: this entry stays put even if the user registers
    // another account during one of the waits.
    const AccountEntry& account = Accounts[tag];
    CheckRequest request;
    request.nAccountIdx = tag;
    request.server = account.PopServer;
    request.port = account.PopPort;
    request.user = account.PopAccount;
    request.password = account.PopPasswd;
    request.seen = account.UIDL;
    request.announceAll = CommonSettings.RecheckMailChecked;
    request.timeOutMs = PopTimeOutMilliseconds(CommonSettings.PopTimeOut);
    if (m_checkMemoryBound)
        request.memoryBound = *m_checkMemoryBound;
    request.arrival = m_rows.ArrivalShown(tag);
    std::optional<SpamMaildir> spamFolder;
    if (CommonSettings.SpamCheck) {
        request.spam = SpamVerdict::Lists { CommonSettings.SpamTags.value_or(SpamVerdict::DefaultTags()),
            CommonSettings.SpamSenders.value_or(QStringList()) };
        // An IMAP check never changes the server; deleting is POP3's alone.
        if (CommonSettings.SpamDelete && account.Protocol == MailProtocol::Pop3)
            spamFolder.emplace(m_spamFolder.isEmpty() ? SpamMaildir::BesideSettings() : m_spamFolder,
                account.PopAccount + u'@' + account.PopServer);
    }
    // Without its password the account would only be refused by the
    // server, or worse locked: nothing is sent, and the keyring is named.
    CheckOutcome outcome;
    const bool imap = account.Protocol == MailProtocol::Imap;
    // An IMAP check itself refuses to send anything before TLS (STARTTLS).
    if (account.IsOAuth2() && !imap && !SocketControl::IsTlsPort(account.PopPort)) {
        // A bearer token read off the wire signs anyone in: it never goes
        // out in plain text, nor is a new one asked for to that end.
        outcome.failure = CheckFailure { CheckFailure::Step::OAuthWithoutTls, {} };
    } else if (account.IsOAuth2() && !imap) {
        // An IMAP connection asks for its token only when it signs in.
        if (!waitForAccessToken(account, request, outcome.failure)) {
            endCheck();
            return;
        }
    } else if (account.Secret == SecretState::InKeyringUnread) {
        outcome.failure = CheckFailure { CheckFailure::Step::Keyring, {} };
    }
    if (!outcome.failure) {
        if (imap) {
            std::optional<CheckOutcome> checked = checkImap(tag, request);
            if (!checked) {
                endCheck();
                return;
            }
            outcome = std::move(*checked);
        } else {
            m_session = std::make_unique<clsWinSockOperate>();
            m_session->WinSock(m_wsPopSocket);
            m_session->Timer(m_tmrPopTimeOut);
            m_session->DeadlineTimer(m_tmrCheckDeadline);
            outcome = Pop3CheckSession(*m_session, spamFolder ? &*spamFolder : nullptr).Run(request);
        }
        // A token the server refused is not offered again; one that never
        // reached it, on a network that failed, still serves.
        if (account.IsOAuth2() && outcome.failure && outcome.failure->step == CheckFailure::Step::OAuthSignIn)
            OAuthTokens::Drop(account);
    }

    if (spamFolder && !outcome.spamKept.isEmpty())
        spamFolder->Prune(QDateTime::currentDateTime());
    if (outcome.succeeded())
        m_spamFound.insert(tag, outcome.spamFound);

    // A check that the sleep or the network's loss cut short says nothing of
    // the account: its STATUS goes back to what it was, and it is not failing.
    const bool cutShort = !outcome.succeeded() && (interruptions != m_interruptions || !mayCheck());
    const QString status = cutShort ? m_shownStatus.value(tag) : outcome.status();
    if (outcome.succeeded())
        m_failedStatus.remove(tag);
    else if (!cutShort)
        m_failedStatus.insert(tag, status);
    m_shownStatus.insert(tag, status);
    Q_EMIT StatusChanged(tag, status);
    // An empty mailbox keeps the old list: nothing says those messages went.
    // A list that came back the same is not stored again.
    if (outcome.succeeded() && Fun_UboundEx::UboundEx(outcome.identifiers) >= 0
        && account.UIDL != outcome.identifiers)
        Q_EMIT SeenListChanged(tag, outcome.identifiers);
    // A row the user deleted during the check has nobody to announce to.
    if (outcome.succeeded() && !outcome.newMail.isEmpty() && m_rows.HasRow(tag))
        Q_EMIT MailArrived(tag, outcome.newMail);

    if (m_session)
        m_session->CloseConnection();
    m_session.reset();
    m_checking = false;
    ShowCheckFailures();
    readyForSleepIfClosed();
    EventPump::ProcessPendingEvents();
}

std::optional<CheckOutcome> MailChecker::checkImap(qint32 tag, const CheckRequest& request)
{
    std::unique_ptr<ImapAccount>& imap = m_imap[tag];
    const QString login = loginOf(Accounts[tag]);
    if (imap && imap->login != login)
        imap.reset(); // another server or user: the old connection signs in as nobody now
    if (!imap) {
        imap = std::make_unique<ImapAccount>();
        imap->login = login;
        imap->connection = std::make_unique<ImapConnection>(tag,
            ImapConnection::Timers {
                imap->silence, imap->length, imap->renew, imap->retry, imap->floor, imap->settle });
        // Queued by the connection, so the check never runs inside its handlers.
        connect(imap->connection.get(), &ImapConnection::CheckWanted, this,
            [this](qint32 wanted) { MailCheck(wanted); });
        connect(imap->connection.get(), &ImapConnection::PushChanged, this, &MailChecker::ShowCheckFailures);
        connect(imap->connection.get(), &ImapConnection::Closed, this, [this](qint32 closed) {
            if (m_closing.remove(closed) && m_closing.isEmpty())
                Q_EMIT PushClosed();
        });
    }
    const QPointer<ImapConnection> connection = imap->connection.get();
    std::optional<CheckOutcome> outcome;
    const QMetaObject::Connection taken = connect(
        connection, &ImapConnection::Checked, this, [&outcome](qint32, const CheckOutcome& checked) {
            outcome = checked;
            EventPump::WakeUp();
        });
    connection->Check(request);
    // The connection runs on the socket's signals; the run waits for its
    // outcome like every other wait of a check, handling events meanwhile.
    while (!outcome && connection && connection->IsChecking() && !m_scheduler.IsAborting())
        EventPump::WaitForEvents();
    disconnect(taken);
    if (!outcome && connection)
        connection->Stop();
    return outcome;
}

bool MailChecker::waitForAccessToken(
    const AccountEntry& account, CheckRequest& request, std::optional<CheckFailure>& failure)
{
    // The answer may come after this check was abandoned: it then finds nobody.
    struct Answer {
        bool given = false;
        QString token;
        std::optional<CheckFailure> failure;
    };
    auto answer = std::make_shared<Answer>();
    OAuthTokens::AccessToken(account, request.timeOutMs,
        [answer](const QString& token, const std::optional<CheckFailure>& failed) {
            *answer = { true, token, failed };
            EventPump::WakeUp();
        });
    // The keyring and the provider answer through the event loop, which runs
    // on meanwhile like every other wait of a check.
    while (!answer->given && !m_scheduler.IsAborting())
        EventPump::WaitForEvents();
    if (!answer->given)
        return false;
    request.accessToken = answer->token;
    failure = answer->failure;
    return true;
}

void MailChecker::endCheck()
{
    m_session.reset();
    m_checking = false;
    ShowCheckFailures();
    readyForSleepIfClosed();
}

void MailChecker::ReportFailure(qint32 tag, const CheckFailure& failure)
{
    const QString status = StatusText::Of(failure);
    m_failedStatus.insert(tag, status);
    m_shownStatus.insert(tag, status);
    Q_EMIT StatusChanged(tag, status);
    ShowCheckFailures();
}

void MailChecker::ShowCheckFailures()
{
    // The checking picture stays up until the check is over.
    if (m_checking)
        return;
    QList<TrayTip::Mention> mentions;
    // Of no account; the tip puts it first, as it says why nothing else moves.
    if (m_offline)
        mentions.append({ -1, {}, QStringLiteral("ﾈｯﾄﾜｰｸ待ち") });
    bool failing = false;
    for (auto it = m_failedStatus.cbegin(); it != m_failedStatus.cend(); ++it) {
        // A deleted row reads as unticked: both are out of the checks.
        if (!m_rows.IsRowChecked(it.key()) || !IsAccountIndex(it.key()))
            continue;
        mentions.append({ it.key(), Accounts[it.key()].UserTitle, it.value() });
        failing = true;
    }
    for (const auto& [tag, imap] : m_imap)
        if (imap->connection->IsIdling() && m_rows.IsRowChecked(tag) && IsAccountIndex(tag)
            && !m_failedStatus.contains(tag))
            mentions.append({ tag, Accounts[tag].UserTitle, QStringLiteral("ﾌﾟｯｼｭ待機中") });
    // Spam is not announced; the tip still says how much a check passed over.
    for (auto it = m_spamFound.cbegin(); it != m_spamFound.cend(); ++it)
        if (it.value() > 0 && m_rows.IsRowChecked(it.key()) && IsAccountIndex(it.key())
            && !m_failedStatus.contains(it.key()))
            mentions.append(
                { it.key(), Accounts[it.key()].UserTitle, QStringLiteral("ｽﾊﾟﾑ%1件").arg(it.value()) });
    m_trayMentions = mentions;
    Q_EMIT TrayChanged(failing ? TrayPictureCode::Failing : TrayPictureCode::Idle, mentions);
}
