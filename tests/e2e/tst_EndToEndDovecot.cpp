#include "../ui/MainWindowProbe.h"
#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "mail/MailChecker.h"
#include "platform/SingleInstance.h"
#include "platform/keyring/QtKeychainService.h"
#include "startup/AppMain.h"
#include "ui/frmArrival.h"
#include "ui/frmTandrel.h"

#include "DovecotFixture.h"
#include "RecordingSoundService.h"
#include "RecordingTrayIconService.h"
#include "ScriptedMessageBoxService.h"
#include "ScriptedPop3Server.h"
#include "TempSettingsFile.h"
#include "TestCertificates.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <list>

// The whole program against a real POP3 server: start-up reads the settings
// file, the window's load runs the start-up check, the arrival window lists
// what the server holds, and the end writes the seen lists back.
class tst_EndToEndDovecot : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void startUpCheckFillsArrivalWindow_data();
    void startUpCheckFillsArrivalWindow();
    void seenListSurvivesAKill();
    void passwordOnlyInTheKeyring_data();
    void passwordOnlyInTheKeyring();
    void hostileServers();
    void cleanupTestCase();

private:
    QByteArray accountSettings(bool recheck, bool seenBefore) const;

    DovecotFixture m_server;
    QStringList m_uidls;
    std::unique_ptr<TempSettingsFile> m_settings;
    std::unique_ptr<ScriptedMessageBoxService> m_boxes;
    std::unique_ptr<RecordingTrayIconService> m_tray;
    std::unique_ptr<RecordingSoundService> m_sound;
    QProcess m_keyringBus; // a session bus of its own with a GNOME Keyring on it
};

void tst_EndToEndDovecot::initTestCase()
{
    if (!m_server.start()) {
        if (!m_server.skipReason().isEmpty())
            QSKIP(qPrintable(m_server.skipReason()));
        QFAIL(qPrintable(m_server.error()));
    }
    const auto message
        = [](const char* charset, const QString& name, const char* address, const QString& subject) {
              return QJsonObject { { "charset", charset }, { "fromName", name }, { "fromAddr", address },
                  { "subject", subject }, { "date", "Tue, 15 Apr 2003 10:20:30 +0900" } };
          };
    QVERIFY2(m_server.deliverMessages(QJsonArray {
                 message("iso-2022-jp", QStringLiteral("山田太郎"), "yamada@example.jp",
                     QStringLiteral("会議の件について")),
                 message("us-ascii", QStringLiteral("Mallory"), "mallory@example.com",
                     QStringLiteral("<img src=http://example.invalid/a.png><b>x</b>")),
             }),
        qPrintable(m_server.error()));
    m_uidls = m_server.serverUidls();
    QCOMPARE(m_uidls.size(), 2);
}

void tst_EndToEndDovecot::init()
{
    m_settings = std::make_unique<TempSettingsFile>();
    m_boxes = std::make_unique<ScriptedMessageBoxService>();
    m_tray = std::make_unique<RecordingTrayIconService>();
    m_sound = std::make_unique<RecordingSoundService>();
    Accounts.clear();
}

void tst_EndToEndDovecot::cleanup()
{
    Accounts.clear();
    m_sound.reset();
    m_tray.reset();
    m_boxes.reset();
    m_settings.reset();
}

void tst_EndToEndDovecot::startUpCheckFillsArrivalWindow_data()
{
    QTest::addColumn<bool>("recheck");
    QTest::addColumn<bool>("seenBefore");
    QTest::addColumn<int>("rows");

    QTest::newRow("first start announces every message") << false << false << 2;
    QTest::newRow("messages seen before stay quiet") << false << true << 0;
    QTest::newRow("announcing everything ignores the seen list") << true << true << 2;
}

