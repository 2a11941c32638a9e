#include "FakeMailCheckHost.h"
#include "ScriptedPop3Server.h"
#include "TestAccount.h"
#include "TestCertificates.h"
#include "TlsTestSeam.h"

#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "mail/MailChecker.h"
#include "platform/TimerControl.h"

#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <numeric>

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

S::Step logout(int tag)
{
    const QByteArray t = 'A' + QByteArray::number(tag);
    return S::Exchange(t + " LOGOUT", "* BYE\r\n" + t + " OK\r\n", After::Close);
}

S::Step idle(int tag, After after = After::Continue)
{
    return S::Exchange('A' + QByteArray::number(tag) + " IDLE", "+ idling\r\n", after);
}

// DONE, and the NOOP that has the server look at the mailbox before the check.
Dialogue done(int tag)
{
    const QByteArray noop = 'A' + QByteArray::number(tag + 1);
    return { S::Exchange("DONE", 'A' + QByteArray::number(tag) + " OK done\r\n"),
        S::Exchange(noop + " NOOP", noop + " OK\r\n") };
}

QStringList seen(const QList<int>& uids, int validity = 7)
{
    QStringList list;
    for (int uid : uids)
        list << QStringLiteral("%1:%2").arg(validity).arg(uid);
    return list;
}

// The step whose reply a row replaces.
Dialogue replacing(
    Dialogue dialogue, const QByteArray& line, const QByteArray& reply, After after = After::Continue)
{
    for (S::Step& step : dialogue)
        if (step.expectedLine == line) {
            step.pieces = { reply };
            step.after = after;
        }
    return dialogue;
}

} // namespace

// One account's connection against a scripted server inside TLS, replies one
// byte per write: what a check finds and keeps, IDLE after it where offered
// and the checks on the same connection that changes and timers bring, and
// every hostile answer ending bounded, with nothing stored.
class tst_ImapConnection : public QObject {
    Q_OBJECT

    TestCertificates certificates;

private Q_SLOTS:
    void initTestCase() { QVERIFY2(certificates.Make(), qPrintable(certificates.Error())); }

