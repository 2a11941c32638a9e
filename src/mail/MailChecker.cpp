#include "mail/MailChecker.h"

#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "app/Fun_UboundEx.h"
#include "app/NumericText.h"
#include "mail/HeaderFields.h"
#include "mail/IArrivalWindow.h"
#include "mail/IMailCheckHost.h"
#include "mail/Pop3Framing.h"
#include "mail/Pop3Replies.h"
#include "mail/PopTimeOut.h"
#include "mail/clsWinSockOperate.h"
#include "platform/Cp932.h"
#include "platform/EventPump.h"
#include "platform/SocketControl.h"
#include "platform/TimerControl.h"

#include <QSet>
#include <QStringList>

#include <limits>

namespace {

constexpr qint32 kMinuteMs = 60000;
constexpr qint32 kTrayIdle = 1;
constexpr qint32 kTrayChecking = 2;
// What one check may keep of a server's answers (identifiers and header
// fields) before it gives up on the server as hostile.
constexpr qint64 kCheckDataBudget = 256LL * 1024 * 1024;

const QString kCrLf = QStringLiteral("\r\n");

bool validAccountIndex(qint32 tag)
{
    return tag >= 0 && tag < static_cast<qint64>(Accounts.size());
}

qint64 footprint(const QString& text)
{
    return text.size() * qint64(sizeof(QChar));
}

}  // namespace

MailChecker::MailChecker(IMailCheckHost& host, QObject* parent)
    : QObject(parent)
    , m_host(host)
    , m_wsPopSocket(new SocketControl(this))
    , m_tmrPopTimeOut(new TimerControl(this))
    , m_tmrMailCheck(new TimerControl(this))
{
    connect(m_wsPopSocket, &SocketControl::DataArrival, this, &MailChecker::wsPopSocket_DataArrival);
    connect(m_wsPopSocket, &SocketControl::Error, this, &MailChecker::wsPopSocket_Error);
    connect(m_tmrPopTimeOut, &TimerControl::Timer, this, &MailChecker::tmrPopTimeOut_Timer);
    connect(m_tmrMailCheck, &TimerControl::Timer, this, &MailChecker::tmrMailCheck_Timer);

    m_tmrPopTimeOut->setInterval(kMinuteMs);
    m_tmrPopTimeOut->setEnabled(false);
    m_tmrMailCheck->setInterval(kMinuteMs);
    m_tmrMailCheck->setEnabled(true);
}

MailChecker::~MailChecker()
{
    m_queue.clear();
    m_session.reset();
}

SocketControl& MailChecker::wsPopSocket()
{
    return *m_wsPopSocket;
}

TimerControl& MailChecker::tmrPopTimeOut()
{
    return *m_tmrPopTimeOut;
}

TimerControl& MailChecker::tmrMailCheck()
{
    return *m_tmrMailCheck;
}

void MailChecker::MailCheck(qint32 rowTag)
{
    enqueue(rowTag, false);
    runQueue();
}

void MailChecker::tmrMailCheck_Timer()
{
    countDown();
    runQueue();
}

void MailChecker::mnuMailCheck_Click()
{
    const QList<qint32> tags = m_host.RowTags();
    for (const qint32 tag : tags)
        enqueue(tag, false);
    runQueue();
}

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

bool MailChecker::IsRunning() const
{
    return m_running;
}

void MailChecker::AbortAll()
{
    if (!m_running)
        return;
    m_aborting = true;
    m_queue.clear();
    if (m_session)
        m_session->UserClose();
}

void MailChecker::enqueue(qint32 tag, bool timed)
{
    for (PendingCheck& pending : m_queue) {
        if (pending.tag == tag) {
            pending.timed = pending.timed || timed;
            return;
        }
    }
    m_queue.append({ tag, timed });
}

void MailChecker::countDown()
{
    const QList<qint32> tags = m_host.RowTags();
    for (const qint32 tag : tags) {
        const qint32 current = NumericText::ToInt32(m_host.NextCheckText(tag));
        if (current == std::numeric_limits<qint32>::min())
            continue;
        const qint32 next = current - 1;
        m_host.SetNextCheckText(tag, QString::number(next));
        if (next == 0)
            enqueue(tag, true);
    }
}

void MailChecker::runQueue()
{
    // Checks never nest: a run already going takes whatever was queued meanwhile.
    if (m_running)
        return;
    m_running = true;
    m_host.SetCheckCommandsEnabled(false);
    while (!m_queue.isEmpty() && !m_aborting) {
        const PendingCheck pending = m_queue.takeFirst();
        checkOne(pending.tag);
        if (pending.timed && !m_aborting && m_host.HasRow(pending.tag) && validAccountIndex(pending.tag))
            m_host.SetNextCheckText(pending.tag, QString::number(Accounts[pending.tag].CheckInterval));
    }
    m_queue.clear();
    m_aborting = false;
    m_running = false;
    m_host.SetCheckCommandsEnabled(true);
}