void tst_EndToEndDovecot::startUpCheckFillsArrivalWindow()
{
    QFETCH(bool, recheck);
    QFETCH(bool, seenBefore);
    QFETCH(int, rows);

    const QByteArray ini = accountSettings(recheck, seenBefore);
    m_settings->write(ini);
    const QDateTime writtenAt = QFileInfo(m_settings->path()).lastModified();

    const SingleInstance instance(m_settings->path());
    QVERIFY(AppMain::StartUp(instance));
    QCOMPARE(Accounts.size(), std::size_t(1));

    frmTandrel w;
    QSignalSpy ended(&w, &frmTandrel::programEnded);
    w.Form_Load(); // returns once the start-up check is over
    QVERIFY(!w.Checker().IsRunning());

    QVERIFY(MainWindowProbe::Row(w, 0) >= 0);
    QCOMPARE(MainWindowProbe::Cell(w, 0, 2), QStringLiteral("成功(新着%1件)").arg(rows));
    QCOMPARE(MainWindowProbe::Cell(w, 0, 1), QStringLiteral("5"));
    // A check that changed the seen list has written it already; one that
    // changed nothing has left the file alone.
    if (seenBefore) {
        QCOMPARE(QFileInfo(m_settings->path()).lastModified(), writtenAt);
        QCOMPARE(m_settings->read(), ini);
    } else {
        QVERIFY(m_settings->read().contains("UIDL1=" + m_uidls[1].toLatin1()));
    }

    if (rows == 0) {
        QVERIFY(!w.ArrivalForm() || !w.ArrivalForm()->isVisible());
    } else {
        frmArrival* arrival = w.ArrivalForm();
        QVERIFY(arrival);
        QTRY_VERIFY(arrival->isVisible());
        const FlatListView& mail = *arrival->lvArrival;
        QCOMPARE(mail.RowCount(), rows);
        QCOMPARE(mail.CellText(0, 0), QStringLiteral("dovecot"));
        // The header value keeps the blank after the colon, as the check reads it.
        QCOMPARE(mail.CellText(0, 1).trimmed(), QStringLiteral("会議の件について"));
        QVERIFY(mail.CellText(0, 2).contains(QStringLiteral("山田太郎")));
        QCOMPARE(mail.CellText(0, 3), QStringLiteral("03/04/15 10:20:30"));
        QCOMPARE(
            mail.CellText(1, 1).trimmed(), QStringLiteral("<img src=http://example.invalid/a.png><b>x</b>"));
    }

    // The seen list reaches the file with the end of the program.
    w.mnuExit->trigger();
    QCOMPARE(ended.size(), 1);
    const QByteArray saved = m_settings->read();
    for (qsizetype i = 0; i < m_uidls.size(); ++i)
        QVERIFY(saved.contains("UIDL" + QByteArray::number(i) + "=" + m_uidls[i].toLatin1()));
    QCOMPARE(m_tray->Messages().back(), TrayIconService::NIM_DELETE);
}

QByteArray tst_EndToEndDovecot::accountSettings(bool recheck, bool seenBefore) const
{
    QByteArray ini = "[Common]\r\nRecheckMailChecked=" + QByteArray(recheck ? "True" : "False")
        + "\r\nPopTimeOut=30\r\nFormClosedIsMinimized=True\r\n"
          "[Account0]\r\nUserTitle=dovecot\r\nPopAccount="
        + DovecotFixture::user().toLatin1() + "\r\nPopPasswd=" + DovecotFixture::password().toLatin1()
        + "\r\nPopServer=" + DovecotFixture::host().toLatin1()
        + "\r\nPopPort=" + QByteArray::number(m_server.port()) + "\r\nCheckInterval=5\r\nEnabled=True\r\n";
    if (seenBefore) {
        for (qsizetype i = 0; i < m_uidls.size(); ++i)
            ini += "UIDL" + QByteArray::number(i) + "=" + m_uidls[i].toLatin1() + "\r\n";
    }
    return ini;
}