    void connection_data()
    {
        QTest::addColumn<Dialogue>("dialogue");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QStringList>("seenBefore");
        QTest::addColumn<bool>("recheck");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("push"); // written unasked once the connection idles
        // Then: "renew", "check" (a timed check), "floor", "retry" (the back-off ends), "close" and
        // "reopen" (around the machine's sleep),
        // "silence" or "length" (fired once the server stays silent).
        QTest::addColumn<QString>("act");
        // Client lines in all; -1: each the dialogue expects, once; 0: however many went out before the
        // connection was closed on them.
        QTest::addColumn<int>("sent");
        QTest::addColumn<int>("announced"); // arrival rows in all
        QTest::addColumn<QStringList>("seenAfter"); // empty: the list stays as it was
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("idles"); // the tray names the account as pushed in the end
        QTest::addColumn<int>("backOff"); // the wait before the account is checked again; 0: none

        const QString ok0 = QStringLiteral("成功(新着0件)");
        const QString kSecret = QStringLiteral("secret");
        const QByteArray none;
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
                           << fetch({ 3, 5 }, 5) << logout(6))
            << true << QStringList() << false << kSecret << none << "" << -1 << 2
            << (QStringList { "7:0", "7:newest:2026-12-10T03:05:00Z" } << seen({ 3, 5 })) << ok(2) << false
            << 0;
        QTest::newRow("nothing new: no FETCH")
            << (Dialogue(mailbox) << logout(4)) << true << seen({ 0, 3, 5 }) << false << kSecret << none << ""
            << -1 << 0 << QStringList() << ok0 << false << 0;
        QTest::newRow("one of two unseen is new")
            << (Dialogue(mailbox) << fetch({ 5 }) << logout(5)) << true << seen({ 0, 3 }) << false << kSecret
            << none << "" << -1 << 1 << seen({ 0, 3, 5 }) << ok(1) << false << 0;
        QTest::newRow("rechecking announces every unseen message")
            << (Dialogue(mailbox) << fetch({ 3, 5 }) << logout(5)) << true << seen({ 0, 3, 5 }) << true
            << kSecret << none << "" << -1 << 2 << QStringList() << ok(2) << false << 0;
        QTest::newRow(
            "UIDVALIDITY changed, no arrival noted before: nothing announced, the unseen taken as known")
            << (signedIn() << examine(8) << newest("10-Dec-2026 03:05:00 +0000") << search("3 5", 4)
                           << logout(5))
            << true << seen({ 0, 3 }) << false << kSecret << none << "" << -1 << 0
            << (QStringList { "8:0", "8:newest:2026-12-10T03:05:00Z" } << seen({ 3, 5 }, 8)) << ok0 << false
            << 0;
        // Courier (a mailbox never opened read-write) and Mailutils (messages
        // without X-UID) number the messages afresh in every session.
        const QByteArray courierHeader = "From: hanako@example.jp\r\nSubject: new\r\n\r\n";
        QTest::newRow(
            "Courier: a new UIDVALIDITY every session, fields quoted back: what arrived since announced")
            << Dialogue { S::Greeting(
                              "* OK [CAPABILITY IMAP4rev1 UIDPLUS CHILDREN NAMESPACE IDLE STARTTLS ENABLE "
                              "UTF8=ACCEPT] Courier-IMAP ready.\r\n"),
                   S::Exchange("A1 LOGIN \"taro\" \"secret\"", "A1 OK LOGIN Ok.\r\n"),
                   S::Exchange("A2 CAPABILITY",
                       "* CAPABILITY IMAP4rev1 UIDPLUS CHILDREN NAMESPACE IDLE ENABLE UTF8=ACCEPT\r\n"
                       "A2 OK CAPABILITY completed\r\n"),
                   S::Exchange("A3 EXAMINE INBOX",
                       "* FLAGS (\\Draft \\Answered \\Flagged \\Deleted \\Seen \\Recent)\r\n"
                       "* OK [PERMANENTFLAGS ()] No permanent flags permitted\r\n* 3 EXISTS\r\n* 3 RECENT\r\n"
                       "* OK [UIDVALIDITY 796883111] Ok\r\n* OK [MYRIGHTS \"acdilrsw\"] ACL\r\n"
                       "A3 OK [READ-ONLY] Ok\r\n"),
                   S::Exchange("A4 FETCH 3 (INTERNALDATE)",
                       "* 3 FETCH (INTERNALDATE \"10-Dec-2026 06:11:51 +0000\")\r\nA4 OK FETCH "
                       "completed.\r\n"),
                   S::Exchange("A5 UID SEARCH UNSEEN", "* SEARCH 2 3\r\nA5 OK SEARCH done.\r\n"),
                   S::Exchange("A6 UID FETCH 2,3 (UID INTERNALDATE)",
                       "* 2 FETCH (UID 2 INTERNALDATE \"10-Dec-2026 06:09:59 +0000\")\r\n"
                       "* 3 FETCH (UID 3 INTERNALDATE \"10-Dec-2026 06:11:51 +0000\")\r\nA6 OK FETCH "
                       "completed.\r\n"),
                   S::Exchange("A7 UID FETCH 3 " + kFields,
                       "* 3 FETCH (UID 3 BODY[HEADER.FIELDS (\"FROM\" \"SUBJECT\" \"DATE\")] {"
                           + QByteArray::number(courierHeader.size()) + "}\r\n" + courierHeader
                           + ")\r\nA7 OK FETCH completed.\r\n"),
                   S::Exchange("A8 IDLE", "+ entering ENHANCED idle mode\r\n") }
            << true << QStringList { "7:0", "7:newest:2026-12-10T06:10:00Z", "7:2" } << false << kSecret
            << none << "" << -1 << 1
            << (QStringList { "796883111:0", "796883111:newest:2026-12-10T06:11:51Z" }
                   << seen({ 2, 3 }, 796883111))
            << ok(1) << true << 0;
        QTest::newRow("new UIDVALIDITY every session, the mailbox empty at the last check: all unseen is new")
            << (signedIn()
                   << examine(8) << newest("10-Dec-2026 03:05:00 +0000") << search("1", 4)
                   << S::Exchange("A5 UID FETCH 1 (UID INTERNALDATE)",
                          "* 1 FETCH (UID 1 INTERNALDATE \"10-Dec-2026 03:05:00 +0000\")\r\nA5 OK\r\n")
                   << fetch({ 1 }, 6) << logout(7))
            << true << QStringList { "7:0", "7:newest:empty" } << false << kSecret << none << "" << -1 << 1
            << (QStringList { "8:0", "8:newest:2026-12-10T03:05:00Z" } << seen({ 1 }, 8)) << ok(1) << false
            << 0;
        QTest::newRow("first check of an empty mailbox: no message to take the arrival of")
            << (signedIn() << S::Exchange(
                    "A2 EXAMINE INBOX", "* 0 EXISTS\r\n* OK [UIDVALIDITY 7] x\r\nA2 OK\r\n")
                           << search("") << logout(4))
            << true << QStringList() << false << kSecret << none << "" << -1 << 0
            << QStringList { "7:0", "7:newest:empty" } << ok0 << false << 0;
        QTest::newRow("UID asked for and not returned: not taken as seen")
            << (Dialogue(mailbox) << S::Exchange("A4 UID FETCH 3,5 " + kFields, fetched(3) + "A4 OK\r\n")
                                  << logout(5))
            << true << seen({ 0 }) << false << kSecret << none << "" << -1 << 1 << seen({ 0, 3 }) << ok(1)
            << false << 0;
        QTest::newRow("UID 0 in the SEARCH answer: the check fails, the list kept")
            << (signedIn() << examine(7) << S::Exchange("A3 UID SEARCH UNSEEN", "* SEARCH 3 0\r\nA3 OK\r\n"))
            << true << seen({ 0, 3 }) << false << kSecret << none << "" << -1 << 0 << QStringList()
            << QStringLiteral("ｴﾗｰ(SEARCH ｴﾗｰ)") << false << 0;
        QTest::newRow("nothing unseen: the validity is kept")
            << (signedIn() << examine(7) << search("") << logout(4)) << true << seen({ 0, 3 }) << false
            << kSecret << none << "" << -1 << 0 << seen({ 0 }) << ok0 << false << 0;
        QTest::newRow("password with a quote and kana goes as a literal")
            << (Dialogue { S::Greeting("* OK [CAPABILITY IMAP4rev1] ready\r\n"),
                    S::Exchange("A1 LOGIN \"taro\" {10}", "+ go on\r\n"),
                    S::Exchange("pa\"sパス", "A1 OK [CAPABILITY IMAP4rev1] Logged in\r\n"), examine(7),
                    search("") }
                   << logout(4))
            << true << seen({ 0 }) << false << QStringLiteral("pa\"sパス") << none << "" << -1 << 0
            << seen({ 0 }) << ok0 << false << 0;
        QTest::newRow("LOGINDISABLED: AUTHENTICATE PLAIN on the command line")
            << (Dialogue {
                    S::Greeting("* OK [CAPABILITY IMAP4rev1 LOGINDISABLED AUTH=PLAIN SASL-IR] ready\r\n"),
                    S::Exchange("A1 AUTHENTICATE PLAIN AHRhcm8Ac2VjcmV0",
                        "A1 OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] Logged in\r\n"),
                    examine(7), search("") }
                   << logout(4))
            << true << seen({ 0 }) << false << kSecret << none << "" << -1 << 0 << seen({ 0 }) << ok0 << false
            << 0;

