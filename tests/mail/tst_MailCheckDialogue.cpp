#include "DirectPop3Check.h"
#include "FakeMailCheckHost.h"
#include "ScriptedPop3Server.h"
#include "TestAccount.h"

#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "mail/MailChecker.h"
#include "mail/PopTimeOut.h"
#include "mail/SpamMaildir.h"
#include "platform/QtTranslation.h"
#include "platform/SocketControl.h"
#include "platform/TimerControl.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <QTest>
#include <algorithm>

using S = ScriptedPop3Server;
using After = ScriptedPop3Server::After;
using Dialogue = QList<ScriptedPop3Server::Step>;

Q_DECLARE_METATYPE(Dialogue)

namespace {

const QString kChecking = QStringLiteral("ﾒｰﾙﾁｪｯｸ中");
const QString kAccountError = QStringLiteral("ｴﾗｰ(ACCOUNT ｴﾗｰ)");
const QString kPasswdError = QStringLiteral("ｴﾗｰ(PASSWD ｴﾗｰ)");
const QString kStatError = QStringLiteral("ｴﾗｰ(STAT ｴﾗｰ)");
const QString kUidlError = QStringLiteral("ｴﾗｰ(UIDL ｴﾗｰ)");
const QString kTopError = QStringLiteral("ｴﾗｰ(TOP ｴﾗｰ)");
const QString kGreetingError = QStringLiteral("ｴﾗｰ()");
const QString kNoOAuth2 = QStringLiteral("ｴﾗｰ(OAUTH2 非対応ｻｰﾊﾞｰ)");
const QString kFlood = QStringLiteral("ｴﾗｰ(受信ｻｲｽﾞ超過)");

QString success(int n) { return QStringLiteral("成功(新着%1件)").arg(n); }

Dialogue login()
{
    return { S::Greeting("+OK POP3 ready\r\n"), S::Exchange("USER taro", "+OK\r\n"),
        S::Exchange("PASS secret", "+OK logged in\r\n") };
}

QByteArray headers(const QByteArray& subject)
{
    return "Return-Path: <hanako@example.jp>\r\nFrom: hanako@example.jp\r\n"
           "Date: Tue, 15 Apr 2003 10:20:30 +0900\r\nSubject: "
        + subject + "\r\n\r\n";
}

QByteArray topReply(const QByteArray& subject) { return "+OK\r\n" + headers(subject) + ".\r\n"; }

Dialogue mailbox(const QList<QByteArray>& identifiers, const QList<int>& fetched)
{
    Dialogue d = login();
    d << S::Exchange("STAT ", "+OK " + QByteArray::number(identifiers.size()) + " 4096\r\n");
    for (int j = 1; j <= identifiers.size(); ++j) {
        const QByteArray n = QByteArray::number(j);
        d << S::Exchange("UIDL " + n, "+OK " + n + " " + identifiers[j - 1] + "\r\n");
        if (fetched.contains(j))
            d << S::Exchange("TOP " + n + " 0", topReply("message " + n));
    }
    d << S::Exchange("QUIT", "+OK bye\r\n", After::Close);
    return d;
}

// Message 1 is plain; every later one carries a provider's spam tag.
QByteArray spamSubject(int n) { return n == 1 ? "hello" : "[meiwaku] offer " + QByteArray::number(n); }

QByteArray retrReply(const QByteArray& subject) { return "+OK\r\n" + headers(subject) + "Buy now\r\n.\r\n"; }

Dialogue spamMailbox(int messages)
{
    Dialogue d = login();
    d << S::Exchange("STAT ", "+OK " + QByteArray::number(messages) + " 4096\r\n");
    for (int j = 1; j <= messages; ++j) {
        const QByteArray n = QByteArray::number(j);
        d << S::Exchange("UIDL " + n, "+OK " + n + " id-" + n + "\r\n")
          << S::Exchange("TOP " + n + " 0", topReply(spamSubject(j)));
    }
    return d;
}

// How the server answers CAPA; every test runs against each.
enum class Capabilities { Refused, WithoutPipelining, WithPipelining };

QByteArrayList sorted(QByteArrayList lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

QByteArrayList clientLines(const Dialogue& dialogue)
{
    QByteArrayList lines;
    for (const auto& step : dialogue)
        if (!step.expectedLine.isNull())
            lines << step.expectedLine;
    return lines;
}

} // namespace

class tst_MailCheckDialogue : public QObject {
    Q_OBJECT

public:
    explicit tst_MailCheckDialogue(Capabilities capabilities)
        : capabilities(capabilities)
    {
    }

private:
    const Capabilities capabilities;

    bool pipelined() const { return capabilities == Capabilities::WithPipelining; }

    // The lines the client sent: the dialogue's, and CAPA first. A client
    // that pipelines sends the same commands, but all UIDLs before the TOPs.
    void verifyCompleteWire(const Dialogue& dialogue)
    {
        if (pipelined()) {
            QCOMPARE(sorted(server->ReceivedLines()), sorted(clientLines(dialogue)));
            QVERIFY(server->DefaultedLines().isEmpty());
        } else {
            QCOMPARE(server->WireLines(), QByteArrayList { "CAPA" } + clientLines(dialogue));
            QVERIFY(server->MaxLinesAhead() <= 1);
        }
        QVERIFY(server->ClientSentNothingElse());
    }

    // One line more than was asked, behind the reply to one command. One by
    // one, the next command drops it; sent ahead, it would shift every later
    // reply onto the command before, so the check fails instead.
    void addSurplusRows()
    {
        for (const auto& [name, line, surplus, status] :
            { std::tuple { "STAT reply sent twice", "STAT ", "+OK 2 4096\r\n", kUidlError },
                { "UIDL 1 reply sent twice", "UIDL 1", "+OK 1 id-1\r\n", kUidlError },
                { "unasked +OK line behind the first TOP reply", "TOP 1 0", "+OK\r\n", kTopError } }) {
            Dialogue d = mailbox({ "id-1", "id-2" }, { 1, 2 });
            for (auto& step : d)
                if (step.expectedLine == line)
                    step.pieces.first() += surplus;
            QTestData& row = QTest::newRow(name) << d;
            if (pipelined())
                row << status;
            else
                row << true << QStringList() << 2 << QStringList { "id-1", "id-2" };
        }
    }

    std::unique_ptr<ScriptedPop3Server> server;
    std::unique_ptr<FakeMailCheckHost> host;
    std::unique_ptr<MailChecker> checker;

