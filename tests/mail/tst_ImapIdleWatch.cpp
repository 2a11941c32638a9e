#include "ScriptedPop3Server.h"
#include "TestAccount.h"
#include "TestCertificates.h"
#include "TlsTestSeam.h"
#include "app/AccountTable.h"
#include "mail/ImapIdleWatch.h"
#include "platform/TimerControl.h"

#include <QSignalSpy>
#include <QTest>

using S = ScriptedPop3Server;
using Dialogue = QList<ScriptedPop3Server::Step>;

namespace {

const S::Step kGreeting = S::Greeting("* OK [CAPABILITY IMAP4rev1 IDLE] ready\r\n");
const S::Step kLogin
    = S::Exchange("W1 LOGIN \"taro\" \"secret\"", "W1 OK [CAPABILITY IMAP4rev1 IDLE] in\r\n");
const S::Step kExamine = S::Exchange(
    "W2 EXAMINE INBOX", "* 3 EXISTS\r\n* 0 RECENT\r\n* OK [UIDVALIDITY 7] ok\r\nW2 OK [READ-ONLY] done\r\n");
const S::Step kIdle = S::Exchange("W3 IDLE", "+ idling\r\n");
const QByteArrayList kToIdle { "W1 LOGIN \"taro\" \"secret\"", "W2 EXAMINE INBOX", "W3 IDLE" };

Dialogue idleThenDone(const QByteArray& doneReply, S::After after = S::After::Continue)
{
    return { kGreeting, kLogin, kExamine, kIdle, S::Exchange("DONE", doneReply, after),
        S::Exchange("W4 IDLE", "+ idling\r\n") };
}

} // namespace

// The watch against a scripted server that writes one byte at a time: it idles, tells of
// changes, renews, and comes back after every way of losing the connection.
class tst_ImapIdleWatch : public QObject {
    Q_OBJECT

private:
    TestCertificates certificates;

private Q_SLOTS:
    void initTestCase() { QVERIFY2(certificates.Make(), qPrintable(certificates.Error())); }

    void watch_data()
    {
        QTest::addColumn<Dialogue>("dialogue");
        QTest::addColumn<bool>("tls"); // implicit TLS on the server's port, else plain text
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("push"); // written unasked once the client idles
        QTest::addColumn<QString>("timer"); // then stepped: "renew", or "silence" after DONE
        QTest::addColumn<QByteArrayList>("lines"); // every client line, across connections
        QTest::addColumn<int>("changed");
        // "idling"; "back" in IDLE once the retry timer is fired after the connection is lost;
        // "unsupported"; or the STATUS of Failed.
        QTest::addColumn<QString>("outcome");

        const QByteArrayList done = kToIdle + QByteArrayList { "DONE", "W4 IDLE" };
        const QByteArrayList twice = kToIdle + kToIdle;
        const QByteArrayList doneTwice = kToIdle + QByteArrayList { "DONE" } + kToIdle;
        const Dialogue plain = { kGreeting, kLogin, kExamine, kIdle };
        const Dialogue doneOk = idleThenDone("W3 OK done\r\n");
        const QByteArray exists = "* 4 EXISTS\r\n";
        const QString secret = QStringLiteral("secret");
        QTest::newRow("new mail during IDLE") << idleThenDone("* 4 EXISTS\r\nW3 OK done\r\n") << true
                                              << secret << exists << "" << done << 1 << "idling";
        QTest::newRow("message read in another client")
            << doneOk << true << secret << QByteArray("* 3 FETCH (FLAGS (\\Seen))\r\n") << "" << done << 1
            << "idling";
        QTest::newRow("message expunged in another client")
            << doneOk << true << secret << QByteArray("* 2 EXPUNGE\r\n") << "" << done << 1 << "idling";
        QTest::newRow("IDLE renewed after 29 minutes")
            << doneOk << true << secret << QByteArray() << "renew" << done << 0 << "idling";
        QTest::newRow("server without IDLE")
            << Dialogue { S::Greeting("* OK [CAPABILITY IMAP4rev1] ready\r\n"),
                   S::Exchange("W1 LOGIN \"taro\" \"secret\"", "W1 OK [CAPABILITY IMAP4rev1] in\r\n"),
                   kExamine }
            << true << secret << QByteArray() << "" << kToIdle.first(2) << 0 << "unsupported";
        QTest::newRow("IDLE refused with a tagged NO")
            << Dialogue { kGreeting, kLogin, kExamine, S::Exchange("W3 IDLE", "W3 NO not now\r\n") } << true
            << secret << QByteArray() << "" << kToIdle << 0 << "unsupported";
        QTest::newRow("BYE during IDLE")
            << plain << true << secret << QByteArray("* BYE going down\r\n") << "" << twice << 1 << "back";
        QTest::newRow("DONE never answered") << idleThenDone("", S::After::Silence) << true << secret
                                             << exists << "silence" << doneTwice << 1 << "back";
        QTest::newRow("DONE answered with the tag of EXAMINE")
            << idleThenDone("W2 OK done\r\n") << true << secret << exists << "" << doneTwice << 1 << "back";
        QTest::newRow("endless untagged stream during IDLE")
            << plain << true << secret << QByteArray("* OK\r\n").repeated(10001) << "" << twice << 1
            << "back";
        QTest::newRow("NUL byte during IDLE")
            << plain << true << secret << QByteArray("* 4 EXI\0STS\r\n", 13) << "" << twice << 1 << "back";
        QTest::newRow("malformed FETCH during IDLE")
            << plain << true << secret << QByteArray("* 3 FETCH (FLAGS\r\n") << "" << twice << 1 << "back";
        QTest::newRow("plain port without STARTTLS: no LOGIN")
            << Dialogue { S::Greeting("* OK ready\r\n"),
                   S::Exchange("W1 CAPABILITY", "* CAPABILITY IMAP4rev1 IDLE AUTH=PLAIN\r\nW1 OK\r\n") }
            << false << secret << QByteArray() << "" << QByteArrayList { "W1 CAPABILITY" } << 0
            << u"ｴﾗｰ(STARTTLS 非対応ｻｰﾊﾞｰ)"_qs;
        QTest::newRow("LOGIN refused")
            << Dialogue { kGreeting, S::Exchange(kToIdle[0], "W1 NO [AUTHENTICATIONFAILED] wrong\r\n") }
            << true << secret << QByteArray() << "" << kToIdle.first(1) << 0 << u"ｴﾗｰ(LOGIN ｴﾗｰ: wrong)"_qs;
        const QString password = u"pa\"ss語"_qs;
        QTest::newRow("password with a quote and non-ASCII goes as a literal after the server's +")
            << Dialogue { kGreeting, S::Exchange("W1 LOGIN \"taro\" {8}", "+ go on\r\n"),
                   S::Exchange(password.toUtf8(), "W1 OK [CAPABILITY IMAP4rev1 IDLE] in\r\n"), kExamine,
                   kIdle }
            << true << password << QByteArray() << ""
            << QByteArrayList { "W1 LOGIN \"taro\" {8}", password.toUtf8(), "W2 EXAMINE INBOX", "W3 IDLE" }
            << 0 << "idling";
    }

