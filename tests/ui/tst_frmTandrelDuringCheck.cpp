#include "MainWindowProbe.h"
#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "mail/MailChecker.h"
#include "ui/TrayPictures.h"
#include "ui/frmArrival.h"
#include "ui/frmTandrel.h"

#include "RecordingSoundService.h"
#include "RecordingTrayIconService.h"
#include "ScriptedMessageBoxService.h"
#include "ScriptedPop3Server.h"
#include "TempSettingsFile.h"
#include "TestAccount.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <functional>

using MainWindowProbe::Cell;
using MainWindowProbe::Keys;
using MainWindowProbe::Row;

namespace {

using Server = ScriptedPop3Server;

// One message on the server, its subject written as markup to see it stay text.
QList<Server::Step> OneMessageDialogue(const QByteArray& user)
{
    return {
        Server::Greeting("+OK ready\r\n"),
        Server::Exchange("USER " + user, "+OK\r\n"),
        Server::Exchange("PASS secret", "+OK\r\n"),
        Server::Exchange("STAT ", "+OK 1 120\r\n"),
        Server::Exchange("UIDL 1", "+OK 1 uid-0001\r\n"),
        Server::Exchange("TOP 1 0", "+OK\r\nFrom: a@example.jp\r\nSubject: <b>x</b>\r\n\r\n.\r\n"),
        Server::Exchange("QUIT", "+OK bye\r\n"),
    };
}

} // namespace

class tst_frmTandrelDuringCheck : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void editDuringCheck_data();
    void editDuringCheck();
    void endDuringCheck_data();
    void endDuringCheck();
    void checkCommandsDisabledDuringRun();
    void endWhileTheArrivalWindowShows();
    void trayNamesFailingAccounts_data();
    void trayNamesFailingAccounts();

private:
    std::unique_ptr<TempSettingsFile> m_settings;
    std::unique_ptr<ScriptedMessageBoxService> m_boxes;
    std::unique_ptr<RecordingTrayIconService> m_tray;
    std::unique_ptr<RecordingSoundService> m_sound;
};

void tst_frmTandrelDuringCheck::init()
{
    m_settings = std::make_unique<TempSettingsFile>();
    m_boxes = std::make_unique<ScriptedMessageBoxService>();
    m_tray = std::make_unique<RecordingTrayIconService>();
    m_tray->available = false;
    m_sound = std::make_unique<RecordingSoundService>();
    Accounts.clear();
    SetOptionDefaults();
    // Long enough never to end a check in these tests by itself.
    CommonSettings.PopTimeOut = 120;
}

void tst_frmTandrelDuringCheck::cleanup()
{
    Accounts.clear();
    m_boxes.reset();
    m_tray.reset();
    m_sound.reset();
    m_settings.reset();
}

void tst_frmTandrelDuringCheck::editDuringCheck_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("keysAfter");
    QTest::addColumn<QString>("statusAfter"); // of the checked account's row, if it is still there

    QTest::newRow("registering takes the next index at once") << "register"
                                                              << ":0=0 :1=1 :2=2"
                                                              << "成功(新着1件)";
    QTest::newRow("deleting the account being checked drops its row") << "delete"
                                                                      << ":1=1" << QString();
    QTest::newRow("updating the account being checked") << "update"
                                                        << ":0=0 :1=1"
                                                        << "成功(新着1件)";
    QTest::newRow("new-entry command in the middle") << "addnew"
                                                     << ":0=0 :1=1"
                                                     << "成功(新着1件)";
}

