// Sleep, wake and the network against the login manager and the network
// manager as they answer on the system bus: tests/support/system_services.py
// on a bus of the test's own, given to the program as its system bus.

#include "FakeMailCheckHost.h"
#include "PrivateBus.h"
#include "ScriptedPop3Server.h"
#include "TestAccount.h"
#include "TestCertificates.h"
#include "TlsTestSeam.h"

#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "app/TrayPictureCode.h"
#include "mail/MailChecker.h"
#include "platform/NetworkWatch.h"
#include "platform/SleepWatch.h"
#include "platform/TimerControl.h"

#include <QCoreApplication>
#include <QTest>

using S = ScriptedPop3Server;
using After = ScriptedPop3Server::After;

namespace {

const QString kWaiting = QStringLiteral("ﾈｯﾄﾜｰｸ待ち");
const QString kPushing = QStringLiteral("ﾌﾟｯｼｭ待機中");

QList<S::Step> emptyPop3Mailbox()
{
    return { S::Greeting("+OK ready\r\n"), S::Exchange("USER taro", "+OK\r\n"),
        S::Exchange("PASS secret", "+OK logged in\r\n"), S::Exchange("STAT ", "+OK 0 0\r\n"),
        S::Exchange("QUIT", "+OK bye\r\n", After::Close) };
}

// A server that offers IDLE: the connection idles after its check, and
// leaves IDLE and logs out when closed.
QList<S::Step> idlingImapMailbox()
{
    return { S::Greeting("* OK [CAPABILITY IMAP4rev1 IDLE] ready\r\n"),
        S::Exchange("A1 LOGIN \"taro\" \"secret\"", "A1 OK [CAPABILITY IMAP4rev1 IDLE] in\r\n"),
        S::Exchange(
            "A2 EXAMINE INBOX", "* 0 EXISTS\r\n* OK [UIDVALIDITY 7] ok\r\nA2 OK [READ-ONLY] done\r\n"),
        S::Exchange("A3 UID SEARCH UNSEEN", "* SEARCH\r\nA3 OK done\r\n"),
        S::Exchange("A4 IDLE", "+ idling\r\n"), S::Exchange("DONE", "A4 OK done\r\n"),
        S::Exchange("A5 LOGOUT", "* BYE\r\nA5 OK\r\n", After::Close) };
}

enum class Mailbox { Pop3, ImapPush, Silent };

} // namespace

Q_DECLARE_METATYPE(Mailbox)

class tst_SleepAndNetwork : public QObject {
    Q_OBJECT

public:
    explicit tst_SleepAndNetwork(PrivateBus& bus)
        : m_bus(bus)
    {
    }

private:
    PrivateBus& m_bus;
    TestCertificates m_certificates;
    ScriptedPop3Server m_server;
    std::unique_ptr<FakeMailCheckHost> m_host;
    std::unique_ptr<SleepWatch> m_sleep;
    std::unique_ptr<NetworkWatch> m_network;
    std::unique_ptr<MailChecker> m_checker;
    QDateTime m_clock = QDateTime(QDate(2026, 4, 1), QTime(8, 0), Qt::UTC);

    int locks() { return m_bus.Ask("locks").mid(6).toInt(); }

    // Time passes: the catch-up's wait runs out if it is no longer than that.
    void pass(qint32 milliseconds)
    {
        TimerControl& timer = m_checker->tmrCatchUp();
        if (timer.Enabled() && timer.Interval() <= milliseconds)
            Q_EMIT timer.Timer();
    }