    void runCheck(const Dialogue& dialogue)
    {
        server->SetDialogue(dialogue);
        server->ClearReceived();
        checker->MailCheck(0);
        // The last command goes out without waiting; let the server read it.
        QTRY_VERIFY(server->IsIdle());
    }

private Q_SLOTS:
    void init()
    {
        server = std::make_unique<ScriptedPop3Server>();
        QVERIFY(server->Listen());
        if (capabilities != Capabilities::Refused)
            server->SetCapabilities(
                { "TOP", "UIDL", "RESP-CODES", pipelined() ? "PIPELINING" : "SASL PLAIN", "USER" });
        server->SetAnswerAnyOrder(pipelined());
        host = std::make_unique<FakeMailCheckHost>();
        host->AddRow(0, true, QStringLiteral("5"));
        checker = std::make_unique<MailChecker>(*host);
        host->Watch(*checker);
        checker->tmrMailCheck().setEnabled(false);
        // Time-outs are stepped by the tests; the real one must never come first.
        CommonSettings = CommonSettingsRecord();
        CommonSettings.PopTimeOut = 3600;
        connect(server.get(), &ScriptedPop3Server::Silenced, checker.get(),
            [this] { Q_EMIT checker->tmrPopTimeOut().Timer(); });

        Accounts.clear();
        Accounts.push_back(TestAccount(server->Port()));
    }

    void cleanup()
    {
        checker.reset();
        host.reset();
        server.reset();
        Accounts.clear();
    }

    void completedDialogue_data()
    {
        QTest::addColumn<Dialogue>("dialogue");
        QTest::addColumn<bool>("recheck");
        QTest::addColumn<QStringList>("seenBefore");
        QTest::addColumn<int>("announced");
        QTest::addColumn<QStringList>("seenAfter");

        QTest::newRow("one of two messages new, only it is fetched") << mailbox({ "id-old", "id-new" },
            { 2 }) << false << QStringList { "id-old" } << 1 << QStringList { "id-old", "id-new" };
        QTest::newRow("rechecking fetches and announces every message") << mailbox({ "id-old", "id-new" },
            { 1, 2 }) << true << QStringList { "id-old" } << 2 << QStringList { "id-old", "id-new" };
        QTest::newRow("empty mailbox: no UIDL, QUIT, seen list kept")
            << mailbox({}, {}) << false << QStringList { "gone-1" } << 0 << QStringList { "gone-1" };
        QTest::newRow("nothing new: no TOP, seen list replaced by the server's") << mailbox(
            { "b", "a" }, {}) << false << QStringList { "a", "b", "c" } << 0 << QStringList { "b", "a" };
        QTest::newRow("seen 121 does not hide new 21")
            << mailbox({ "21" }, { 1 }) << false << QStringList { "121" } << 1 << QStringList { "21" };
        QTest::newRow("new abc is not hidden by seen abc123")
            << mailbox({ "abc" }, { 1 }) << false << QStringList { "abc123" } << 1 << QStringList { "abc" };
        QTest::newRow("identifiers differ only in letter case")
            << mailbox({ "ABC" }, { 1 }) << false << QStringList { "abc" } << 1 << QStringList { "ABC" };
        QTest::newRow("identifier of 200 characters (over 70, within limit) accepted")
            << mailbox({ QByteArray(200, 'u') }, { 1 }) << false << QStringList() << 1
            << QStringList { QString(200, u'u') };
        QTest::newRow("identifier of exactly 512 bytes accepted") << mailbox({ QByteArray(512, '~') },
            { 1 }) << false << QStringList() << 1 << QStringList { QString(512, u'~') };
        QTest::newRow("empty seen list makes every message new") << mailbox({ "x1", "x2", "x3" },
            { 1, 2, 3 }) << false << QStringList() << 3 << QStringList { "x1", "x2", "x3" };

        QList<QByteArray> many;
        QList<int> fetchedOfMany;
        QStringList seenOfMany;
        for (int j = 1; j <= 700; ++j) {
            many << "m" + QByteArray::number(j);
            fetchedOfMany << j;
            seenOfMany << QString::fromLatin1(many.back());
        }
        QTest::newRow("700 new messages: many refills, commands ahead stay bounded")
            << mailbox(many, fetchedOfMany) << false << QStringList() << 700 << seenOfMany;

        Dialogue lowerCase = login();
        lowerCase[1] = S::Exchange("USER taro", "+ok\r\n");
        lowerCase << S::Exchange("STAT ", "+ok 1 300\r\n") << S::Exchange("UIDL 1", "+ok 1 q\r\n")
                  << S::Exchange("TOP 1 0", "+ok\r\n" + headers("x") + ".\r\n")
                  << S::Exchange("QUIT", "+OK\r\n");
        QTest::newRow("status indicators in lower case")
            << lowerCase << false << QStringList() << 1 << QStringList { "q" };

        Dialogue noSize = login();
        noSize << S::Exchange("STAT ", "+OK 1\r\n") << S::Exchange("UIDL 1", "+OK 1 only\r\n")
               << S::Exchange("TOP 1 0", topReply("s")) << S::Exchange("QUIT", "+OK\r\n");
        QTest::newRow("STAT without the mailbox size")
            << noSize << false << QStringList() << 1 << QStringList { "only" };

        Dialogue stuffed = login();
        stuffed << S::Exchange("STAT ", "+OK 1 1\r\n") << S::Exchange("UIDL 1", "+OK 1 dots\r\n")
                << S::Exchange("TOP 1 0", "+OK\r\nX-Dots: \r\n..\r\n...hidden\r\n\r\n.\r\n")
                << S::Exchange("QUIT", "+OK\r\n");
        QTest::newRow("header block with dot-stuffed lines ends only at the lone dot")
            << stuffed << false << QStringList() << 1 << QStringList { "dots" };

        Dialogue padded = login();
        padded << S::Exchange("STAT ", "+OK 1 1\r\n") << S::Exchange("UIDL 1", "+OK 1 pad \r\n")
               << S::Exchange("QUIT", "+OK\r\n");
        QTest::newRow("UIDL identifier followed by a blank")
            << padded << false << QStringList { "pad" } << 0 << QStringList { "pad" };

        Dialogue bareLf = mailbox({ "lf1", "lf2" }, { 1, 2 });
        for (auto& step : bareLf)
            step.pieces.first().replace("\r\n", "\n");
        QTest::newRow("every line ended by a bare LF")
            << bareLf << false << QStringList() << 2 << QStringList { "lf1", "lf2" };

        Dialogue strict = mailbox({ "s1", "s2" }, { 2 });
        strict[3].expectedLine = "STAT";
        strict.insert(3, S::Exchange("STAT ", "-ERR Syntax error\r\n"));
        QTest::newRow("STAT refused with its trailing blank, answered without")
            << strict << false << QStringList { "s1" } << 1 << QStringList { "s1", "s2" };
        if (!pipelined())
            addSurplusRows();
    }

