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

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

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
    void hostileImapServer_data();
    void hostileImapServer();
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

void tst_EndToEndDovecot::hostileImapServer_data()
{
    QTest::addColumn<int>("everyMs"); // how often the server writes
    QTest::addColumn<QByteArray>("writes");
    const QByteArray line = "* OK x\r\n";
    QTest::newRow("short untagged responses as fast as the socket takes them") << 1 << line.repeated(2048);
    QTest::newRow("one untagged line a second, never silent") << 1000 << line;
}

// The program itself against an IMAP server that answers its CAPABILITY
// without end: its memory stays within the check's bound, and SIGTERM ends it
// at once whatever the server is sending.
void tst_EndToEndDovecot::hostileImapServer()
{
    QFETCH(int, everyMs);
    QFETCH(QByteArray, writes);
    ScriptedPop3Server server;
    server.SetDialogue({ ScriptedPop3Server::Greeting("* OK ready\r\n"),
        ScriptedPop3Server::Exchange("A1 CAPABILITY", writes) });
    QVERIFY(server.Listen());
    QTemporaryDir folder;
    QVERIFY(QFile::copy(QStringLiteral(TANDREL_BINARY_DIR "/tandrel"), folder.filePath("tandrel")));
    QFile ini(folder.filePath("tandrel.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly)
        && ini.write("[Common]\r\nPopTimeOut=30\r\nFormClosedIsMinimized=True\r\n[Account0]\r\n"
                     "UserTitle=hostile\r\nPopAccount=taro\r\nPopPasswd=secret\r\nPopServer=127.0.0.1\r\n"
                     "PopPort="
               + QByteArray::number(server.Port())
               + "\r\nCheckInterval=1\r\nEnabled=True\r\nProtocol=IMAP\r\n")
            > 0);
    ini.close();

    QProcess tandrel; // on the offscreen platform, as this test is
    tandrel.start(folder.filePath("tandrel"), {});
    QTRY_VERIFY_WITH_TIMEOUT(server.ReceivedLines().contains("A1 CAPABILITY"), 60'000);
    QTimer feed;
    connect(&feed, &QTimer::timeout, &server, [&] { server.Push(writes); });
    feed.start(everyMs);
    // Half a minute of it: long enough for a flood to pass the check's bound many times over.
    QEventLoop run;
    QTimer::singleShot(30'000, &run, &QEventLoop::quit);
    run.exec();
    QVERIFY(tandrel.state() == QProcess::Running);
    QFile status(QStringLiteral("/proc/%1/status").arg(tandrel.processId()));
    QVERIFY(status.open(QIODevice::ReadOnly));
    const QByteArray all = status.readAll();
    const qsizetype at = all.indexOf("VmHWM:");
    const QByteArray peak = at < 0 ? QByteArray() : all.mid(at, all.indexOf('\n', at) - at);
    const qint64 peakKb = peak.mid(6).trimmed().split(' ').value(0).toLongLong();
    qInfo("peak resident memory %lld MB", peakKb / 1024);
    // The check holds at most its bound (150 MiB) of what it reads, beside what the program holds anyway.
    QVERIFY2(peakKb > 0 && peakKb < 200 * 1024, peak.constData());

    QElapsedTimer ending;
    ending.start();
    ::kill(pid_t(tandrel.processId()), SIGTERM);
    QVERIFY(tandrel.waitForFinished(10'000));
    qInfo("ended %lld ms after SIGTERM", ending.elapsed());
    QVERIFY2(ending.elapsed() < 2000, qPrintable(QString::number(ending.elapsed())));
    QCOMPARE(tandrel.exitStatus(), QProcess::NormalExit);
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