void tst_frmTandrelDuringCheck::editDuringCheck()
{
    QFETCH(QString, action);
    QFETCH(QString, keysAfter);
    QFETCH(QString, statusAfter);

    Server server;
    QVERIFY(server.Listen());
    server.SetDialogue(OneMessageDialogue("taro"));

    AccountEntry checked = TestAccount(server.Port());
    checked.UserTitle = QStringLiteral("checked");
    AccountEntry idle = checked;
    idle.UserTitle = QStringLiteral("idle");
    idle.Enabled = false;
    Accounts.push_back(checked);
    Accounts.push_back(idle);

    frmTandrel w;
    w.SetMailList();
    const AccountEntry* entryInUse = &Accounts[0];

    bool acted = false;
    QString statusDuring;
    connect(&server, &Server::LineReceived, &w, [&](const QByteArray& line) {
        if (acted || !line.startsWith("STAT"))
            return;
        acted = true;
        statusDuring = Cell(w, 0, 2);
        if (action == QLatin1String("register")) {
            w.txtPopAccount->setText(QStringLiteral("jiro"));
            w.txtPopPasswd->setText(QStringLiteral("pw"));
            w.txtPopServer->setText(QStringLiteral("127.0.0.1"));
            w.txtPopPort->setText(QStringLiteral("110"));
            w.txtChkInterval->setText(QStringLiteral("3"));
            w.btnAction_Click(0);
        } else if (action == QLatin1String("delete")) {
            w.lvPopList_ItemClick(Row(w, 0));
            m_boxes->QueueAnswer(MessageBoxService::Answer::Yes);
            w.btnAction_Click(2);
        } else if (action == QLatin1String("update")) {
            w.lvPopList_ItemClick(Row(w, 0));
            w.txtChkInterval->setText(QStringLiteral("2"));
            w.btnAction_Click(1);
        } else if (action == QLatin1String("addnew")) {
            w.mnuAddNew->trigger();
        }
    });

    w.mnuMailCheck_Click();

    QVERIFY(acted);
    QCOMPARE(statusDuring, QStringLiteral("ﾒｰﾙﾁｪｯｸ中"));
    QVERIFY(!w.Checker().IsRunning());
    QVERIFY(server.ClientSentNothingElse());
    QCOMPARE(Keys(w), keysAfter);
    // The entry in use never moved, whatever the table did meanwhile.
    QCOMPARE(&Accounts[0], entryInUse);
    if (!statusAfter.isNull())
        QCOMPARE(Cell(w, 0, 2), statusAfter);
    QCOMPARE(Accounts[0].UIDL, QStringList { QStringLiteral("uid-0001") });
    QCOMPARE(w.mnuMailCheck->isEnabled(), true);
    QCOMPARE(w.mnuTTMailCheck->isEnabled(), true);
    // A deleted account has nobody to announce to; the others show their mail.
    frmArrival* arrival = w.ArrivalForm();
    if (action == QLatin1String("delete")) {
        QVERIFY(!arrival || !arrival->isVisible());
    } else {
        QVERIFY(arrival && arrival->IsLoaded());
        QCOMPARE(arrival->lvArrival->RowCount(), 1);
        QCOMPARE(arrival->lvArrival->CellText(0, 1).trimmed(), QStringLiteral("<b>x</b>"));
    }
    if (action == QLatin1String("register")) {
        QCOMPARE(Accounts.size(), std::size_t(3));
        QCOMPARE(Accounts[2].PopAccount, QStringLiteral("jiro"));
        QCOMPARE(Cell(w, 2, 1), QStringLiteral("3"));
        QVERIFY(m_settings->read().contains("jiro"));
    }
    if (action == QLatin1String("delete"))
        QVERIFY(!m_settings->read().contains("checked"));
}

void tst_frmTandrelDuringCheck::endDuringCheck_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("exit menu") << "exit";
    QTest::newRow("tray menu close") << "trayclose";
    QTest::newRow("session end") << "session";
    QTest::newRow("close button with the option off") << "closebutton";
}

void tst_frmTandrelDuringCheck::endDuringCheck()
{
    QFETCH(QString, how);

    Server server;
    QVERIFY(server.Listen());
    // The server answers PASS and then never again: only the end can stop the wait.
    server.SetDialogue({
        Server::Greeting("+OK ready\r\n"),
        Server::Exchange("USER taro", "+OK\r\n"),
        Server::Exchange("PASS secret", "+OK\r\n", Server::After::Silence),
    });
    CommonSettings.FormClosedIsMinimized = false;

    AccountEntry entry = TestAccount(server.Port());
    entry.UserTitle = QStringLiteral("waiting");
    Accounts.push_back(entry);

    frmTandrel w;
    QSignalSpy ended(&w, &frmTandrel::programEnded);
    connect(&server, &Server::Silenced, &w, [&] {
        if (how == QLatin1String("exit"))
            w.mnuExit->trigger();
        else if (how == QLatin1String("trayclose"))
            w.mnuTTClose->trigger();
        else if (how == QLatin1String("session"))
            w.EndProgram(frmTandrel::CloseReason::SessionEnd);
        else
            w.Form_QueryUnload(frmTandrel::CloseReason::FormControlMenu);
    });

    // The load's start-up check is where the end arrives.
    w.Form_Load();

    QCOMPARE(ended.size(), 1);
    QVERIFY(w.HasEnded());
    QVERIFY(!w.Checker().IsRunning());
    QVERIFY(!w.isVisible());
    QVERIFY(m_settings->read().contains("waiting"));
    // The dropped check never got as far as asking for the mailbox.
    QVERIFY(!server.ReceivedLines().contains("STAT "));
}

