#include "FakeMailCheckHost.h"
#include "ScriptedPop3Server.h"
#include "TestAccount.h"
#include "TestCertificates.h"
#include "TlsTestSeam.h"

#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "mail/MailChecker.h"
#include "platform/TimerControl.h"

#include <QTest>

#include <algorithm>

using S = ScriptedPop3Server;
using After = ScriptedPop3Server::After;
using Dialogue = QList<ScriptedPop3Server::Step>;

namespace {

const QByteArray kFields = "(UID BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)])";

Dialogue signedIn(const QByteArray& capabilities = "IMAP4rev1")
{
    return { S::Greeting("* OK [CAPABILITY " + capabilities + "] ready\r\n"),
        S::Exchange(
            "A1 LOGIN \"taro\" \"secret\"", "A1 OK [CAPABILITY " + capabilities + "] Logged in\r\n") };
}

S::Step examine(int validity, int tag = 2)
{
    const QByteArray t = 'A' + QByteArray::number(tag);
    return S::Exchange(t + " EXAMINE INBOX",
        "* 5 EXISTS\r\n* OK [UIDVALIDITY " + QByteArray::number(validity) + "] UIDs valid\r\n" + t
            + " OK [READ-ONLY] Examine completed\r\n");
}

S::Step search(const QByteArray& uids, int tag = 3)
{
    const QByteArray t = 'A' + QByteArray::number(tag);
    return S::Exchange(t + " UID SEARCH UNSEEN", "* SEARCH " + uids + "\r\n" + t + " OK done\r\n");
}

QByteArray fetched(int uid)
{
    const QByteArray header
        = "From: hanako@example.jp\r\nSubject: message " + QByteArray::number(uid) + "\r\n\r\n";
    return "* " + QByteArray::number(uid) + " FETCH (UID " + QByteArray::number(uid)
        + " BODY[HEADER.FIELDS (FROM SUBJECT DATE)] {" + QByteArray::number(header.size()) + "}\r\n" + header
        + ")\r\n";
}

S::Step fetch(const QList<int>& uids, int tag = 4)
{
    const QByteArray t = 'A' + QByteArray::number(tag);
    QByteArray set;
    QByteArray reply;
    for (int uid : uids) {
        set += (set.isEmpty() ? "" : ",") + QByteArray::number(uid);
        reply += fetched(uid);
    }
    return S::Exchange(t + " UID FETCH " + set + ' ' + kFields, reply + t + " OK Fetch completed\r\n");
}

S::Step logout() { return S::Exchange("Z LOGOUT", "* BYE\r\nZ OK\r\n", After::Close); }

QStringList seen(const QList<int>& uids, int validity = 7)
{
    QStringList list;
    for (int uid : uids)
        list << QStringLiteral("%1:%2").arg(validity).arg(uid);
    return list;
}

// The step whose reply a row replaces.
Dialogue replacing(Dialogue dialogue, const QByteArray& line, const QByteArray& reply)
{
    for (S::Step& step : dialogue)
        if (step.expectedLine == line)
            step.pieces = { reply };
    return dialogue;
}

} // namespace

// Scripted IMAP checks inside TLS, replies one byte per write: what is new,
// the seen list, and every hostile answer ending in a bounded failure with
// nothing stored.
class tst_ImapCheckDialogue : public QObject {
    Q_OBJECT

    TestCertificates certificates;

private Q_SLOTS:
    void initTestCase() { QVERIFY2(certificates.Make(), qPrintable(certificates.Error())); }