// The program itself, killed after its start-up check as a crash or a lost
// display would end it: the next start must find what that check listed.
void tst_EndToEndDovecot::seenListSurvivesAKill()
{
    QTemporaryDir folder;
    QVERIFY(QFile::copy(QStringLiteral(TANDREL_BINARY_DIR "/tandrel"), folder.filePath("tandrel")));
    QFile ini(folder.filePath("tandrel.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly) && ini.write(accountSettings(false, false)) > 0);
    ini.close();
    const QByteArray last = "UIDL1=" + m_uidls[1].toLatin1() + "\r\n";
    const auto saved = [&] {
        QFile file(ini.fileName());
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(last);
    };

    QFileSystemWatcher watcher({ folder.path() });
    QSignalSpy changed(&watcher, &QFileSystemWatcher::directoryChanged);
    QProcess tandrel; // on the offscreen platform, as this test is
    tandrel.start(folder.filePath("tandrel"), {});
    // Generous: a loaded machine may take long over the start and the check.
    while (!saved() && tandrel.state() != QProcess::NotRunning)
        QVERIFY(changed.wait(120'000));
    tandrel.kill();
    QVERIFY(tandrel.waitForFinished());
    QVERIFY(saved());
}

// The program itself for a minute against hostile servers, one copy of it
// per server that would hold a check for long, all at once: each stays within
// the check's memory bound, reconnects no faster than its back-off allows,
// checks no more often than pushes may ask for, and ends at once on SIGTERM
// whatever its server is sending.
void tst_EndToEndDovecot::hostileServers()
{
    using S = ScriptedPop3Server;
    using After = S::After;
    TestCertificates certificates;
    QVERIFY2(certificates.Make(), qPrintable(certificates.Error()));
    // The program trusts the system's authorities alone: in a mount namespace
    // of its own, the system's store holds the test authority.
    QTemporaryDir store;
    QVERIFY(QFile::copy(certificates.Folder() + "/ca.crt", store.filePath("ca.crt")));
    QCOMPARE(QProcess::execute("openssl", { "rehash", store.path() }), 0);

    const QByteArray header = "From: a@example.jp\r\n\r\n";
    const QByteArray fields = "[HEADER.FIELDS (FROM SUBJECT DATE)]";
    const QList<S::Step> imap { S::Greeting("* OK ready\r\n"),
        S::Exchange("A1 CAPABILITY", "* CAPABILITY IMAP4rev1 STARTTLS IDLE\r\nA1 OK\r\n"),
        S::Exchange("A2 STARTTLS", "A2 OK begin\r\n", After::StartTls),
        S::Exchange("A3 CAPABILITY", "* CAPABILITY IMAP4rev1 IDLE\r\nA3 OK\r\n"),
        S::Exchange("A4 LOGIN \"taro\" \"secret\"", "A4 OK [CAPABILITY IMAP4rev1 IDLE] in\r\n"),
        S::Exchange("A5 EXAMINE INBOX", "* 5 EXISTS\r\n* OK [UIDVALIDITY 7] x\r\nA5 OK\r\n"),
        S::Exchange("A6 UID SEARCH UNSEEN", "* SEARCH 5\r\nA6 OK\r\n"),
        S::Exchange("A7 UID FETCH 5 (UID BODY.PEEK" + fields + ")",
            "* 1 FETCH (UID 5 BODY" + fields + " {" + QByteArray::number(header.size()) + "}\r\n" + header
                + ")\r\nA7 OK\r\n"),
        S::Exchange("A8 IDLE", "+ idling\r\n* 6 EXISTS\r\n"), S::Exchange("DONE", "A8 OK\r\n") };
    QList<S::Step> pushed = imap;
    for (int tag = 8; tag < 8 + 3 * 30; tag += 3) {
        const auto t = [&](int i) { return 'A' + QByteArray::number(tag + i); };
        pushed << S::Exchange(t(1) + " NOOP", t(1) + " OK\r\n")
               << S::Exchange(t(2) + " UID SEARCH UNSEEN", "* SEARCH 5\r\n" + t(2) + " OK\r\n")
               << S::Exchange(t(3) + " IDLE", "+ idling\r\n") << S::Exchange("DONE", t(3) + " OK\r\n");
    }
    const QList<S::Step> pop3 { S::Greeting("+OK ready\r\n"), S::Exchange("USER taro", "+OK\r\n"),
        S::Exchange("PASS secret", "+OK\r\n"), S::Exchange("STAT ", "+OK 1 100\r\n"),
        S::Exchange("UIDL 1", "+OK 1 u1\r\n"), S::Exchange("TOP 1 0", "+OK\r\n") };
    const QList<S::Step> flooded { S::Greeting("* OK ready\r\n"), S::Exchange("A1 CAPABILITY", {}) };

    struct Account {
        QByteArray from; // the end of the client line after which the server writes; it must come
        QByteArray writes;
        QTimer feed;
        bool imap = true;
        S server;
        int armedOn = -1; // the connection on which the server writes
    };
    struct Program {
        QByteArray name;
        std::list<Account> accounts;
        QTemporaryDir folder;
        QProcess process;
    };
    std::list<Program> programs;
    const QByteArray line = "* OK x\r\n";
    const auto add = [&](const QByteArray& name, const QList<S::Step>& dialogue, const QByteArray& from = {},
                         const QByteArray& writes = {}, int everyMs = 0) {
        if (programs.empty() || programs.back().name != name)
            programs.emplace_back().name = name;
        Account& account = programs.back().accounts.emplace_back();
        account.server.SetDialogue(dialogue);
        account.from = from;
        account.writes = writes;
        account.feed.setInterval(everyMs);
        account.imap = dialogue.first().pieces.value(0).startsWith('*');
    };
    add("untagged flood", flooded, "CAPABILITY", line.repeated(2048), 1);
    add("untagged trickle", flooded, "CAPABILITY", line, 1000);
    add("EXISTS pushed without end", pushed, " IDLE", "* 6 EXISTS\r\n", 20);
    add("POP3 flood", pop3, "TOP 1 0", QByteArray("X-Flood: x\r\n").repeated(2048), 1);
    add("POP3 trickle", pop3, "TOP 1 0", "X-Trickle: x\r\n", 1000);
    // One account per step of the dialogue, whose server hangs up there:
    // right after IDLE's continuation, and instead of every other answer.
    for (qsizetype step = 0; step < imap.size(); ++step) {
        QList<S::Step> cut = imap.mid(0, step + 1);
        if (cut.last().expectedLine != "A8 IDLE")
            cut.last().pieces = {};
        cut.last().after = After::Close;
        add("closing at every step", cut, cut.last().expectedLine);
    }

    QElapsedTimer minute;
    minute.start();
    for (Program& program : programs) {
        QByteArray ini
            = "[Common]\r\nRecheckMailChecked=False\r\nPopTimeOut=30\r\nFormClosedIsMinimized=True\r\n";
        int index = 0;
        for (Account& account : program.accounts) {
            S& server = account.server;
            server.UseTls(certificates.Certificate("localhost"), certificates.Key("localhost"),
                S::Handshake::OnStartTls);
            QVERIFY(server.Listen());
            connect(&server, &S::LineReceived, &server, [&account](const QByteArray& received) {
                account.armedOn = received.endsWith(account.from) ? account.server.ConnectionCount() : -1;
            });
            connect(&account.feed, &QTimer::timeout, &server, [&account] {
                if (account.armedOn == account.server.ConnectionCount())
                    account.server.Push(account.writes);
            });
            if (!account.writes.isEmpty())
                account.feed.start();
            ini += "[Account" + QByteArray::number(index++) + "]\r\nUserTitle=" + program.name
                + "\r\nPopAccount=taro\r\nPopPasswd=secret\r\nPopServer=localhost\r\nPopPort="
                + QByteArray::number(server.Port()) + "\r\nCheckInterval=1\r\nEnabled=True\r\n"
                + (account.imap ? "Protocol=IMAP\r\nUIDL0=7:0\r\n" : "");
        }
        QVERIFY(
            QFile::copy(QStringLiteral(TANDREL_BINARY_DIR "/tandrel"), program.folder.filePath("tandrel")));
        QFile file(program.folder.filePath("tandrel.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ini) == ini.size());
        file.close();
        program.process.start("unshare",
            { "--map-root-user", "--mount", "sh", "-c", "mount --bind \"$0\" /etc/ssl/certs && exec \"$1\"",
                store.path(), program.folder.filePath("tandrel") });
    }
    // Generous: a loaded machine may take long over six starts.
    QTRY_VERIFY_WITH_TIMEOUT(
        std::all_of(programs.cbegin(), programs.cend(),
            [](const Program& p) { return p.accounts.back().server.ConnectionCount() > 0; }),
        120'000);
    // A minute of it: long enough for a flood to pass the check's bound, for
    // pushes to meet the floor a dozen times and the back-off to double three times.
    // Events alone, no sleep between them, so that a flood writes every millisecond.
    QEventLoop run;
    QTimer::singleShot(60'000, &run, &QEventLoop::quit);
    run.exec();
    const qint64 ms = minute.elapsed();
    // The start-up check and the timed ones, and the reconnections of a
    // back-off that doubles from 5 s.
    int allowed = 1 + int(ms / 60'000);
    for (qint64 wait = 5000, at = wait; at <= ms; wait *= 2, at += wait)
        ++allowed;

    for (Program& program : programs) {
        QVERIFY2(program.process.state() == QProcess::Running, program.name.constData());
        QFile status(QStringLiteral("/proc/%1/status").arg(program.process.processId()));
        QVERIFY(status.open(QIODevice::ReadOnly));
        const QByteArray all = status.readAll();
        const qsizetype at = all.indexOf("VmHWM:");
        const QByteArray peak = at < 0 ? QByteArray() : all.mid(at, all.indexOf('\n', at) - at);
        const qint64 peakKb = peak.mid(6).trimmed().split(' ').value(0).toLongLong();
        QByteArrayList connections;
        for (Account& account : program.accounts) {
            const QByteArrayList lines = account.server.ReceivedLines();
            const auto count = [&](const QByteArray& end) {
                return std::count_if(
                    lines.cbegin(), lines.cend(), [&](const QByteArray& l) { return l.endsWith(end); });
            };
            // The server's hostile part was played.
            QVERIFY2(account.from.isNull() ? account.server.ConnectionCount() > 0 : count(account.from) > 0,
                (program.name + ": " + account.from).constData());
            connections << QByteArray::number(account.server.ConnectionCount());
            QVERIFY2(account.server.ConnectionCount() <= allowed,
                (program.name + ": " + connections.last()).constData());
            // The first check, the one the first push asks for at once, then one each 5 s floor, and
            // the timed ones.
            const qsizetype checks = count(" UID SEARCH UNSEEN");
            QVERIFY2(checks <= 2 + ms / 5000 + ms / 60'000,
                (program.name + ": " + QByteArray::number(checks)).constData());
            if (account.from == " IDLE") {
                qInfo("%s: %lld checks in %lld s", program.name.constData(), qint64(checks), ms / 1000);
                QVERIFY2(checks >= 3, QByteArray::number(checks).constData());
            }
        }
        QElapsedTimer ending;
        ending.start();
        ::kill(pid_t(program.process.processId()), SIGTERM);
        QVERIFY(program.process.waitForFinished(10'000));
        qInfo("%s: peak resident memory %lld MB, connections %s, ended %lld ms after SIGTERM",
            program.name.constData(), peakKb / 1024, connections.join(' ').constData(), ending.elapsed());
        // The check holds at most its bound (150 MiB) of what it reads, beside what the program holds anyway.
        QVERIFY2(peakKb > 0 && peakKb < 200 * 1024, peak.constData());
        QVERIFY2(ending.elapsed() < 2000, qPrintable(QString::number(ending.elapsed())));
        QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
    }
}

void tst_EndToEndDovecot::passwordOnlyInTheKeyring_data()
{
    QTest::addColumn<bool>("daemonUp");
    QTest::addColumn<QString>("status");
    QTest::newRow("keyring up: the check logs in with its password")
        << true << QStringLiteral("成功(新着2件)");
    QTest::newRow("keyring daemon gone: the keyring is named and nothing is sent")
        << false << QStringLiteral("ｴﾗｰ(ｷｰﾘﾝｸﾞ ｴﾗｰ)");
}

void tst_EndToEndDovecot::passwordOnlyInTheKeyring()
{
    QFETCH(bool, daemonUp);
    QFETCH(QString, status);
    if (m_keyringBus.state() == QProcess::NotRunning) {
        m_keyringBus.start(QStringLiteral("dbus-run-session"),
            { QStringLiteral("--config-file=" TANDREL_SOURCE_DIR "/tests/support/keyring-bus.conf"),
                QStringLiteral("--"),
                QStringLiteral(TANDREL_SOURCE_DIR "/tests/support/keyring-fixture.sh") });
        m_keyringBus.write("keyring-password\npop3-e2e " + DovecotFixture::password().toUtf8() + "\n");
        QVERIFY2(m_keyringBus.waitForReadyRead(60'000), m_keyringBus.readAllStandardError().constData());
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_keyringBus.readLine().trimmed());
    }
    if (!daemonUp) {
        m_keyringBus.write("\n");
        QVERIFY(m_keyringBus.waitForReadyRead(60'000) && m_keyringBus.readLine() == "gone\n");
    }
    QByteArray ini = accountSettings(true, false);
    ini.replace("PopPasswd=" + DovecotFixture::password().toLatin1(), "PopPasswd=\r\nKeyringEntry=pop3-e2e");
    ini.replace("[Common]\r\n", "[Common]\r\nPasswordInKeyring=True\r\n");
    m_settings->write(ini);
    const QString logBefore = m_server.log();

    QtKeychainService keyring;
    KeyringService::Install(&keyring);
    const SingleInstance instance(m_settings->path());
    QVERIFY(AppMain::StartUp(instance));
    frmTandrel w;
    w.Form_Load();
    QTRY_COMPARE_WITH_TIMEOUT(MainWindowProbe::Cell(w, 0, 2), status, 60'000);
    QCOMPARE(m_boxes->shown().size(), daemonUp ? 0 : 1);
    if (!daemonUp)
        QCOMPARE(m_server.log(), logBefore);
    w.mnuExit->trigger();
    KeyringService::Install(nullptr);
    // Up or gone, the file still names the entry and holds no password.
    QVERIFY(m_settings->read().contains("PopPasswd=\r\nKeyringEntry=pop3-e2e\r\n"));
}

void tst_EndToEndDovecot::cleanupTestCase()
{
    m_keyringBus.closeWriteChannel();
    m_keyringBus.waitForFinished();
}

QTEST_MAIN(tst_EndToEndDovecot)
#include "tst_EndToEndDovecot.moc"
