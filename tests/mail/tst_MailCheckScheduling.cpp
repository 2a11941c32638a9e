#include "FakeMailCheckHost.h"
#include "ScriptedPop3Server.h"
#include "TestAccount.h"

#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "mail/MailChecker.h"
#include "platform/TimerControl.h"

#include <QTcpServer>
#include <QTest>

using S = ScriptedPop3Server;
using After = ScriptedPop3Server::After;
using TickLists = QList<QList<int>>;

Q_DECLARE_METATYPE(TickLists)

namespace {

const QString kChecking = QStringLiteral("ﾒｰﾙﾁｪｯｸ中");

// A loopback port where nobody listens: every check there fails at once.
quint16 deadPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

class tst_MailCheckScheduling : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeMailCheckHost> host;
    std::unique_ptr<MailChecker> checker;
    quint16 port = 0;
    QStringList order; // "tag status" for every STATUS write, across rows

    void addAccount(qint32 interval, bool ticked = true, const QString& nextCheck = QString())
    {
        const auto tag = static_cast<qint32>(Accounts.size());
        Accounts.push_back(TestAccount(port, interval));
        host->AddRow(tag, ticked, nextCheck.isNull() ? QString::number(interval) : nextCheck);
    }

    // Every connection gets no greeting; the test decides when the wait ends.
    bool useSilentServer(ScriptedPop3Server& server)
    {
        server.SetDialogue({ S::Greeting("", After::Silence) });
        if (!server.Listen())
            return false;
        port = server.Port();
        return true;
    }

private Q_SLOTS:
    void init()
    {
        port = deadPort();
        Accounts.clear();
        CommonSettings = CommonSettingsRecord();
        CommonSettings.PopTimeOut = 3600;
        host = std::make_unique<FakeMailCheckHost>();
        order.clear();
        host->onStatus = [this](qint32 tag, const QString& text) {
            order << QStringLiteral("%1 %2").arg(tag).arg(text);
        };
        checker = std::make_unique<MailChecker>(*host);
        host->Watch(*checker);
        checker->tmrMailCheck().setEnabled(false);
    }

    void cleanup()
    {
        checker.reset();
        host.reset();
        Accounts.clear();
    }

    void timedChecks_data()
    {
        QTest::addColumn<QList<int>>("intervals");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<TickLists>("checkedAtTicks");
        QTest::addColumn<QStringList>("nextCheckAfter");

        QTest::newRow("intervals 2 and 3 over nine ticks")
            << QList<int> { 2, 3 } << 9 << TickLists { { 2, 4, 6, 8 }, { 3, 6, 9 } }
            << QStringList { "1", "3" };
        QTest::newRow("interval 0 counts below zero and is never checked")
            << QList<int> { 0 } << 5 << TickLists { {} } << QStringList { "-5" };
        QTest::newRow("negative interval is never checked")
            << QList<int> { -2 } << 3 << TickLists { {} } << QStringList { "-5" };
        QTest::newRow("interval 1 is checked at every tick")
            << QList<int> { 1 } << 3 << TickLists { { 1, 2, 3 } } << QStringList { "1" };
        QTest::newRow("three accounts due at the same tick") << QList<int> { 2, 2,
            2 } << 2 << TickLists { { 2 }, { 2 }, { 2 } } << QStringList { "2", "2", "2" };
    }

    void timedChecks()
    {
        QFETCH(QList<int>, intervals);
        QFETCH(int, ticks);
        QFETCH(TickLists, checkedAtTicks);
        QFETCH(QStringList, nextCheckAfter);

        for (const int interval : intervals)
            addAccount(interval);
        // The start-up run checks everything and leaves the countdowns alone.
        checker->mnuMailCheck_Click();
        for (int tag = 0; tag < intervals.size(); ++tag) {
            QCOMPARE(host->ChecksStarted(tag), 1);
            QCOMPARE(host->NextCheckText(tag), QString::number(intervals[tag]));
        }

        TickLists seen(intervals.size());
        for (int tick = 1; tick <= ticks; ++tick) {
            QList<int> before;
            for (int tag = 0; tag < intervals.size(); ++tag)
                before << host->ChecksStarted(tag);
            checker->tmrMailCheck_Timer();
            for (int tag = 0; tag < intervals.size(); ++tag)
                if (host->ChecksStarted(tag) > before[tag])
                    seen[tag] << tick;
        }
        QCOMPARE(seen, checkedAtTicks);
        for (int tag = 0; tag < intervals.size(); ++tag)
            QCOMPARE(host->NextCheckText(tag), nextCheckAfter[tag]);
        QVERIFY(!checker->IsRunning());
    }

    void rowAtOneIsCheckedAndShowsItsInterval()
    {
        addAccount(4, true, QStringLiteral("1"));
        checker->tmrMailCheck_Timer();
        QCOMPARE(host->ChecksStarted(0), 1);
        QCOMPARE(host->NextCheckText(0), QStringLiteral("4"));
    }

    void untickedRowCountsDownButSendsNothing()
    {
        QTcpServer listener;
        QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
        port = listener.serverPort();
        addAccount(2, false);
        for (int tick = 0; tick < 4; ++tick)
            checker->tmrMailCheck_Timer();
        checker->mnuMailCheck_Click();
        QCOMPARE(host->NextCheckText(0), QStringLiteral("2"));
        QVERIFY(host->StatusHistory(0).isEmpty());
        QVERIFY(host->trayPictures.isEmpty());
        QVERIFY(!listener.hasPendingConnections());
    }