    void play(const QStringList& events)
    {
        for (const QString& event : events) {
            if (event == u"sleep" || event == u"wake") {
                QCOMPARE(m_bus.Ask(event.toLatin1()), event.toLatin1());
            } else if (event == u"offline" || event == u"online") {
                const QByteArray line = event == u"online" ? "state 70" : "state 20";
                QCOMPARE(m_bus.Ask(line), line);
            } else if (event.startsWith(u"locks=")) {
                QTRY_COMPARE(locks(), event.mid(6).toInt());
            } else if (event == u"waiting") {
                QTRY_VERIFY(m_host->trayToolTip.contains(kWaiting));
            } else if (event == u"!waiting") {
                QTRY_VERIFY(!m_host->trayToolTip.contains(kWaiting));
            } else if (event == u"idle") {
                // Told afresh, so that a connection just dropped does not count.
                m_checker->ShowCheckFailures();
                QTRY_VERIFY(m_host->trayToolTip.contains(kPushing));
            } else if (event == u"2s") {
                pass(2000);
            } else if (event == u"30s") {
                pass(30000);
            } else if (event == u"tick") {
                m_checker->tmrMailCheck_Timer();
            } else if (event == u"gap") {
                m_clock = m_clock.addSecs(5 * 60);
            } else if (event == u"check") {
                m_checker->MailCheck(0);
            } else {
                QFAIL(qPrintable(u"no such event: "_qs + event));
            }
        }
    }

private Q_SLOTS:
    // IMAP signs in only over TLS: every row's server speaks it.
    void initTestCase()
    {
        QVERIFY2(m_certificates.Make(), qPrintable(m_certificates.Error()));
        QVERIFY(m_server.Listen());
        m_server.UseTls(m_certificates.Certificate(QStringLiteral("localhost")),
            m_certificates.Key(QStringLiteral("localhost")));
        TlsTestSeam::SetExtraTlsPort(m_server.Port());
        TlsTestSeam::TrustAuthorities({ m_certificates.Authority() });
    }

    void cleanupTestCase() { TlsTestSeam::Reset(); }

    void cleanup()
    {
        m_checker.reset();
        m_sleep.reset();
        m_network.reset();
        m_host.reset();
        Accounts.clear();
    }

    void sleepAndNetwork_data()
    {
        QTest::addColumn<bool>("services"); // the login and network managers answer
        QTest::addColumn<Mailbox>("mailbox");
        QTest::addColumn<QString>("nextCheck");
        // Played after the start-up check, or during it on a silent server.
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("checks"); // started after the start-up check
        QTest::addColumn<int>("pushSignIns"); // IMAP's, the start-up's included
        QTest::addColumn<bool>("waiting"); // the tip says the network is awaited

        const QStringList asleep { "sleep", "locks=0", "wake", "locks=1" };
        QTest::newRow("wake: the account is checked a moment after")
            << true << Mailbox::Pop3 << "5" << asleep + QStringList { "2s" } << 1 << 0 << false;
        QTest::newRow("offline: an account due is not checked, and the tray waits instead of failing")
            << true << Mailbox::Pop3 << "1" << QStringList { "offline", "waiting", "tick" } << 0 << 0 << true;
        QTest::newRow("network back: the account is checked a moment after")
            << true << Mailbox::Pop3 << "5"
            << QStringList { "offline", "waiting", "online", "!waiting", "2s" } << 1 << 0 << false;
        QStringList flapping;
        for (int flap = 0; flap < 10; ++flap)
            flapping << "offline"
                     << "waiting"
                     << "online"
                     << "!waiting"
                     << "2s";
        QTest::newRow("network flapping ten times: one check as it starts, one when the floor ends")
            << true << Mailbox::Pop3 << "5" << flapping + QStringList { "30s" } << 2 << 0 << false;
        QTest::newRow("wake with the network coming back: one check")
            << true << Mailbox::Pop3 << "5"
            << QStringList { "sleep", "offline", "waiting", "wake", "online", "!waiting", "2s" } << 1 << 0
            << false;
        QTest::newRow("a check told by push just after the wake serves for the wake's")
            << true << Mailbox::Pop3 << "5" << asleep + QStringList { "check", "2s" } << 1 << 0 << false;
        QTest::newRow("sleep during a check: the check cut short is no failure")
            << true << Mailbox::Silent << "5" << QStringList { "sleep", "wake" } << 0 << 0 << false;
        // Push reopens with a check of its own, which serves for the wake's.
        QTest::newRow("push reopened at once at the wake, and not again by the next minute's tick")
            << true << Mailbox::ImapPush << "5"
            << QStringList { "tick", "sleep", "locks=0", "gap", "wake", "locks=1", "idle", "tick", "idle",
                   "2s" }
            << 1 << 2 << false;
        QTest::newRow("network back: push reopened by the account's check")
            << true << Mailbox::ImapPush << "5"
            << QStringList { "offline", "waiting", "online", "!waiting", "2s", "idle" } << 1 << 2 << false;
        QTest::newRow("no login or network manager: a tick after minutes of silence reopens push")
            << false << Mailbox::ImapPush << "5" << QStringList { "tick", "gap", "tick", "idle" } << 1 << 2
            << false;
    }