        const QByteArray verdictFields
            = " (UID BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE X-SPAM-FLAG X-SPAM-STATUS "
              "X-SPAM X-SPAM-RESULT X-MD-CLASS)])";
        QTest::newRow("spam detection: the flagged message is not announced")
            << (Dialogue(mailbox) << S::Exchange("A4 UID FETCH 3,5" + verdictFields,
                    fetched(3)
                        + "* 5 FETCH (UID 5 BODY[HEADER.FIELDS (X-SPAM-FLAG)] {20}\r\nX-Spam-Flag: "
                          "YES\r\n\r\n)\r\n"
                          "A4 OK done\r\n")
                                  << logout(5))
            << true << seen({ 0 }) << false << kSecret << none << "" << -1 << 1 << seen({ 0, 3, 5 }) << ok(1)
            << false << 0;

        const QString fetchError = QStringLiteral("ｴﾗｰ(FETCH ｴﾗｰ)");
        QTest::newRow("plain port without STARTTLS: no credentials sent")
            << Dialogue { S::Greeting("* OK ready\r\n"),
                   S::Exchange("A1 CAPABILITY", "* CAPABILITY IMAP4rev1 AUTH=PLAIN\r\nA1 OK\r\n") }
            << false << seen({ 0, 3 }) << false << kSecret << none << "" << -1 << 0 << QStringList()
            << QStringLiteral("ｴﾗｰ(STARTTLS 非対応ｻｰﾊﾞｰ)") << false << 0;
        QTest::newRow("plain text behind STARTTLS's answer: no handshake, no credentials")
            << Dialogue { S::Greeting("* OK ready\r\n"),
                   S::Exchange("A1 CAPABILITY", "* CAPABILITY IMAP4rev1 STARTTLS\r\nA1 OK\r\n"),
                   S::Exchange("A2 STARTTLS", "A2 OK begin\r\n* CAPABILITY IMAP4rev1 AUTH=PLAIN\r\n") }
            << false << seen({ 0, 3 }) << false << kSecret << none << "" << -1 << 0 << QStringList()
            << QStringLiteral("ｴﾗｰ(STARTTLS ｴﾗｰ: 暗号化前のﾃﾞｰﾀ)") << false << 0;
        QTest::newRow("LOGIN refused")
            << replacing(signedIn(), "A1 LOGIN \"taro\" \"secret\"",
                   "A1 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n")
            << true << seen({ 0, 3 }) << false << kSecret << none << "" << -1 << 0 << QStringList()
            << QStringLiteral("ｴﾗｰ(LOGIN ｴﾗｰ: Authentication failed.)") << false << 0;
        QTest::newRow("literal announcing 4 GB")
            << (Dialogue(mailbox) << S::Exchange("A4 UID FETCH 3,5 " + kFields,
                    "* 1 FETCH (UID 3 BODY[HEADER.FIELDS (FROM)] {4000000000}\r\n"))
            << true << seen({ 0 }) << false << kSecret << none << "" << -1 << 0 << QStringList()
            << QStringLiteral("ｴﾗｰ(受信ｻｲｽﾞ超過: FETCH)") << false << 0;
        QTest::newRow("malformed FETCH: UID given twice") << (Dialogue(mailbox)
            << S::Exchange("A4 UID FETCH 3,5 " + kFields, "* 1 FETCH (UID 3 UID 3)\r\nA4 OK\r\n"))
                                                          << true << seen({ 0 }) << false << kSecret << none
                                                          << "" << -1 << 0 << QStringList() << fetchError
                                                          << false << 0;
        QTest::newRow("NUL byte in the SEARCH line")
            << (signedIn() << examine(
                    7) << S::Exchange("A3 UID SEARCH UNSEEN", QByteArray("* SEARCH 3\0 5\r\nA3 OK\r\n", 21)))
            << true << seen({ 0 }) << false << kSecret << none << "" << -1 << 0 << QStringList()
            << QStringLiteral("ｴﾗｰ(SEARCH ｴﾗｰ)") << false << 0;
        QTest::newRow("untagged responses without end: the check's memory bound, named")
            << (signedIn() << examine(7)
                           << S::Exchange("A3 UID SEARCH UNSEEN", QByteArray("* OK x\r\n").repeated(20000)))
            << true << seen({ 0 }) << false << kSecret << none << "" << -1 << 0 << QStringList()
            << QStringLiteral("ｴﾗｰ(受信ｻｲｽﾞ超過: SEARCH)") << false << 0;
        QTest::newRow("a trickle that never falls silent: the check's length bound")
            << (signedIn() << examine(7)
                           << S::Exchange("A3 UID SEARCH UNSEEN", "* OK still here\r\n", After::Silence))
            << true << seen({ 0 }) << false << kSecret << none << "length" << -1 << 0 << QStringList()
            << QStringLiteral("ｴﾗｰ(ﾁｪｯｸ時間超過)") << false << 0;
        QTest::newRow("CAPABILITY of 300 KB named, not taken for a time-out")
            << Dialogue { S::Greeting("* OK ready\r\n"),
                   S::Exchange(
                       "A1 CAPABILITY", "* CAPABILITY " + QByteArray(300 * 1024, 'X') + "\r\nA1 OK\r\n") }
            << true << seen({ 0 }) << false << kSecret << none << "" << -1 << 0 << QStringList()
            << QStringLiteral("ｴﾗｰ(受信ｻｲｽﾞ超過: CAPABILITY)") << false << 0;
        QTest::newRow("server hangs up instead of answering EXAMINE")
            << replacing(Dialogue(mailbox), "A2 EXAMINE INBOX", {}, After::Close) << true << QStringList()
            << false << kSecret << none << "" << 2 << 0 << QStringList()
            << QStringLiteral("ｴﾗｰ(ｻｰﾊﾞｰ切断: EXAMINE)") << false << 0;
        QTest::newRow("EXAMINE answered with another tag")
            << replacing(Dialogue(mailbox), "A2 EXAMINE INBOX", "A9 OK\r\n") << true << seen({ 0 }) << false
            << kSecret << none << "" << 2 << 0 << QStringList() << QStringLiteral("ｴﾗｰ(EXAMINE ｴﾗｰ)") << false
            << 0;
        QTest::newRow("LOGIN answered twice, the second taken for EXAMINE")
            << replacing(Dialogue(mailbox), "A1 LOGIN \"taro\" \"secret\"",
                   "A1 OK [CAPABILITY IMAP4rev1] in\r\nA1 OK\r\n")
            << true << seen({ 0 }) << false << kSecret << none << "" << 0 << 0 << QStringList()
            << QStringLiteral("ｴﾗｰ(EXAMINE ｴﾗｰ)") << false << 0;
        // A server going away at any step: the check fails there, nothing stored.
        const Dialogue whole = Dialogue(mailbox) << fetch({ 5 });
        const QStringList failures { QStringLiteral("ｴﾗｰ(going away)"),
            QStringLiteral("ｴﾗｰ(LOGIN ｴﾗｰ: going away)"), QStringLiteral("ｴﾗｰ(EXAMINE ｴﾗｰ: going away)"),
            QStringLiteral("ｴﾗｰ(SEARCH ｴﾗｰ: going away)"), QStringLiteral("ｴﾗｰ(FETCH ｴﾗｰ: going away)") };
        for (qsizetype i = 0; i < whole.size(); ++i) {
            Dialogue cut = whole.mid(0, i + 1);
            cut.last().pieces = { "* BYE going away\r\n" };
            cut.last().after = After::Close;
            const QByteArray name
                = "BYE instead of the reply to " + (i ? whole[i].expectedLine.left(12) : "connecting");
            QTest::newRow(name.constData()) << cut << true << seen({ 0, 3 }) << false << kSecret << none << ""
                                            << -1 << 0 << QStringList() << failures[i] << false << 0;
        }
        // Past one FETCH of 500 UIDs the next goes out before the answer to
        // the first; the server may complete them in either order.
        QList<int> large(501);
        std::iota(large.begin(), large.end(), 1);
        QByteArray largeSet;
        for (int uid : large)
            largeSet += (largeSet.isEmpty() ? "" : " ") + QByteArray::number(uid);
        S::Step unanswered = fetch(large.first(500));
        unanswered.pieces.clear();
        S::Step pipelined = fetch({ 501 }, 5);
        pipelined.pieces = { fetched(501) + "A5 OK done\r\nA4 NO [UNAVAILABLE] busy\r\n" };
        QTest::newRow("pipelined FETCH completed first, the one before it refused: fails, nothing stored")
            << (signedIn() << examine(7) << search(largeSet) << unanswered << pipelined) << true
            << seen({ 0 }) << false << kSecret << none << "" << -1 << 0 << QStringList()
            << QStringLiteral("ｴﾗｰ(FETCH ｴﾗｰ: busy)") << false << 0;
        QTest::newRow("EXAMINE without UIDVALIDITY")
            << (signedIn() << S::Exchange("A2 EXAMINE INBOX", "* 5 EXISTS\r\nA2 OK\r\n")) << true
            << QStringList() << false << kSecret << none << "" << -1 << 0 << QStringList()
            << QStringLiteral("ｴﾗｰ(EXAMINE ｴﾗｰ)") << false << 0;