    void watch()
    {
        QFETCH(Dialogue, dialogue);
        QFETCH(bool, tls);
        QFETCH(QString, password);
        QFETCH(QByteArray, push);
        QFETCH(QString, timer);
        QFETCH(QByteArrayList, lines);
        QFETCH(int, changed);
        QFETCH(QString, outcome);
        const bool reconnect = outcome == u"back";
        const bool idles = outcome == u"idling" || reconnect;

        Accounts.clear();
        TlsTestSeam::Reset();
        ScriptedPop3Server server;
        QVERIFY(server.Listen());
        TlsTestSeam::TrustAuthorities({ certificates.Authority() });
        if (tls) {
            server.UseTls(certificates.Certificate("localhost"), certificates.Key("localhost"));
            TlsTestSeam::SetExtraTlsPort(server.Port());
        }
        server.SetChunkSize(1);
        server.SetDialogue(dialogue);
        Accounts.push_back(TestAccount(server.Port()));
        Accounts[0].PopServer = QStringLiteral("localhost");
        Accounts[0].PopPasswd = password;
        Accounts[0].Protocol = MailProtocol::Imap;

        TimerControl renew, retry, silence;
        ImapIdleWatch watch(0, renew, retry, silence);
        QSignalSpy idling(&watch, &ImapIdleWatch::Idling);
        QSignalSpy changes(&watch, &ImapIdleWatch::Changed);
        QSignalSpy failures(&watch, &ImapIdleWatch::Failed);
        QSignalSpy unsupported(&watch, &ImapIdleWatch::Unsupported);
        watch.Start();

        QTRY_VERIFY(!idling.isEmpty() || !unsupported.isEmpty() || !failures.isEmpty());
        // A flood is about the count of responses; the other rows frame byte by byte, and its
        // 60 KB at one TLS record a byte would take longer than any wait on a busy machine.
        if (push.size() > 1024)
            server.SetChunkSize(0);
        server.Push(push);
        if (timer == u"renew")
            Q_EMIT renew.Timer();
        if (timer == u"silence") {
            QTRY_VERIFY(server.ReceivedLines().contains("DONE"));
            Q_EMIT silence.Timer();
        }
        if (reconnect) {
            QTRY_VERIFY(retry.Enabled() && server.IsIdle()); // closed before trying again
            QCOMPARE(retry.Interval(), 5000);
            Q_EMIT retry.Timer();
        }
        QTRY_COMPARE(server.ReceivedLines(), lines);
        QTRY_COMPARE(watch.IsIdling(), idles);
        QTRY_COMPARE(changes.size(), changed);
        QCOMPARE(idling.size(), idles ? 1 + int(reconnect) : 0);
        QCOMPARE(unsupported.size(), int(outcome == u"unsupported"));
        QVERIFY(server.ClientSentNothingElse());
        // Failing before IDLE tries again, and says why; giving up on IDLE does not.
        const bool failed = !idles && outcome != u"unsupported";
        QCOMPARE(retry.Enabled(), failed);
        QCOMPARE(failures.size(), int(failed));
        if (failed)
            QCOMPARE(StatusText::Of(failures[0][1].value<CheckFailure>()), outcome);
        // Only the renewal ticks while idling. A renewed IDLE counts as idling from the moment
        // it goes out, but waits on its "+" under the silence like any command until it is read.
        QTRY_COMPARE(renew.Enabled(), idles);
        QVERIFY(!silence.Enabled());
    }
};

QTEST_GUILESS_MAIN(tst_ImapIdleWatch)
#include "tst_ImapIdleWatch.moc"