    void completedDialogue()
    {
        QFETCH(Dialogue, dialogue);
        QFETCH(bool, recheck);
        QFETCH(QStringList, seenBefore);
        QFETCH(int, announced);
        QFETCH(QStringList, seenAfter);

        CommonSettings.RecheckMailChecked = recheck;
        Accounts[0].UIDL = seenBefore;
        runCheck(dialogue);

        verifyCompleteWire(dialogue);
        if (pipelined() && seenAfter.size() >= 2)
            QVERIFY(server->MaxLinesAhead() >= 2);
        QVERIFY2(server->MaxBytesAhead() <= 4096, qPrintable(QString::number(server->MaxBytesAhead())));
        QCOMPARE(host->StatusHistory(0), (QStringList { kChecking, success(announced) }));
        QCOMPARE(host->trayPictures, (QList<int> { 2, 1 }));
        QCOMPARE(Accounts[0].UIDL, seenAfter);
        QCOMPARE(host->seenListStores, seenAfter == seenBefore ? 0 : 1);
        if (announced == 0) {
            QVERIFY(host->arrival.calls.isEmpty());
            QCOMPARE(host->arrivalWindowRequests, 0);
        } else {
            QCOMPARE(host->arrival.calls.size(), announced + 2);
            QCOMPARE(host->arrival.calls.first(), QStringLiteral("RemoveMail 0"));
            QCOMPARE(host->arrival.calls.last(), QStringLiteral("ShowForm"));
            for (int i = 1; i <= announced; ++i)
                QVERIFY(host->arrival.calls[i].startsWith(QStringLiteral("MailArraival 0|")));
        }
        QCOMPARE(host->commandsEnabledHistory.last(), true);
        QVERIFY(!checker->IsRunning());
        // The listing was given time for every message the server counted.
        const QByteArrayList lines = clientLines(dialogue);
        QCOMPARE(checker->tmrCheckDeadline().Interval(),
            ListingLengthMilliseconds(CheckRequest().longestMs,
                qint32(std::count_if(lines.cbegin(), lines.cend(),
                    [](const QByteArray& line) { return line.startsWith("UIDL"); }))));
        QVERIFY(!checker->tmrCheckDeadline().Enabled());
    }

    // The ways a reply to one command can fail: refused (with retry, where the
    // client asks again and is refused again), never sent (time-out),
    // connection dropped instead, and an endless status line.
    static void addBrokenReplies(
        const Dialogue& before, const QByteArray& line, const QString& status, const Dialogue& retry = {})
    {
        const auto name = [&](const char* what) { return QByteArray(line + ": " + what); };
        QTest::newRow(name("refused").constData())
            << before + Dialogue { S::Exchange(line, "-ERR refused\r\n") } + retry << status;
        QTest::newRow(name("time-out").constData())
            << before + Dialogue { S::Exchange(line, "", After::Silence) } << status;
        QTest::newRow(name("hang-up").constData())
            << before + Dialogue { S::Exchange(line, "", After::Close) } << status;
        QTest::newRow(name("status line over 8 KiB without CR LF").constData())
            << before + Dialogue { S::Exchange(line, "+OK " + QByteArray(9000, 'x')) } << status;
    }

    void failedDialogue_data()
    {
        QTest::addColumn<Dialogue>("dialogue");
        QTest::addColumn<QString>("status");

        const auto upTo = [](int loginSteps) { return login().mid(0, loginSteps); };
        const QByteArray hugeLine = "+OK " + QByteArray(9000, 'x');

        QTest::newRow("greeting refuses") << Dialogue { S::Greeting("-ERR too busy\r\n") } << kGreetingError;
        QTest::newRow("IMAP server on the POP3 account's port")
            << Dialogue { S::Greeting("* OK [CAPABILITY IMAP4rev1 IDLE] Dovecot ready.\r\n") }
            << QStringLiteral("ｴﾗｰ(IMAP ｻｰﾊﾞｰです)");
        QTest::newRow("greeting never comes (time-out)")
            << Dialogue { S::Greeting("", After::Silence) } << kGreetingError;
        QTest::newRow("server hangs up instead of greeting")
            << Dialogue { S::Greeting("", After::Close) } << kGreetingError;
        QTest::newRow("greeting line cut off by a hang-up")
            << Dialogue { S::Greeting("+OK rea", After::Close) } << kGreetingError;
        QTest::newRow("greeting without CR LF longer than 8 KiB")
            << Dialogue { S::Greeting(hugeLine) } << kGreetingError;

        QTest::newRow("CAPA never answered (time-out)")
            << Dialogue { S::Greeting("+OK\r\n"), S::Exchange("CAPA", "", After::Silence) } << kGreetingError;
        QTest::newRow("CAPA list that never ends") << Dialogue { S::Greeting("+OK\r\n"),
            S::Exchange("CAPA", "+OK\r\n" + QByteArray("X\r\n").repeated(400000)) }
                                                   << kFlood;

        addBrokenReplies(upTo(1), "USER taro", kAccountError);
        QTest::newRow("USER answered with neither +OK nor -ERR")
            << upTo(1) + Dialogue { S::Exchange("USER taro", "hello there +OK\r\n") } << kAccountError;

        addBrokenReplies(upTo(2), "PASS secret", kPasswdError);
        addBrokenReplies(login(), "STAT ", kStatError, { S::Exchange("STAT", "-ERR Syntax error\r\n") });
        QTest::newRow("STAT without a count")
            << login() + Dialogue { S::Exchange("STAT ", "+OK\r\n") } << kStatError;
        QTest::newRow("STAT count that is not a number")
            << login() + Dialogue { S::Exchange("STAT ", "+OK many 100\r\n") } << kStatError;
        QTest::newRow("STAT count negative")
            << login() + Dialogue { S::Exchange("STAT ", "+OK -3 100\r\n") } << kStatError;
        QTest::newRow("STAT count above one million")
            << login() + Dialogue { S::Exchange("STAT ", "+OK 1000001 100\r\n") } << kStatError;
        QTest::newRow("STAT count beyond 32 bits")
            << login() + Dialogue { S::Exchange("STAT ", "+OK 99999999999 100\r\n") } << kStatError;

        const Dialogue stat2 = login() + Dialogue { S::Exchange("STAT ", "+OK 2 200\r\n") };
        addBrokenReplies(stat2, "UIDL 1", kUidlError);
        QTest::newRow("UIDL identifier empty")
            << stat2 + Dialogue { S::Exchange("UIDL 1", "+OK 1 \r\n") } << kUidlError;
        QTest::newRow("UIDL reply without identifier")
            << stat2 + Dialogue { S::Exchange("UIDL 1", "+OK 1\r\n") } << kUidlError;
        QTest::newRow("UIDL identifier with a blank")
            << stat2 + Dialogue { S::Exchange("UIDL 1", "+OK 1 ab cd\r\n") } << kUidlError;
        QTest::newRow("UIDL identifier with a control character")
            << stat2 + Dialogue { S::Exchange("UIDL 1", "+OK 1 ab\x01\r\n") } << kUidlError;
        QTest::newRow("UIDL identifier with a Shift_JIS byte")
            << stat2 + Dialogue { S::Exchange("UIDL 1", "+OK 1 ab\x82\xa0\r\n") } << kUidlError;
        QTest::newRow("UIDL identifier of 513 bytes")
            << stat2 + Dialogue { S::Exchange("UIDL 1", "+OK 1 " + QByteArray(513, 'a') + "\r\n") }
            << kUidlError;
        const Dialogue firstDone = stat2
            + Dialogue { S::Exchange("UIDL 1", "+OK 1 first\r\n"), S::Exchange("TOP 1 0", topReply("one")) };
        QTest::newRow("connection lost at the second UIDL after a fetched message")
            << firstDone + Dialogue { S::Exchange("UIDL 2", "", After::Close) } << kUidlError;
        QTest::newRow("time-out at the second UIDL after a fetched message")
            << firstDone + Dialogue { S::Exchange("UIDL 2", "", After::Silence) } << kUidlError;

        const Dialogue uidl1 = stat2 + Dialogue { S::Exchange("UIDL 1", "+OK 1 first\r\n") };
        addBrokenReplies(uidl1, "TOP 1 0", kTopError);
        QTest::newRow("TOP status line then silence (header block never ends)")
            << uidl1 + Dialogue { S::Exchange("TOP 1 0", "+OK\r\n" + headers("x"), After::Silence) }
            << kTopError;
        QTest::newRow("hang-up in the middle of the header block")
            << uidl1 + Dialogue { S::Exchange("TOP 1 0", "+OK\r\nFrom: a@b\r\nSubj", After::Close) }
            << kTopError;
        QTest::newRow("header block of many short lines past what the check may hold") << uidl1
                + Dialogue { S::Exchange("TOP 1 0", "+OK\r\n" + QByteArray("X: y\r\n").repeated(200 * 1024)) }
                                                                                       << kFlood;
        QTest::newRow("header texts held past the check's memory bound")
            << uidl1 + Dialogue { S::Exchange("TOP 1 0", topReply(QByteArray(40 * 1024, 's'))) } << kTopError;
        if (pipelined())
            addSurplusRows();
    }