        // Push: the connection stays in IDLE after its check.
        const QByteArray idleCaps = "IMAP4rev1 IDLE";
        const Dialogue idling = signedIn(idleCaps) << examine(7) << search("3") << fetch({ 3 }) << idle(5);
        const QByteArray exists = "* 4 EXISTS\r\n";
        QTest::newRow("new mail during IDLE: DONE, checked on the same connection, IDLE again")
            << (Dialogue(idling) << done(5) << search("3 4", 7) << fetch({ 4 }, 8) << idle(9)) << true
            << seen({ 0 }) << false << kSecret << exists << "" << -1 << 2 << seen({ 0, 3, 4 }) << ok(1)
            << true << 0;
        QTest::newRow("message read in another client: checked again, nothing announced")
            << (Dialogue(idling) << done(5) << search("", 7) << idle(8)) << true << seen({ 0 }) << false
            << kSecret << QByteArray("* 3 FETCH (FLAGS (\\Seen))\r\n") << "" << -1 << 1 << seen({ 0 }) << ok0
            << true << 0;
        QTest::newRow(
            "Mailutils: IDLE never tells, DONE's answer does; the timed check alone announces the mail")
            << (Dialogue(idling) << replacing(
                    done(5), "DONE", "* 4 EXISTS\r\n* 3 RECENT\r\nA5 OK IDLE terminated\r\n")
                                 << search("3 4", 7) << fetch({ 4 }, 8) << idle(9))
            << true << seen({ 0 }) << false << kSecret << none << "check" << -1 << 2 << seen({ 0, 3, 4 })
            << ok(1) << true << 0;
        QTest::newRow("IDLE renewed after 29 minutes")
            << (Dialogue(idling) << S::Exchange("DONE", "A5 OK done\r\n") << idle(6)) << true << seen({ 0 })
            << false << kSecret << none << "renew" << -1 << 1 << seen({ 0, 3 }) << ok(1) << true << 0;
        QTest::newRow("before the machine sleeps: DONE, then LOGOUT")
            << (Dialogue(idling) << S::Exchange("DONE", "A5 OK done\r\n") << logout(6)) << true << seen({ 0 })
            << false << kSecret << none << "close" << -1 << 1 << seen({ 0, 3 }) << ok(1) << false << 0;
        QTest::newRow("after the machine woke: a new connection checks and idles")
            << (signedIn(idleCaps) << examine(7) << search("") << idle(4)) << true << seen({ 0 }) << false
            << kSecret << none << "reopen" << 8 << 0 << seen({ 0 }) << ok0 << true << 0;
        QTest::newRow("IDLE listed only after sign-in: asked for, and push starts")
            << (Dialogue { S::Greeting("* OK [CAPABILITY IMAP4rev1] ready\r\n"),
                   S::Exchange("A1 LOGIN \"taro\" \"secret\"", "A1 OK Logged in\r\n"),
                   S::Exchange("A2 CAPABILITY", "* CAPABILITY " + idleCaps + "\r\nA2 OK\r\n"), examine(7, 3),
                   search("", 4), idle(5) })
            << true << seen({ 0 }) << false << kSecret << none << "" << -1 << 0 << seen({ 0 }) << ok0 << true
            << 0;
        QTest::newRow("Cyrus: IDLE listed only in LOGIN's CAPABILITY code, taken from there: push starts")
            << (Dialogue {
                   S::Greeting("* OK [CAPABILITY IMAP4rev1 LITERAL+ ID ENABLE AUTH=PLAIN AUTH=LOGIN SASL-IR] "
                               "localhost Cyrus IMAP 3.6.1-Debian server ready\r\n"),
                   S::Exchange("A1 LOGIN \"taro\" \"secret\"",
                       "A1 OK [CAPABILITY IMAP4rev1 LITERAL+ ID ENABLE ACL ESEARCH LOGINDISABLED AUTH=PLAIN "
                       "AUTH=LOGIN COMPRESS=DEFLATE IDLE APPENDLIMIT=4294967295] User logged in\r\n"),
                   examine(7), search(""), idle(4) })
            << true << seen({ 0 }) << false << kSecret << none << "" << -1 << 0 << seen({ 0 }) << ok0 << true
            << 0;
        QTest::newRow("IDLE refused with a tagged NO: logged out, the timed check serves")
            << (Dialogue(idling).mid(0, 5) << S::Exchange("A5 IDLE", "A5 NO not now\r\n") << logout(6))
            << true << seen({ 0 }) << false << kSecret << none << "" << -1 << 1 << seen({ 0, 3 }) << ok(1)
            << false << 0;
        QTest::newRow("EXISTS flood while idling: one check, news during it one more after the floor")
            << (Dialogue(idling) << done(
                    5) << S::Exchange("A7 UID SEARCH UNSEEN", "* 9 EXISTS\r\n* SEARCH 3\r\nA7 OK\r\n")
                                 << idle(8) << done(8) << search("3", 10) << idle(11))
            << true << seen({ 0 }) << false << kSecret << exists.repeated(200) << "floor" << -1 << 1
            << seen({ 0, 3 }) << ok0 << true << 0;
        QTest::newRow("server hangs up right after \"+ idling\": each reconnect waits twice as long")
            << (signedIn(idleCaps) << examine(7) << search("") << idle(4, After::Close)) << true
            << seen({ 0 }) << false << kSecret << none << "retry" << 8 << 0 << seen({ 0 }) << ok0 << false
            << 10000;
        QTest::newRow("BYE during IDLE: checked again after the back-off")
            << idling << true << seen({ 0 }) << false << kSecret << QByteArray("* BYE going down\r\n") << ""
            << -1 << 1 << seen({ 0, 3 }) << ok(1) << false << 5000;
        QTest::newRow("DONE never answered: the check fails, and comes back after the back-off")
            << (Dialogue(idling) << S::Exchange("DONE", {}, After::Silence)) << true << seen({ 0 }) << false
            << kSecret << exists << "silence" << -1 << 1 << seen({ 0, 3 }) << QStringLiteral("ｴﾗｰ(IDLE ｴﾗｰ)")
            << false << 5000;
        QTest::newRow("endless untagged stream during IDLE")
            << idling << true << seen({ 0 }) << false << kSecret << QByteArray("* OK\r\n").repeated(1001)
            << "" << -1 << 1 << seen({ 0, 3 }) << ok(1) << false << 5000;
        QTest::newRow("NUL byte during IDLE")
            << idling << true << seen({ 0 }) << false << kSecret << QByteArray("* 4 EXI\0STS\r\n", 13) << ""
            << -1 << 1 << seen({ 0, 3 }) << ok(1) << false << 5000;
    }

    void connection()
    {
        QFETCH(Dialogue, dialogue);
        QFETCH(bool, tls);
        QFETCH(QStringList, seenBefore);
        QFETCH(bool, recheck);
        QFETCH(QString, password);
        QFETCH(QByteArray, push);
        QFETCH(QString, act);
        QFETCH(int, sent);
        QFETCH(int, announced);
        QFETCH(QStringList, seenAfter);
        QFETCH(QString, status);
        QFETCH(bool, idles);
        QFETCH(int, backOff);

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
        // A mailbox of more unseen messages than one FETCH asks for needs room for their list.
        const bool large = std::any_of(dialogue.cbegin(), dialogue.cend(),
            [](const S::Step& step) { return step.expectedLine.size() > 1024; });
        checker.SetCheckMemoryBound(large ? 1024 * 1024 : 64 * 1024);
        CommonSettings = CommonSettingsRecord();
        CommonSettings.PopTimeOut = 3600;
        CommonSettings.RecheckMailChecked = recheck;
        // A row that asks for the filters' verdict fields judges spam.
        CommonSettings.SpamCheck = std::any_of(dialogue.cbegin(), dialogue.cend(),
            [](const S::Step& step) { return step.expectedLine.contains("X-SPAM-FLAG"); });
        connect(&server, &ScriptedPop3Server::Silenced, &checker, [&] {
            if (act == u"silence")
                Q_EMIT checker.ImapTimers(0)->silence.Timer();
            if (act == u"length")
                Q_EMIT checker.ImapTimers(0)->length.Timer();
        });
        Accounts.clear();
        Accounts.push_back(TestAccount(server.Port()));
        Accounts[0].PopServer = QStringLiteral("localhost");
        Accounts[0].Protocol = MailProtocol::Imap;
        Accounts[0].UIDL = seenBefore;
        Accounts[0].PopPasswd = password;
        const auto pushed = [&] { return host.trayToolTip.contains(u"ﾌﾟｯｼｭ"); };

        checker.MailCheck(0);
        if (!push.isEmpty() || act == u"renew" || act == u"check" || act == u"floor" || act == u"close"
            || act == u"reopen") {
            QTRY_VERIFY(pushed() && checker.ImapTimers(0)->renew.Enabled());
            // A flood is about the count of responses; the other rows frame byte by byte, and a
            // flood at one TLS record a byte would take longer than any wait on a busy machine.
            if (push.size() > 1024)
                server.SetChunkSize(0);
            server.Push(push);
        }
        if (act == u"renew")
            Q_EMIT checker.ImapTimers(0)->renew.Timer();
        if (act == u"close") {
            QSignalSpy closed(&checker, &MailChecker::PushClosed);
            checker.ClosePush();
            QVERIFY(closed.wait());
        }
        if (act == u"reopen")
            checker.ReopenPush();
        if (act == u"check")
            checker.MailCheck(0);
        if (act == u"floor") {
            // Back in IDLE after the check the flood asked for; the news told
            // during it waits for the floor.
            QTRY_VERIFY(host.ChecksStarted(0) == 2 && checker.ImapTimers(0)->renew.Enabled());
            QCOMPARE(host.ChecksStarted(0), 2);
            Q_EMIT checker.ImapTimers(0)->floor.Timer();
        }
        if (act == u"retry") {
            QTRY_VERIFY(checker.ImapTimers(0)->retry.Enabled());
            QCOMPARE(checker.ImapTimers(0)->retry.Interval(), 5000);
            Q_EMIT checker.ImapTimers(0)->retry.Timer();
        }
        if (sent < 0)
            sent = int(std::count_if(dialogue.cbegin(), dialogue.cend(),
                [](const S::Step& step) { return !step.expectedLine.isNull(); }));
        if (sent > 0)
            QTRY_COMPARE(server.ReceivedLines().size(), qsizetype(sent));
        QTRY_COMPARE(pushed(), idles);
        if (!idles && backOff == 0)
            QTRY_VERIFY(server.IsIdle());
        QTRY_COMPARE(host.Status(0), status);
        QVERIFY(server.ClientSentNothingElse());

        QCOMPARE(Accounts[0].UIDL, seenAfter.isEmpty() ? seenBefore : seenAfter);
        QCOMPARE(host.arrival.calls.filter(QStringLiteral("MailArraival")).size(), announced);
        const std::optional<ImapConnection::Timers> timers = checker.ImapTimers(0);
        QTRY_COMPARE(timers->retry.Enabled() ? timers->retry.Interval() : 0, backOff);
        // Only the renewal ticks while idling.
        QTRY_COMPARE(timers->renew.Enabled(), idles);
        // Only what the server tells unasked may ask for one more check.
        if (push.isEmpty())
            QVERIFY(!timers->floor.Enabled());
        QCOMPARE(timers->silence.Enabled(), false);
        // Read-only, always: nothing that could change a flag went out.
        for (const QByteArray& line : server.ReceivedLines())
            QVERIFY2(!line.contains("SELECT") && !line.contains("STORE") && !line.contains("BODY["),
                line.constData());
        Accounts.clear();
        TlsTestSeam::Reset();
    }
};

QTEST_GUILESS_MAIN(tst_ImapConnection)
#include "tst_ImapConnection.moc"