    void check_data()
    {
        QTest::addColumn<Dialogue>("dialogue");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QStringList>("seenBefore");
        QTest::addColumn<bool>("recheck");
        QTest::addColumn<int>("announced");
        QTest::addColumn<QStringList>("seenAfter"); // empty: the list stays as it was
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("password");

        const QString ok0 = QStringLiteral("成功(新着0件)");
        const QString kSecret = QStringLiteral("secret");
        const auto ok = [](int n) { return QStringLiteral("成功(新着%1件)").arg(n); };
        const Dialogue mailbox = signedIn() << examine(7) << search("3 5");
        // The newest arrival is noted where the next check may need it.
        const auto newest = [](const QByteArray& time, int tag = 3) {
            const QByteArray t = 'A' + QByteArray::number(tag);
            return S::Exchange(t + " FETCH 5 (INTERNALDATE)",
                "* 5 FETCH (INTERNALDATE \"" + time + "\")\r\n" + t + " OK\r\n");
        };
        QTest::newRow("first check: every unseen message announced")
            << (signedIn() << examine(7) << newest("10-Dec-2026 12:05:00 +0900") << search("3 5", 4)
                           << fetch({ 3, 5 }, 5) << logout())
            << true << QStringList() << false << 2
            << (QStringList { "7:0", "7:newest:2026-12-10T03:05:00Z" } << seen({ 3, 5 })) << ok(2) << kSecret;
        QTest::newRow("nothing new: no FETCH") << (Dialogue(mailbox) << logout()) << true << seen({ 0, 3, 5 })
                                               << false << 0 << QStringList() << ok0 << kSecret;
        QTest::newRow("one of two unseen is new")
            << (Dialogue(mailbox) << fetch({ 5 }) << logout()) << true << seen({ 0, 3 }) << false << 1
            << seen({ 0, 3, 5 }) << ok(1) << kSecret;
        QTest::newRow("rechecking announces every unseen message")
            << (Dialogue(mailbox) << fetch({ 3, 5 }) << logout()) << true << seen({ 0, 3, 5 }) << true << 2
            << QStringList() << ok(2) << kSecret;
        QTest::newRow(
            "UIDVALIDITY changed, no arrival noted before: nothing announced, the unseen taken as known")
            << (signedIn() << examine(8) << newest("10-Dec-2026 03:05:00 +0000") << search("3 5", 4)
                           << logout())
            << true << seen({ 0, 3 }) << false << 0
            << (QStringList { "8:0", "8:newest:2026-12-10T03:05:00Z" } << seen({ 3, 5 }, 8)) << ok0
            << kSecret;
        // Courier (a mailbox never opened read-write) and Mailutils (messages
        // without X-UID) number the messages afresh in every session.
        QTest::newRow("new UIDVALIDITY every session: what arrived since the last check announced")
            << (signedIn()
                   << examine(8) << newest("10-Dec-2026 03:05:00 +0000") << search("1 2", 4)
                   << S::Exchange("A5 UID FETCH 1,2 (UID INTERNALDATE)",
                          "* 1 FETCH (UID 1 INTERNALDATE \"10-Dec-2026 03:00:00 +0000\")\r\n"
                          "* 2 FETCH (UID 2 INTERNALDATE \"10-Dec-2026 03:04:00 +0000\")\r\nA5 OK\r\n")
                   << fetch({ 2 }, 6) << logout())
            << true << QStringList { "7:0", "7:newest:2026-12-10T03:00:00Z", "7:3" } << false << 1
            << (QStringList { "8:0", "8:newest:2026-12-10T03:05:00Z" } << seen({ 1, 2 }, 8)) << ok(1)
            << kSecret;
        QTest::newRow("UID asked for and not returned: not taken as seen")
            << (Dialogue(mailbox) << S::Exchange("A4 UID FETCH 3,5 " + kFields, fetched(3) + "A4 OK\r\n")
                                  << logout())
            << true << seen({ 0 }) << false << 1 << seen({ 0, 3 }) << ok(1) << kSecret;
        QTest::newRow("UID 0 in the SEARCH answer: the check fails, the list kept")
            << (signedIn() << examine(7) << S::Exchange("A3 UID SEARCH UNSEEN", "* SEARCH 3 0\r\nA3 OK\r\n"))
            << true << seen({ 0, 3 }) << false << 0 << QStringList() << QStringLiteral("ｴﾗｰ(SEARCH ｴﾗｰ)")
            << kSecret;
        QTest::newRow("nothing unseen: the validity is kept")
            << (signedIn() << examine(7) << search("") << logout()) << true << seen({ 0, 3 }) << false << 0
            << seen({ 0 }) << ok0 << kSecret;
        QTest::newRow("password with a quote and kana goes as a literal")
            << (Dialogue { S::Greeting("* OK [CAPABILITY IMAP4rev1] ready\r\n"),
                    S::Exchange("A1 LOGIN \"taro\" {10}", "+ go on\r\n"),
                    S::Exchange("pa\"sパス", "A1 OK Logged in\r\n"), examine(7), search("") }
                   << logout())
            << true << seen({ 0 }) << false << 0 << seen({ 0 }) << ok0 << QStringLiteral("pa\"sパス");
        QTest::newRow("LOGINDISABLED: AUTHENTICATE PLAIN on the command line")
            << (Dialogue {
                    S::Greeting("* OK [CAPABILITY IMAP4rev1 LOGINDISABLED AUTH=PLAIN SASL-IR] ready\r\n"),
                    S::Exchange("A1 AUTHENTICATE PLAIN AHRhcm8Ac2VjcmV0", "A1 OK Logged in\r\n"), examine(7),
                    search("") }
                   << logout())
            << true << seen({ 0 }) << false << 0 << seen({ 0 }) << ok0 << kSecret;

        const QByteArray verdictFields
            = " (UID BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE X-SPAM-FLAG X-SPAM-STATUS "
              "X-SPAM X-SPAM-RESULT X-MD-CLASS)])";
        QTest::newRow("spam detection: the flagged message is not announced")
            << (Dialogue(mailbox) << S::Exchange("A4 UID FETCH 3,5" + verdictFields,
                    fetched(3)
                        + "* 5 FETCH (UID 5 BODY[HEADER.FIELDS (X-SPAM-FLAG)] {20}\r\nX-Spam-Flag: "
                          "YES\r\n\r\n)\r\n"
                          "A4 OK done\r\n")
                                  << logout())
            << true << seen({ 0 }) << false << 1 << seen({ 0, 3, 5 }) << ok(1) << kSecret;

        const QString fetchError = QStringLiteral("ｴﾗｰ(FETCH ｴﾗｰ)");
        QTest::newRow("plain port without STARTTLS: no credentials sent")
            << Dialogue { S::Greeting("* OK ready\r\n"),
                   S::Exchange("A1 CAPABILITY", "* CAPABILITY IMAP4rev1 AUTH=PLAIN\r\nA1 OK\r\n") }
            << false << seen({ 0, 3 }) << false << 0 << QStringList()
            << QStringLiteral("ｴﾗｰ(STARTTLS 非対応ｻｰﾊﾞｰ)") << kSecret;
        QTest::newRow("LOGIN refused") << replacing(signedIn(), "A1 LOGIN \"taro\" \"secret\"",
            "A1 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n")
                                       << true << seen({ 0, 3 }) << false << 0 << QStringList()
                                       << QStringLiteral("ｴﾗｰ(LOGIN ｴﾗｰ: Authentication failed.)") << kSecret;
        QTest::newRow("literal announcing 4 GB")
            << (Dialogue(mailbox) << S::Exchange("A4 UID FETCH 3,5 " + kFields,
                    "* 1 FETCH (UID 3 BODY[HEADER.FIELDS (FROM)] {4000000000}\r\n"))
            << true << seen({ 0 }) << false << 0 << QStringList() << fetchError << kSecret;
        QTest::newRow("malformed FETCH: UID given twice") << (Dialogue(mailbox)
            << S::Exchange("A4 UID FETCH 3,5 " + kFields, "* 1 FETCH (UID 3 UID 3)\r\nA4 OK\r\n"))
                                                          << true << seen({ 0 }) << false << 0
                                                          << QStringList() << fetchError << kSecret;
        QTest::newRow("NUL byte in the SEARCH line")
            << (signedIn() << examine(
                    7) << S::Exchange("A3 UID SEARCH UNSEEN", QByteArray("* SEARCH 3\0 5\r\nA3 OK\r\n", 21)))
            << true << seen({ 0 }) << false << 0 << QStringList() << QStringLiteral("ｴﾗｰ(SEARCH ｴﾗｰ)")
            << kSecret;
        QTest::newRow("untagged responses without end") << (signedIn()
            << examine(7)
            << S::Exchange("A3 UID SEARCH UNSEEN", QByteArray("* OK still here\r\n").repeated(8000)))
                                                        << true << seen({ 0 }) << false << 0 << QStringList()
                                                        << QStringLiteral("ｴﾗｰ(SEARCH ｴﾗｰ)") << kSecret;
        QTest::newRow("EXAMINE answered with another tag")
            << replacing(Dialogue(mailbox), "A2 EXAMINE INBOX", "A9 OK\r\n") << true << QStringList() << false
            << 0 << QStringList() << QStringLiteral("ｴﾗｰ(EXAMINE ｴﾗｰ)") << kSecret;
        QTest::newRow("LOGIN answered twice, the second taken for EXAMINE")
            << replacing(Dialogue(mailbox), "A1 LOGIN \"taro\" \"secret\"", "A1 OK\r\nA1 OK\r\n") << true
            << QStringList() << false << 0 << QStringList() << QStringLiteral("ｴﾗｰ(EXAMINE ｴﾗｰ)") << kSecret;
        // A server going away at any step: the check fails there, nothing stored.
        const Dialogue whole = Dialogue(mailbox) << fetch({ 3, 5 });
        const QStringList failures { QStringLiteral("ｴﾗｰ(going away)"), QStringLiteral("ｴﾗｰ(LOGIN ｴﾗｰ)"),
            QStringLiteral("ｴﾗｰ(EXAMINE ｴﾗｰ)"), QStringLiteral("ｴﾗｰ(SEARCH ｴﾗｰ)"), fetchError };
        for (qsizetype i = 0; i < whole.size(); ++i) {
            Dialogue cut = whole.mid(0, i + 1);
            cut.last().pieces = { "* BYE going away\r\n" };
            cut.last().after = After::Close;
            const QByteArray name
                = "BYE instead of the reply to " + (i ? whole[i].expectedLine.left(12) : "connecting");
            QTest::newRow(name.constData())
                << cut << true << seen({ 0, 3 }) << false << 0 << QStringList() << failures[i] << kSecret;
        }
        QTest::newRow("EXAMINE without UIDVALIDITY")
            << (signedIn() << S::Exchange("A2 EXAMINE INBOX", "* 5 EXISTS\r\nA2 OK\r\n")) << true
            << QStringList() << false << 0 << QStringList() << QStringLiteral("ｴﾗｰ(EXAMINE ｴﾗｰ)") << kSecret;
    }