    void failedDialogue()
    {
        QFETCH(Dialogue, dialogue);
        QFETCH(QString, status);

        CommonSettings.RecheckMailChecked = true;
        Accounts[0].UIDL = QStringList { "keep-1", "keep-2" };
        checker->SetCheckMemoryBound(64 * 1024);
        runCheck(dialogue);

        QCOMPARE(host->StatusHistory(0), (QStringList { kChecking, status }));
        // The failing step is the last one scripted: nothing follows it, no
        // QUIT. Commands sent ahead may have gone out, but never a goodbye.
        if (pipelined())
            QVERIFY(!server->ReceivedLines().contains("QUIT"));
        else
            QCOMPARE(server->ReceivedLines(), clientLines(dialogue));
        QVERIFY(server->ClientSentNothingElse());
        QCOMPARE(Accounts[0].UIDL, (QStringList { "keep-1", "keep-2" }));
        QVERIFY(host->arrival.calls.isEmpty());
        QCOMPARE(host->trayPictures, (QList<int> { 2, 3 }));
        QCOMPARE(host->seenListStores, 0);
        QVERIFY(!checker->tmrPopTimeOut().Enabled());

        // The next check against a sound server works.
        host->FindRow(0)->statusHistory.clear();
        runCheck(mailbox({ "fresh" }, { 1 }));
        QCOMPARE(host->Status(0), success(1));
        QCOMPARE(Accounts[0].UIDL, QStringList { "fresh" });
    }

    void replySegmentation_data()
    {
        QTest::addColumn<Dialogue>("dialogue");
        QTest::addColumn<int>("chunkSize");

        const Dialogue whole = mailbox({ "m1", "m2" }, { 1, 2 });
        QTest::newRow("every reply in one write, TOP status line with its headers") << whole << 0;
        QTest::newRow("one byte per write") << whole << 1;
        QTest::newRow("three bytes per write") << whole << 3;

        Dialogue apart = whole;
        for (auto& step : apart) {
            if (step.expectedLine.startsWith("TOP")) {
                const QByteArray reply = step.pieces.first();
                const qsizetype cut = reply.indexOf("\r\n") + 2;
                step.pieces = { reply.left(cut), reply.mid(cut) };
            }
        }
        QTest::newRow("TOP status line and header block in separate writes") << apart << 0;

        Dialogue crLf = whole;
        for (auto& step : crLf) {
            QByteArrayList pieces;
            QByteArray rest = step.pieces.first();
            for (qsizetype cr = rest.indexOf('\r'); cr >= 0; cr = rest.indexOf('\r')) {
                pieces << rest.left(cr + 1);
                rest = rest.mid(cr + 1);
            }
            pieces << rest;
            step.pieces = pieces;
        }
        QTest::newRow("CR and LF of every line in different writes") << crLf << 0;

        Dialogue dotApart = whole;
        for (auto& step : dotApart) {
            if (step.expectedLine.startsWith("TOP")) {
                const QByteArray reply = step.pieces.first();
                step.pieces = { reply.chopped(3), ".", "\r", "\n" };
            }
        }
        QTest::newRow("terminating dot line in three writes") << dotApart << 0;
    }

    void replySegmentation()
    {
        QFETCH(Dialogue, dialogue);
        QFETCH(int, chunkSize);

        server->SetChunkSize(chunkSize);
        runCheck(dialogue);

        QCOMPARE(host->Status(0), success(2));
        verifyCompleteWire(dialogue);
        QCOMPARE(Accounts[0].UIDL, (QStringList { "m1", "m2" }));
        QCOMPARE(host->arrival.calls.size(), 4);
    }