    void manualRunMidCountdownKeepsIt()
    {
        addAccount(3);
        checker->tmrMailCheck_Timer();
        checker->tmrMailCheck_Timer();
        QCOMPARE(host->NextCheckText(0), QStringLiteral("1"));
        checker->mnuMailCheck_Click();
        QCOMPARE(host->ChecksStarted(0), 1);
        QCOMPARE(host->NextCheckText(0), QStringLiteral("1"));
        checker->tmrMailCheck_Timer();
        QCOMPARE(host->ChecksStarted(0), 2);
        QCOMPARE(host->NextCheckText(0), QStringLiteral("3"));
    }

    void commandsComeBackWhenEveryCheckFailed()
    {
        addAccount(5);
        addAccount(5);
        checker->mnuMailCheck_Click();
        QVERIFY(host->Status(0).startsWith(QStringLiteral("ｴﾗｰ(")));
        QVERIFY(host->Status(1).startsWith(QStringLiteral("ｴﾗｰ(")));
        QCOMPARE(host->commandsEnabledHistory, (QList<bool> { false, true }));
        QCOMPARE(host->trayPictures, (QList<int> { 2, 3, 2, 3 }));
    }

    // A minute tick that comes while a check waits counts down at once, starts
    // nothing inside the running check, and the account it makes due is
    // checked right after, in the same run.
    void tickDuringRunIsDeferredNotNestedNotLost()
    {
        ScriptedPop3Server server;
        QVERIFY(useSilentServer(server));
        addAccount(3, true, QStringLiteral("1")); // due at the first tick
        addAccount(4, true, QStringLiteral("2")); // due at the second, which comes mid-check

        int silences = 0;
        connect(&server, &ScriptedPop3Server::Silenced, this, [&] {
            if (++silences == 1) {
                QVERIFY(checker->IsRunning());
                Q_EMIT checker->tmrMailCheck().Timer();
                QCOMPARE(host->NextCheckText(0), QStringLiteral("-1"));
                QCOMPARE(host->NextCheckText(1), QStringLiteral("0"));
                QCOMPARE(host->ChecksStarted(1), 0);
            }
            Q_EMIT checker->tmrPopTimeOut().Timer();
        });
        checker->tmrMailCheck_Timer();

        QCOMPARE(order, (QStringList { "0 " + kChecking, "0 ｴﾗｰ()", "1 " + kChecking, "1 ｴﾗｰ()" }));
        QCOMPARE(host->NextCheckText(0), QStringLiteral("3"));
        QCOMPARE(host->NextCheckText(1), QStringLiteral("4"));
        QCOMPARE(host->commandsEnabledHistory, (QList<bool> { false, true }));
        QCOMPARE(server.ConnectionCount(), 2);
        QVERIFY(!checker->IsRunning());
    }

    void manualRequestDuringRunIsDeferred()
    {
        ScriptedPop3Server server;
        QVERIFY(useSilentServer(server));
        addAccount(5);
        addAccount(5);

        int silences = 0;
        connect(&server, &ScriptedPop3Server::Silenced, this, [&] {
            if (++silences == 1)
                checker->MailCheck(1); // asked for again while the run is still at row 0
            Q_EMIT checker->tmrPopTimeOut().Timer();
        });
        checker->MailCheck(0);

        QCOMPARE(order, (QStringList { "0 " + kChecking, "0 ｴﾗｰ()", "1 " + kChecking, "1 ｴﾗｰ()" }));
    }

    void rowDeletedDuringRunIsSkipped()
    {
        ScriptedPop3Server server;
        QVERIFY(useSilentServer(server));
        addAccount(5);
        addAccount(5);
        addAccount(5);

        connect(&server, &ScriptedPop3Server::Silenced, this, [&] {
            host->RemoveRow(1);
            Q_EMIT checker->tmrPopTimeOut().Timer();
        });
        checker->mnuMailCheck_Click();

        QCOMPARE(order, (QStringList { "0 " + kChecking, "0 ｴﾗｰ()", "2 " + kChecking, "2 ｴﾗｰ()" }));
        QCOMPARE(host->commandsEnabledHistory, (QList<bool> { false, true }));
    }

    void accountRegisteredDuringCheckLeavesItsEntryIntact()
    {
        ScriptedPop3Server server;
        QVERIFY(server.Listen());
        port = server.Port();
        server.SetDialogue({ S::Greeting("+OK\r\n"), S::Exchange("USER taro", "+OK\r\n"),
            S::Exchange("PASS secret", "+OK\r\n"), S::Exchange("STAT ", "+OK 1 10\r\n"),
            S::Exchange("UIDL 1", "+OK 1 kept-id\r\n"), S::Exchange("TOP 1 0", "+OK\r\n\r\n.\r\n"),
            S::Exchange("QUIT", "+OK\r\n") });
        addAccount(5);
        // The user registers many accounts while the check waits for STAT.
        connect(&server, &ScriptedPop3Server::LineReceived, this, [&](const QByteArray& line) {
            if (line == "STAT ")
                for (int i = 0; i < 5000; ++i)
                    Accounts.push_back(TestAccount(port, 1));
        });
        checker->MailCheck(0);

        QCOMPARE(host->Status(0), QStringLiteral("成功(新着1件)"));
        QCOMPARE(Accounts[0].UIDL, QStringList { "kept-id" });
        QCOMPARE(Accounts[0].CheckInterval, 5);
    }
};

QTEST_GUILESS_MAIN(tst_MailCheckScheduling)
#include "tst_MailCheckScheduling.moc"