    void sleepAndNetwork()
    {
        QFETCH(bool, services);
        QFETCH(Mailbox, mailbox);
        QFETCH(QString, nextCheck);
        QFETCH(QStringList, events);
        QFETCH(int, checks);
        QFETCH(int, pushSignIns);
        QFETCH(bool, waiting);

        const QByteArray on = services ? " on" : " off";
        QCOMPARE(m_bus.Ask("login1" + on), "login1" + on);
        QCOMPARE(m_bus.Ask("network" + on), "network" + on);
        QCOMPARE(m_bus.Ask("state 70"), QByteArray("state 70"));
        m_server.SetDialogue(mailbox == Mailbox::Pop3 ? emptyPop3Mailbox()
                : mailbox == Mailbox::ImapPush        ? idlingImapMailbox()
                                                      : QList<S::Step> { S::Greeting("", After::Silence) });
        m_server.SetAnswerAnyOrder(true);
        m_server.ClearReceived();

        CommonSettings = CommonSettingsRecord();
        CommonSettings.PopTimeOut = 3600;
        Accounts.push_back(TestAccount(m_server.Port()));
        if (mailbox == Mailbox::ImapPush)
            Accounts.back().Protocol = MailProtocol::Imap;
        m_host = std::make_unique<FakeMailCheckHost>();
        m_host->AddRow(0, true, nextCheck);
        m_checker = std::make_unique<MailChecker>(*m_host);
        m_host->Watch(*m_checker);
        m_checker->tmrMailCheck().setEnabled(false);
        m_checker->SetClock([this] { return m_clock; });
        m_sleep = std::make_unique<SleepWatch>(QStringLiteral("test"));
        m_network = std::make_unique<NetworkWatch>();
        m_checker->Follow(*m_sleep, *m_network);
        if (services)
            QTRY_COMPARE(locks(), 1);

        if (mailbox == Mailbox::Silent) {
            bool played = false;
            m_host->onStatus = [&](qint32, const QString& status) {
                if (status == u"ﾒｰﾙﾁｪｯｸ中" && !std::exchange(played, true))
                    play(events);
            };
            m_checker->mnuMailCheck_Click();
            QVERIFY(played);
        } else {
            m_checker->mnuMailCheck_Click();
            QCOMPARE(m_host->Status(0), u"成功(新着0件)"_qs);
            if (mailbox == Mailbox::ImapPush)
                play({ "idle" });
            play(events);
        }
        if (QTest::currentTestFailed())
            return;

        QCOMPARE(m_host->ChecksStarted(0) - 1, checks);
        QCOMPARE(m_server.ReceivedLines().count("A1 LOGIN \"taro\" \"secret\""), pushSignIns);
        QCOMPARE(m_host->trayToolTip.contains(kWaiting), waiting);
        QVERIFY(!m_host->trayPictures.contains(TrayPictureCode::Failing));
        QVERIFY(!m_host->Status(0).startsWith(u"ｴﾗｰ"));
    }
};

int main(int argc, char* argv[])
{
    // Before the application, which connects to its system bus once.
    PrivateBus bus;
    if (!bus.Start(QStringLiteral("system_services.py"))) {
        qCritical("no private bus");
        return 1;
    }
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.Address());
    QCoreApplication app(argc, argv);
    tst_SleepAndNetwork test(bus);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_SleepAndNetwork.moc"