    // The header block reaches the field reader whole and unstuffed, however
    // it was cut on the wire, and the fields arrive in the window's order.
    void announcedFields_data()
    {
        QTest::addColumn<QByteArray>("headerBlock");
        QTest::addColumn<int>("chunkSize");
        QTest::addColumn<QString>("arrival");

        const QByteArray japanese = "Received: from mx\r\n..dotted line\r\n"
                                    "From: =?ISO-2022-JP?B?GyRCOzNFREJATzobKEI=?= <taro@example.jp>\r\n"
                                    "Subject: =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=\r\n"
                                    "Date: Tue, 15 Apr 2003 10:20:30 +0900\r\n\r\n";
        const QString expected = u"MailArraival 0| 山田太郎 <taro@example.jp>|03/04/15 10:20:30| テスト"_qs;
        QTest::newRow("Japanese sender and subject in one write") << japanese << 0 << expected;
        QTest::newRow("Japanese sender and subject one byte per write") << japanese << 1 << expected;
        QTest::newRow("Shift_JIS subject bytes cut between lead and trail byte")
            << QByteArray("From: a@b\r\nSubject: \x83\x65\x83\x58\x83\x67\r\n\r\n") << 1
            << u"MailArraival 0| a@b|| テスト"_qs;
        QTest::newRow("message without Date") << QByteArray("From: a@b\r\nSubject: hi\r\n\r\n") << 0
                                              << QStringLiteral("MailArraival 0| a@b|| hi");
    }

    void announcedFields()
    {
        QFETCH(QByteArray, headerBlock);
        QFETCH(int, chunkSize);
        QFETCH(QString, arrival);

        Dialogue dialogue = login();
        dialogue << S::Exchange("STAT ", "+OK 1 100\r\n") << S::Exchange("UIDL 1", "+OK 1 one\r\n")
                 << S::Exchange("TOP 1 0", "+OK\r\n" + headerBlock + ".\r\n")
                 << S::Exchange("QUIT", "+OK\r\n");
        server->SetChunkSize(chunkSize);
        runCheck(dialogue);

        QCOMPARE(host->arrival.calls, (QStringList { "RemoveMail 0", arrival, "ShowForm" }));
    }

    void firstFailingStepNamesTheError()
    {
        // One by one, the refused TOP 1 ends the check before UIDL 2 is
        // asked; a client that asked UIDL 2 ahead must still blame TOP.
        CommonSettings.RecheckMailChecked = true;
        Accounts[0].UIDL = QStringList { "keep" };
        runCheck(login()
            + Dialogue { S::Exchange("STAT ", "+OK 2 200\r\n"), S::Exchange("UIDL 1", "+OK 1 first\r\n"),
                S::Exchange("TOP 1 0", "-ERR gone\r\n"), S::Exchange("UIDL 2", "-ERR no\r\n") });
        QCOMPARE(host->Status(0), kTopError);
        QCOMPARE(Accounts[0].UIDL, QStringList { "keep" });
        QVERIFY(host->arrival.calls.isEmpty());
    }

    void slowReply_data()
    {
        QTest::addColumn<bool>("pastDeadline");
        QTest::addColumn<QString>("status");

        QTest::newRow("slower than the time-out, but never silent that long") << false << success(1);
        // One line a second, forever, would hold the check and every account behind it.
        QTest::newRow("still trickling when the check's time is up")
            << true << QStringLiteral("ｴﾗｰ(ﾁｪｯｸ時間超過)");
    }

    void slowReply()
    {
        QFETCH(bool, pastDeadline);
        QFETCH(QString, status);

        // The real timer, 1 s: the header block takes longer than that to
        // come, but no silence in it lasts that long.
        CommonSettings.PopTimeOut = 1;
        disconnect(server.get(), &ScriptedPop3Server::Silenced, checker.get(), nullptr);
        if (pastDeadline)
            connect(&checker->wsPopSocket(), &SocketControl::DataArrival, this, [this] {
                if (server->ReceivedLines().endsWith("TOP 1 0"))
                    Q_EMIT checker->tmrCheckDeadline().Timer();
            });
        server->SetPieceDelay(100);
        const QByteArray top = "+OK\r\nSubject: trickling in, four bytes at a time\r\n\r\n.\r\n";
        QByteArrayList pieces;
        for (qsizetype at = 0; at < top.size(); at += 4)
            pieces << top.mid(at, 4);
        Dialogue dialogue = login();
        dialogue << S::Exchange("STAT ", "+OK 1 100\r\n") << S::Exchange("UIDL 1", "+OK 1 slow\r\n")
                 << S::Pieces("TOP 1 0", pieces) << S::Exchange("QUIT", "+OK\r\n");
        runCheck(dialogue);
        QCOMPARE(host->Status(0), status);
        QVERIFY(!checker->tmrCheckDeadline().Enabled());
    }

    void lateTimeOutChangesNothing()
    {
        // The tick comes in the same pass as the bytes that complete the STAT
        // reply: the reply was in time, and the next step must not fail.
        connect(&checker->wsPopSocket(), &SocketControl::DataArrival, this, [this] {
            if (server->ReceivedLines().endsWith("STAT "))
                Q_EMIT checker->tmrPopTimeOut().Timer();
        });
        runCheck(mailbox({ "late" }, { 1 }));
        QCOMPARE(host->Status(0), success(1));
    }

    void seenListStoredBeforeTheWindowShows()
    {
        // Showing the window runs events; an end of the program among them
        // saves what the account holds at that moment.
        QStringList seenWhileShowing;
        host->arrival.onShowForm = [&] { seenWhileShowing = Accounts[0].UIDL; };
        CommonSettings.RecheckMailChecked = false;
        Accounts[0].UIDL = QStringList { "old" };
        runCheck(mailbox({ "old", "new" }, { 2 }));
        QCOMPARE(seenWhileShowing, (QStringList { "old", "new" }));
        QCOMPARE(host->StatusHistory(0).last(), success(1));
    }

    void lineBreaksInTypedValuesStayOffTheWire()
    {
        Accounts[0].PopAccount = QStringLiteral("ta\r\nro");
        Accounts[0].PopPasswd = QStringLiteral("sec\nDELE 1\r");
        Accounts[0].PopPasswd.insert(3, QChar(0));
        Dialogue dialogue = mailbox({}, {});
        dialogue[2] = S::Exchange("PASS secDELE 1", "+OK\r\n");
        runCheck(dialogue);
        QCOMPARE(host->Status(0), success(0));
        QVERIFY(server->ClientSentNothingElse());
    }

    // Values anyone can mail the user: each must be shown (or dropped)
    // within the size it came in, and the check must end in success.
    void hostileHeaderValues_data()
    {
        QTest::addColumn<QByteArray>("headerLine");

        QTest::newRow("300 KB of ISO-2022-JP word openers, one closing ?=")
            << "Subject: " + QByteArray("=?ISO-2022-JP?B?GyRC ").repeated(300 * 1024 / 21) + "?=";
        QTest::newRow("1 MB of word openers with Base64 text")
            << "Subject: " + QByteArray("=?ISO-2022-JP?B?QUFB").repeated(1000 * 1000 / 20) + "?=";
        QTest::newRow("1 MB of blanks after the weekday of a Date")
            << "Date: Tue" + QByteArray(1000 * 1000, ' ');
    }