    void check()
    {
        QFETCH(Dialogue, dialogue);
        QFETCH(bool, tls);
        QFETCH(QStringList, seenBefore);
        QFETCH(bool, recheck);
        QFETCH(int, announced);
        QFETCH(QStringList, seenAfter);
        QFETCH(QString, status);
        QFETCH(QString, password);

        ScriptedPop3Server server;
        QVERIFY(server.Listen());
        server.SetChunkSize(1);
        if (tls) {
            TlsTestSeam::SetExtraTlsPort(server.Port());
            server.UseTls(certificates.Certificate(QStringLiteral("localhost")),
                certificates.Key(QStringLiteral("localhost")));
        }
        TlsTestSeam::TrustAuthorities({ certificates.Authority() });
        server.SetDialogue(dialogue);
        FakeMailCheckHost host;
        host.AddRow(0, true, QStringLiteral("5"));
        MailChecker checker(host);
        host.Watch(checker);
        checker.tmrMailCheck().setEnabled(false);
        checker.SetCheckMemoryBound(64 * 1024);
        CommonSettings = CommonSettingsRecord();
        CommonSettings.PopTimeOut = 3600;
        CommonSettings.RecheckMailChecked = recheck;
        // A row that asks for the filters' verdict fields judges spam.
        CommonSettings.SpamCheck = std::any_of(dialogue.cbegin(), dialogue.cend(),
            [](const S::Step& step) { return step.expectedLine.contains("X-SPAM-FLAG"); });
        connect(&server, &ScriptedPop3Server::Silenced, &checker,
            [&] { Q_EMIT checker.tmrPopTimeOut().Timer(); });
        Accounts.clear();
        Accounts.push_back(TestAccount(server.Port()));
        Accounts[0].PopServer = QStringLiteral("localhost");
        Accounts[0].Protocol = MailProtocol::Imap;
        Accounts[0].UIDL = seenBefore;
        Accounts[0].PopPasswd = password;

        checker.MailCheck(0);
        QTRY_VERIFY(server.IsIdle());

        QCOMPARE(host.Status(0), status);
        QCOMPARE(Accounts[0].UIDL, seenAfter.isEmpty() ? seenBefore : seenAfter);
        QCOMPARE(host.arrival.calls.size(), announced ? announced + 2 : 0);
        // Read-only, always: nothing that could change a flag went out.
        for (const QByteArray& line : server.ReceivedLines())
            QVERIFY2(!line.contains("SELECT") && !line.contains("STORE") && !line.contains("BODY["),
                line.constData());
        Accounts.clear();
        TlsTestSeam::Reset();
    }
};

QTEST_GUILESS_MAIN(tst_ImapCheckDialogue)
#include "tst_ImapCheckDialogue.moc"