void tst_frmTandrelDuringCheck::checkCommandsDisabledDuringRun()
{
    Server server;
    QVERIFY(server.Listen());
    server.SetDialogue(OneMessageDialogue("taro"));
    AccountEntry entry = TestAccount(server.Port());
    entry.UserTitle.clear();
    Accounts.push_back(entry);

    frmTandrel w;
    w.SetMailList();
    QList<bool> seen;
    connect(&server, &Server::LineReceived, &w,
        [&](const QByteArray&) { seen << (w.mnuMailCheck->isEnabled() || w.mnuTTMailCheck->isEnabled()); });
    w.mnuTTMailCheck->trigger();
    QVERIFY(!seen.isEmpty());
    QVERIFY(!seen.contains(true));
    QVERIFY(w.mnuMailCheck->isEnabled());
    QVERIFY(w.mnuTTMailCheck->isEnabled());
    QCOMPARE(Cell(w, 0, 2), QStringLiteral("成功(新着1件)"));
}

void tst_frmTandrelDuringCheck::endWhileTheArrivalWindowShows()
{
    Server server;
    QVERIFY(server.Listen());
    server.SetDialogue(OneMessageDialogue("taro"));
    Accounts.push_back(TestAccount(server.Port()));

    frmTandrel w;
    // QUIT is read by the server while the check shows its window, which
    // runs events: the end comes in the last steps of the check.
    connect(&server, &Server::LineReceived, &w, [&](const QByteArray& line) {
        if (line == "QUIT")
            w.EndProgram(frmTandrel::CloseReason::SessionEnd);
    });
    w.Form_Load();

    QVERIFY(w.HasEnded());
    QVERIFY(m_settings->read().contains("uid-0001"));
}

void tst_frmTandrelDuringCheck::trayNamesFailingAccounts_data()
{
    QTest::addColumn<QString>("then");
    QTest::addColumn<QString>("tip");

    const QString warned = QStringLiteral("タンドレル\nhome: ｴﾗｰ(PASSWD ｴﾗｰ)");
    QTest::newRow("refused password shows the warning and names the account") << "nothing" << warned;
    QTest::newRow("the next successful check clears it") << "success" << QStringLiteral("タンドレル");
    QTest::newRow("unticking the account clears it") << "untick" << QStringLiteral("タンドレル");
}

void tst_frmTandrelDuringCheck::trayNamesFailingAccounts()
{
    QFETCH(QString, then);
    QFETCH(QString, tip);

    Server server;
    QVERIFY(server.Listen());
    server.SetDialogue({ Server::Greeting("+OK ready\r\n"), Server::Exchange("USER taro", "+OK\r\n"),
        Server::Exchange("PASS secret", "-ERR [AUTH] Authentication failed.\r\n") });
    Accounts.push_back(TestAccount(server.Port()));
    frmTandrel w;
    w.Form_Load(); // its start-up check is refused

    if (then == u"success") {
        server.SetDialogue(OneMessageDialogue("taro"));
        w.mnuMailCheck_Click();
    } else if (then == u"untick") {
        w.lvPopList->SetRowChecked(Row(w, 0), false);
        w.lvPopList_ItemCheck(Row(w, 0));
    }

    const NotifyIconRecord& shown = m_tray->calls.back().record;
    QCOMPARE(shown.TipText(), tip);
    const QIcon picture = tip.contains(u'\n') ? TrayPictures::Failing() : TrayPictures::Idle();
    QCOMPARE(shown.hIcon.pixmap(16).toImage(), picture.pixmap(16).toImage());
}

QTEST_MAIN(tst_frmTandrelDuringCheck)
#include "tst_frmTandrelDuringCheck.moc"