    void hostileHeaderValues()
    {
        QFETCH(QByteArray, headerLine);

        Dialogue dialogue = login();
        dialogue << S::Exchange("STAT ", "+OK 1 100\r\n") << S::Exchange("UIDL 1", "+OK 1 crafted\r\n")
                 << S::Exchange("TOP 1 0", "+OK\r\nFrom: a@b\r\n" + headerLine + "\r\n\r\n.\r\n")
                 << S::Exchange("QUIT", "+OK\r\n");
        runCheck(dialogue);

        QCOMPARE(host->Status(0), success(1));
        QCOMPARE(Accounts[0].UIDL, QStringList { "crafted" });
        QCOMPARE(host->arrival.calls.size(), 3);
        QVERIFY(host->arrival.calls[1].size() <= headerLine.size() + 64);
    }

    void uncheckedRowIsLeftAlone()
    {
        host->FindRow(0)->checked = false;
        Accounts[0].UIDL = QStringList { "old" };
        server->SetDialogue(mailbox({ "new" }, { 1 }));
        checker->MailCheck(0);

        QCOMPARE(server->ConnectionCount(), 0);
        QVERIFY(host->StatusHistory(0).isEmpty());
        QVERIFY(host->trayPictures.isEmpty());
        QVERIFY(host->arrival.calls.isEmpty());
        QCOMPARE(Accounts[0].UIDL, QStringList { "old" });
    }

    void refusedConnection_data()
    {
        QTest::addColumn<QString>("catalogues");
        QTest::addColumn<QStringList>("statuses"); // Qt words it one way in the socket, another in its engine
        QTest::newRow("Qt's Japanese catalogue")
            << QtTranslation::SystemFolder()
            << QStringList { "ｴﾗｰ(接続が拒否されました)", "ｴﾗｰ(接続を拒否されました)" };
        QTest::newRow("catalogue missing: Qt's English")
            << QStringLiteral("/nonexistent") << QStringList { "ｴﾗｰ(Connection refused)" };
    }

    void refusedConnection()
    {
        QFETCH(QString, catalogues);
        QFETCH(QStringList, statuses);
        QtTranslation::LoadJapanese(catalogues);
        // A port that was free a moment ago: nobody listens there.
        const quint16 port = server->Port();
        server.reset();
        Accounts[0].PopPort = port;
        checker->MailCheck(0);

        const QString status = host->Status(0);
        QVERIFY2(statuses.contains(status), qPrintable(status));
        QCOMPARE(host->trayPictures, (QList<int> { 2, 3 }));
        QVERIFY(!checker->tmrPopTimeOut().Enabled());
    }

    void unusableConnectRequest_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<qint32>("port");

        QTest::newRow("port 0") << QStringLiteral("127.0.0.1") << 0;
        QTest::newRow("negative port") << QStringLiteral("127.0.0.1") << -110;
        QTest::newRow("port above 65535") << QStringLiteral("127.0.0.1") << 70000;
        QTest::newRow("no server name") << QString() << 110;
    }

    void unusableConnectRequest()
    {
        QFETCH(QString, host);
        QFETCH(qint32, port);

        Accounts[0].PopServer = host;
        Accounts[0].PopPort = port;
        Accounts[0].UIDL = QStringList { "keep" };
        checker->MailCheck(0);

        const QString status = this->host->Status(0);
        QVERIFY2(status.startsWith(QStringLiteral("ｴﾗｰ(")) && status != kGreetingError, qPrintable(status));
        QCOMPARE(Accounts[0].UIDL, QStringList { "keep" });
        QVERIFY(this->host->arrival.calls.isEmpty());
        QVERIFY(!checker->tmrPopTimeOut().Enabled());
        QCOMPARE(this->host->commandsEnabledHistory.last(), true);
    }

    void realTimeOutEndsTheWait()
    {
        // The one place the real timer runs: a silent greeting must end by itself.
        CommonSettings.PopTimeOut = 1;
        disconnect(server.get(), &ScriptedPop3Server::Silenced, checker.get(), nullptr);
        runCheck({ S::Greeting("", After::Silence) });
        QCOMPARE(host->Status(0), kGreetingError);
    }

    void rowDeletedDuringTheCheck()
    {
        connect(server.get(), &ScriptedPop3Server::LineReceived, this, [this](const QByteArray& line) {
            if (line == "STAT ")
                host->RemoveRow(0);
        });
        runCheck(mailbox({ "n1" }, { 1 }));

        QVERIFY(!host->HasRow(0));
        QVERIFY(host->arrival.calls.isEmpty());
        QVERIFY(server->ClientSentNothingElse());
        QCOMPARE(host->commandsEnabledHistory.last(), true);
    }

    void abortEndsTheRunAtOnce_data()
    {
        QTest::addColumn<Dialogue>("dialogue");

        const Dialogue stat = login() + Dialogue { S::Exchange("STAT ", "+OK 1 1\r\n") };
        QTest::newRow("server silent") << stat + Dialogue { S::Exchange("UIDL 1", "", After::Silence) };
        // Replies that are complete and waiting must not keep the check going.
        QTest::newRow("server streams replies without end") << stat
                + Dialogue { S::Exchange(
                    "UIDL 1", QByteArray("+OK 1 a\r\n").repeated(200000), After::Close) };
    }

    void abortEndsTheRunAtOnce()
    {
        QFETCH(Dialogue, dialogue);

        Accounts.push_back(Accounts[0]);
        host->AddRow(1, true, QStringLiteral("5"));
        Accounts[0].UIDL = QStringList { "keep" };
        disconnect(server.get(), &ScriptedPop3Server::Silenced, checker.get(), nullptr);
        connect(server.get(), &ScriptedPop3Server::Silenced, checker.get(), [this] { checker->AbortAll(); });
        // The end comes once the first bytes of the answer are there to be read.
        connect(&checker->wsPopSocket(), &SocketControl::DataArrival, this, [this] {
            if (server->ReceivedLines().endsWith("UIDL 1") && checker->IsRunning())
                checker->AbortAll();
        });
        server->SetDialogue(dialogue);
        checker->mnuMailCheck_Click();

        QVERIFY(!checker->IsRunning());
        QCOMPARE(host->Status(0), kUidlError);
        QVERIFY(host->StatusHistory(1).isEmpty());
        QCOMPARE(Accounts[0].UIDL, QStringList { "keep" });
        QCOMPARE(host->commandsEnabledHistory, (QList<bool> { false, true }));
        QCOMPARE(server->ConnectionCount(), 1);
        QVERIFY(server->ClientSentNothingElse());
    }