void MailChecker::checkOne(qint32 tag)
{
    if (!m_host.IsRowChecked(tag) || !validAccountIndex(tag))
        return;

    m_host.SetTrayPicture(kTrayChecking);
    EventPump::ProcessPendingEvents();
    if (m_aborting) {
        m_host.SetTrayPicture(kTrayIdle);
        return;
    }
    m_host.SetStatusText(tag, QStringLiteral("ﾒｰﾙﾁｪｯｸ中"));

    if (m_session) {
        m_session->CloseConnection();
        m_session.reset();
    }
    m_session = std::make_unique<clsWinSockOperate>();

    const QString status = runDialogue(tag);
    m_host.SetStatusText(tag, status);

    m_session->CloseConnection();
    m_session.reset();
    m_host.SetTrayPicture(kTrayIdle);
    EventPump::ProcessPendingEvents();
}

QString MailChecker::runDialogue(qint32 tag)
{
    using Shape = clsWinSockOperate::ReplyShape;

    // The table is a deque: this entry stays put even if the user registers
    // another account during one of the waits below.
    AccountEntry& account = Accounts[tag];
    clsWinSockOperate& session = *m_session;

    session.WinSock(m_wsPopSocket);
    session.RemoteHost(account.PopServer);
    session.RemotePort(QString::number(account.PopPort));
    session.Timer(m_tmrPopTimeOut);
    session.TimeOutSecond(PopTimeOutMilliseconds(CommonSettings.PopTimeOut));

    // Reads the reply to the command just sent; a lost connection, a time-out
    // or an oversized reply is a failure like a negative answer.
    const auto positiveReply = [&](Shape shape) {
        return session.WaitReply(shape) == clsWinSockOperate::ResultArrived
            && Pop3Framing::IsPositive(Pop3Framing::StatusLine(session.Reply()));
    };
    const auto command = [&](const QString& text, Shape shape) {
        return session.SendData(text + kCrLf, false) && positiveReply(shape);
    };

    if (!session.Connect(false) || !positiveReply(Shape::SingleLine))
        return QStringLiteral("ｴﾗｰ(") + session.ErrorDescription() + QStringLiteral(")");
    if (!command(QStringLiteral("USER ") + account.PopAccount, Shape::SingleLine))
        return QStringLiteral("ｴﾗｰ(ACCOUNT ｴﾗｰ)");
    if (!command(QStringLiteral("PASS ") + account.PopPasswd, Shape::SingleLine))
        return QStringLiteral("ｴﾗｰ(PASSWD ｴﾗｰ)");
    if (!command(QStringLiteral("STAT "), Shape::SingleLine))
        return QStringLiteral("ｴﾗｰ(STAT ｴﾗｰ)");
    const std::optional<qint32> messageCount
        = Pop3Replies::StatMessageCount(Pop3Framing::StatusLine(session.Reply()));
    if (!messageCount)
        return QStringLiteral("ｴﾗｰ(STAT ｴﾗｰ)");

    const QStringList& seenList = account.UIDL;
    const QSet<QString> seen(seenList.cbegin(), seenList.cend());
    const bool announceAll = CommonSettings.RecheckMailChecked;
    QStringList identifiers;
    QList<HeaderFields> newMail;
    qint64 kept = 0;

    for (qint32 j = 1; j <= *messageCount; ++j) {
        if (!command(QStringLiteral("UIDL ") + QString::number(j), Shape::SingleLine))
            return QStringLiteral("ｴﾗｰ(UIDL ｴﾗｰ)");
        const std::optional<QByteArray> uid
            = Pop3Replies::UidlIdentifier(Pop3Framing::StatusLine(session.Reply()));
        if (!uid)
            return QStringLiteral("ｴﾗｰ(UIDL ｴﾗｰ)");
        const QString identifier = QString::fromLatin1(*uid);
        kept += footprint(identifier);
        if (kept > kCheckDataBudget)
            return QStringLiteral("ｴﾗｰ(UIDL ｴﾗｰ)");
        identifiers.append(identifier);
        if (!announceAll && seen.contains(identifier))
            continue;

        if (!command(QStringLiteral("TOP ") + QString::number(j) + QStringLiteral(" 0"), Shape::MultiLine))
            return QStringLiteral("ｴﾗｰ(TOP ｴﾗｰ)");
        const HeaderFields fields
            = ExtractHeaderFields(Cp932::Decode(Pop3Framing::MultiLineBody(session.Reply())));
        kept += footprint(fields.strFrom) + footprint(fields.strDate) + footprint(fields.strSubject);
        if (kept > kCheckDataBudget)
            return QStringLiteral("ｴﾗｰ(TOP ｴﾗｰ)");
        newMail.append(fields);
    }

    // The goodbye is not waited for: the answer would change nothing.
    session.SendData(QStringLiteral("QUIT") + kCrLf, false);

    // A row the user deleted during the check has nobody to announce to.
    if (!newMail.isEmpty() && m_host.HasRow(tag)) {
        IArrivalWindow& arrival = m_host.ArrivalWindow();
        arrival.RemoveMail(tag);
        for (const HeaderFields& mail : std::as_const(newMail))
            arrival.MailArraival(tag, mail.strFrom, mail.strDate, mail.strSubject);
        arrival.ShowForm();
    }
    if (Fun_UboundEx::UboundEx(identifiers) >= 0)
        account.UIDL = identifiers;

    return QStringLiteral("成功(新着") + QString::number(newMail.size()) + QStringLiteral("件)");
}