    void tokenSignIn_data()
    {
        QTest::addColumn<QByteArray>("sasl"); // the SASL line of CAPA
        QTest::addColumn<QString>("user");
        QTest::addColumn<Dialogue>("dialogue");
        QTest::addColumn<QString>("status");

        const QByteArray greeting = "+OK POP3 ready\r\n";
        if (capabilities == Capabilities::Refused) {
            QTest::newRow("CAPA refused: nothing to sign in with, nothing sent")
                << QByteArray() << QStringLiteral("taro") << Dialogue { S::Greeting(greeting) } << kNoOAuth2;
            return;
        }
        const auto sasl = [](const QByteArray& response) { return response.toBase64(); };
        const Dialogue listing { S::Exchange("STAT ", "+OK 1 100\r\n"), S::Exchange("UIDL 1", "+OK 1 t1\r\n"),
            S::Exchange("TOP 1 0", topReply("t")), S::Exchange("QUIT", "+OK\r\n") };
        QTest::newRow("XOAUTH2 preferred, two steps, no USER or PASS")
            << QByteArray("SASL PLAIN OAUTHBEARER XOAUTH2") << QStringLiteral("taro@example.com")
            << Dialogue { S::Greeting(greeting), S::Exchange("AUTH XOAUTH2", "+ \r\n"),
                   S::Exchange(sasl("user=taro@example.com\x01"
                                    "auth=Bearer tok-1\x01\x01"),
                       "+OK\r\n") }
                + listing
            << success(1);
        QTest::newRow("XOAUTH2 token revoked, as Dovecot refuses it: reason from the challenge, empty answer")
            << QByteArray("SASL XOAUTH2") << QStringLiteral("taro")
            << Dialogue { S::Greeting(greeting), S::Exchange("AUTH XOAUTH2", "+\r\n"),
                   S::Exchange(sasl("user=taro\x01"
                                    "auth=Bearer tok-1\x01\x01"),
                       "+ " + sasl(R"({"status":"401","schemes":"bearer"})") + "\r\n"),
                   S::Exchange("", "-ERR [AUTH] Authentication failed.\r\n") }
            << QStringLiteral("ｴﾗｰ(OAUTH2 ｻｲﾝｲﾝ ｴﾗｰ: 401)");
        QTest::newRow("OAUTHBEARER only: comma and equals sign escaped in the name")
            << QByteArray("SASL PLAIN OAUTHBEARER") << QStringLiteral("ta,ro=1")
            << Dialogue { S::Greeting(greeting), S::Exchange("AUTH OAUTHBEARER", "+ \r\n"),
                   S::Exchange(sasl("n,a=ta=2Cro=3D1,\x01"
                                    "auth=Bearer tok-1\x01\x01"),
                       "+OK\r\n") }
                + listing
            << success(1);
        QTest::newRow("OAUTHBEARER refused: answered with a lone 0x01")
            << QByteArray("SASL OAUTHBEARER") << QStringLiteral("taro")
            << Dialogue { S::Greeting(greeting), S::Exchange("AUTH OAUTHBEARER", "+ \r\n"),
                   S::Exchange(sasl("n,a=taro,\x01"
                                    "auth=Bearer tok-1\x01\x01"),
                       "+ " + sasl(R"({"status":"invalid_token"})") + "\r\n"),
                   S::Exchange("AQ==", "-ERR [AUTH] Authentication failed.\r\n") }
            << QStringLiteral("ｴﾗｰ(OAUTH2 ｻｲﾝｲﾝ ｴﾗｰ: invalid_token)");
        QTest::newRow("server offers neither: no AUTH, no USER")
            << QByteArray("SASL PLAIN LOGIN") << QStringLiteral("taro") << Dialogue { S::Greeting(greeting) }
            << kNoOAuth2;
    }

    // An account with a token signs in by SASL, and only by a mechanism the
    // server lists; pipelining starts only after it.
    void tokenSignIn()
    {
        QFETCH(QByteArray, sasl);
        QFETCH(QString, user);
        QFETCH(Dialogue, dialogue);
        QFETCH(QString, status);

        if (capabilities != Capabilities::Refused)
            server->SetCapabilities({ "TOP", "UIDL", pipelined() ? "PIPELINING" : "USER", sasl });
        server->SetDialogue(dialogue);
        CheckRequest request;
        request.server = QStringLiteral("127.0.0.1");
        request.port = server->Port();
        request.user = user;
        request.password = QStringLiteral("never-sent");
        request.accessToken = QStringLiteral("tok-1");
        QCOMPARE(DirectPop3Check().Run(request).status(), status);
        QTRY_VERIFY(server->IsIdle());
        verifyCompleteWire(dialogue);
    }

    void timeOutAppliedInFull_data()
    {
        QTest::addColumn<qint32>("popTimeOut");
        QTest::addColumn<qint32>("interval");

        QTest::newRow("40 s, beyond a 16-bit millisecond count") << 40 << 40000;
        QTest::newRow("zero means the default") << 0 << 10000;
        QTest::newRow("negative means the default") << -7 << 10000;
    }

    void timeOutAppliedInFull()
    {
        QFETCH(qint32, popTimeOut);
        QFETCH(qint32, interval);

        CommonSettings.PopTimeOut = popTimeOut;
        runCheck(mailbox({}, {}));
        QCOMPARE(checker->tmrPopTimeOut().Interval(), interval);
        QCOMPARE(host->Status(0), success(0));
    }

    // Spam is not announced; deleting it keeps a copy first, and a session
    // that goes wrong anywhere ends without the QUIT that would commit a DELE.
    void spamDeletion_data()
    {
        QTest::addColumn<Dialogue>("dialogue");
        QTest::addColumn<bool>("deleting");
        QTest::addColumn<QByteArrayList>("deletes"); // the DELE lines the server must see
        QTest::addColumn<bool>("quit");
        QTest::addColumn<QList<bool>>("copies"); // per copy kept: deleted on the server
        QTest::addColumn<QString>("status");
        QTest::addColumn<QByteArray>("keptBefore"); // what an earlier check kept under message 2's identifier

        const auto retr = [](int n, int asSubjectOf) {
            return S::Exchange("RETR " + QByteArray::number(n), retrReply(spamSubject(asSubjectOf)));
        };
        const auto dele = [](int n, const QByteArray& reply = "+OK\r\n") {
            return S::Exchange("DELE " + QByteArray::number(n), reply);
        };
        const auto stat
            = [](int count) { return S::Exchange("STAT", "+OK " + QByteArray::number(count) + " 99\r\n"); };
        const auto quit = [](const QByteArray& reply) { return S::Exchange("QUIT", reply, After::Close); };

        QTest::newRow("detection alone: tagged mail neither announced nor fetched whole")
            << (spamMailbox(2) << quit("+OK\r\n")) << false << QByteArrayList() << true << QList<bool>()
            << success(1) << QByteArray();
        QTest::newRow("kept, deleted, STAT one less, QUIT answered: gone from the server")
            << (spamMailbox(2) << retr(2, 2) << dele(2) << stat(1) << quit("+OK\r\n")) << true
            << QByteArrayList { "DELE 2" } << true << QList<bool> { true } << success(1) << QByteArray();
        QTest::newRow("RETR refused: no DELE, no QUIT")
            << (spamMailbox(2) << S::Exchange("RETR 2", "-ERR no such message\r\n")) << true
            << QByteArrayList() << false << QList<bool>() << success(1) << QByteArray();
        QTest::newRow("RETR answers with another message's headers: no DELE")
            << (spamMailbox(2) << retr(2, 1)) << true << QByteArrayList() << false << QList<bool>()
            << success(1) << QByteArray();
        QTest::newRow("QUIT refused: the copy stays, the message too")
            << (spamMailbox(2) << retr(2, 2) << dele(2) << stat(1) << quit("-ERR mailbox locked\r\n")) << true
            << QByteArrayList { "DELE 2" } << true << QList<bool> { false } << success(1) << QByteArray();
        QTest::newRow("stray line before DELE's reply: no further DELE, no QUIT")
            << (spamMailbox(3) << retr(2, 2) << dele(2, "+OK hello again\r\n+OK marked\r\n") << stat(2)
                               << retr(3, 3))
            // Sent ahead, message 3 is fetched and kept before DELE 2 is answered.
            << true << QByteArrayList { "DELE 2" } << false
            << (pipelined() ? QList<bool> { false, false } : QList<bool> { false }) << success(1)
            << QByteArray();
        QTest::newRow("STAT after DELE counts no fewer: no QUIT")
            << (spamMailbox(2) << retr(2, 2) << dele(2) << stat(2)) << true << QByteArrayList { "DELE 2" }
            << false << QList<bool> { false } << success(1) << QByteArray();
        Dialogue shifted = spamMailbox(2) << retr(2, 2) << dele(2) << stat(1) << quit("+OK\r\n");
        for (S::Step& step : shifted)
            if (step.expectedLine == "TOP 1 0")
                step.pieces.first() += "+OK\r\n";
        // One by one, the next command drops the line; sent ahead, it shifts
        // every later reply, and the check fails before any DELE.
        QTest::newRow("unasked line behind the first TOP reply: no DELE when sent ahead")
            << shifted << true << (pipelined() ? QByteArrayList() : QByteArrayList { "DELE 2" })
            << !pipelined() << (pipelined() ? QList<bool>() : QList<bool> { true })
            << (pipelined() ? kTopError : success(1)) << QByteArray();
        Dialogue sameIdentifier = spamMailbox(3)
            << retr(2, 2) << dele(2) << stat(2) << retr(3, 3) << dele(3) << stat(1) << quit("+OK\r\n");
        for (S::Step& step : sameIdentifier)
            if (step.expectedLine == "UIDL 3")
                step.pieces.first() = "+OK 3 id-2\r\n";
        QTest::newRow("two spam messages with one identifier: each kept before its own DELE")
            << sameIdentifier << true << QByteArrayList { "DELE 2", "DELE 3" } << true
            << QList<bool> { true, true } << success(1) << QByteArray();
        const Dialogue deleted = spamMailbox(2) << retr(2, 2) << dele(2) << stat(1) << quit("+OK\r\n");
        QTest::newRow("an earlier copy under the same identifier is no stand-in for the message")
            << deleted << true << QByteArrayList { "DELE 2" } << true << QList<bool> { true, false }
            << success(1) << QByteArray("Subject: [meiwaku] offer, kept before\n\nold\n");
        QTest::newRow("the same message kept before, when its deletion failed: one copy stays")
            << deleted << true << QByteArrayList { "DELE 2" } << true << QList<bool> { true } << success(1)
            << QByteArray(headers(spamSubject(2)) + "Buy now\r\n").replace("\r\n", "\n");
        QTest::newRow("spam message past what the check may hold: no DELE")
            << (spamMailbox(2) << S::Exchange("RETR 2",
                    "+OK\r\n" + headers(spamSubject(2)) + QByteArray("x\r\n").repeated(100000) + ".\r\n"))
            << true << QByteArrayList() << false << QList<bool>() << success(1) << QByteArray();
    }

    void spamDeletion()
    {
        QFETCH(Dialogue, dialogue);
        QFETCH(bool, deleting);
        QFETCH(QByteArrayList, deletes);
        QFETCH(bool, quit);
        QFETCH(QList<bool>, copies);
        QFETCH(QString, status);
        QFETCH(QByteArray, keptBefore);

        QTemporaryDir folder;
        if (!keptBefore.isEmpty())
            QVERIFY(!SpamMaildir(folder.path(), QStringLiteral("taro@127.0.0.1"))
                         .Keep(QStringLiteral("id-2"), keptBefore)
                         .isEmpty());
        checker->SetSpamFolder(folder.path());
        checker->SetCheckMemoryBound(256 * 1024);
        CommonSettings.SpamCheck = true;
        CommonSettings.SpamDelete = deleting;
        runCheck(dialogue);

        // The plain message alone is announced, and the check succeeds
        // whatever became of the deletion.
        QCOMPARE(host->StatusHistory(0).last(), status);
        QCOMPARE(host->arrival.calls.size(), status == success(1) ? 3 : 0);
        QCOMPARE(Accounts[0].UIDL.size(),
            status != success(1) ? 0
                                 : std::count_if(dialogue.cbegin(), dialogue.cend(), [](const S::Step& step) {
                                       return step.expectedLine.startsWith("UIDL");
                                   }));
        QByteArrayList sentDeletes = server->ReceivedLines();
        sentDeletes.removeIf([](const QByteArray& line) { return !line.startsWith("DELE"); });
        QCOMPARE(sentDeletes, deletes);
        QCOMPARE(server->ReceivedLines().contains("QUIT"), quit);
        QVERIFY(server->ClientSentNothingElse());
        QList<bool> kept;
        for (const SpamMaildir::Copy& copy : SpamMaildir(folder.path()).Copies()) {
            QVERIFY(copy.fields.strSubject.contains(u"[meiwaku] offer"));
            kept << copy.deletedOnServer;
        }
        QCOMPARE(kept, copies);
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int failures = 0;
    for (const Capabilities capabilities :
        { Capabilities::Refused, Capabilities::WithoutPipelining, Capabilities::WithPipelining }) {
        tst_MailCheckDialogue test(capabilities);
        failures += QTest::qExec(&test, argc, argv);
    }
    return failures;
}
#include "tst_MailCheckDialogue.moc"
