#include "DesktopMailProgram.h"
#include "FixedScreenMetrics.h"
#include "ListViewProbe.h"
#include "RecordingShellOpenService.h"
#include "RecordingSoundService.h"
#include "ScriptedMessageBoxService.h"
#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "ui/frmArrival.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

AccountEntry Account(const char* title, const char* user, const char* server)
{
    AccountEntry entry;
    entry.UserTitle = QString::fromUtf8(title);
    entry.PopAccount = QString::fromUtf8(user);
    entry.PopPasswd = QStringLiteral("never shown");
    entry.PopServer = QString::fromUtf8(server);
    entry.PopPort = 1110;
    entry.CheckInterval = 5;
    entry.Enabled = true;
    return entry;
}

// Each row as "title|subject|from|date#account", in list order.
QStringList Rows(const frmArrival& window)
{
    QStringList rows;
    for (int i = 0; i < window.lvArrival->RowCount(); ++i)
        rows << QStringLiteral("%1|%2|%3|%4#%5")
                    .arg(window.lvArrival->CellText(i, 0), window.lvArrival->CellText(i, 1),
                        window.lvArrival->CellText(i, 2), window.lvArrival->CellText(i, 3))
                    .arg(window.lvArrival->RowTag(i));
    return rows;
}

void Tick(const frmArrival& window)
{
    QVERIFY(window.tmrDisappear);
    QVERIFY(window.tmrDisappear->isActive());
    QVERIFY(QMetaObject::invokeMethod(window.tmrDisappear, "timeout"));
}

// What the countdown shows: its caption, "hidden", or "closed" once unloaded.
QString Countdown(const frmArrival& window)
{
    if (!window.IsLoaded())
        return QStringLiteral("closed");
    if (window.lblDisappear->isHidden())
        return QStringLiteral("hidden");
    return window.lblDisappear->text();
}

QPoint RowCentre(const frmArrival& window, int index)
{
    return window.lvArrival->visualRect(window.lvArrival->model()->index(index, 0)).center();
}

} // namespace

class tst_frmArrival : public QObject {
    Q_OBJECT

private:
    // 1024 x 768 at 96 DPI with a 40 px panel at the bottom.
    FixedScreenMetrics m_screen { QRect(0, 0, 1024, 768), QRect(0, 0, 1024, 728) };
    RecordingSoundService m_sound;

private Q_SLOTS:
    void init()
    {
        Accounts.clear();
        Accounts.push_back(Account("Home", "taro", "pop.home.example"));
        Accounts.push_back(Account("Work", "t.yamada", "mail.work.example"));
        Accounts.push_back(Account("Club", "club", "pop.club.example"));
        SetOptionDefaults();
        CommonSettings.ShowArrivalFormTime = 0;
        CommonSettings.ArrivalFormPosition = 2;
        CommonSettings.ArrivalSound.clear();
        m_sound.played.clear();
    }

    void loadBuildsTheFaceHidden()
    {
        frmArrival window;
        QVERIFY(!window.IsLoaded());
        window.Load();
        QVERIFY(window.IsLoaded());
        QVERIFY(!window.isVisible());
        QCOMPARE(window.size(), QSize(430, 181));
        QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(window.lblTitle->text(), QStringLiteral("タンドレル"));
        QCOMPARE(window.lblTitle->textFormat(), Qt::PlainText);
        QCOMPARE(window.lblTitle->pos(), QPoint(26, 6));
        QCOMPARE(window.lblTitle->height(), 12);
        QVERIFY(window.lblDisappear->isHidden());
        QCOMPARE(window.lblDisappear->geometry(), QRect(370, 6, 26, 12));
        QCOMPARE(window.lblClose[0]->geometry(), QRect(396, 2, 31, 13));
        QCOMPARE(window.lblClose[1]->geometry(), QRect(2, 0, 21, 21));
        QCOMPARE(window.lvArrival->geometry(), QRect(8, 24, 415, 147));
        QVERIFY(!window.tmrDisappear->isActive());
        QCOMPARE(window.tmrDisappear->interval(), 1000);

        QCOMPARE(window.lvArrival->HeaderText(0), QStringLiteral("USER-TITLE"));
        QCOMPARE(window.lvArrival->HeaderText(1), QStringLiteral("SUBJECT"));
        QCOMPARE(window.lvArrival->HeaderText(2), QStringLiteral("FROM"));
        QCOMPARE(window.lvArrival->HeaderText(3), QStringLiteral("DATE"));
        QCOMPARE(window.lvArrival->columnWidth(0), 80);
        QCOMPARE(window.lvArrival->columnWidth(1), 133);
        QCOMPARE(window.lvArrival->columnWidth(2), 96);
        // 6225 - 1200 - 1995 - 1440 - 84 twips is 100.4 px.
        QCOMPARE(window.lvArrival->columnWidth(3), 100);
    }

    void placedAtTheConfiguredCorner_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QPoint>("expected");

        QTest::newRow("centre") << 1 << QPoint(297, 294);
        QTest::newRow("bottom right above the panel") << 2 << QPoint(594, 547);
        QTest::newRow("top right") << 3 << QPoint(594, 0);
        QTest::newRow("bottom left above the panel") << 4 << QPoint(0, 547);
        QTest::newRow("top left") << 5 << QPoint(0, 0);
    }

    void placedAtTheConfiguredCorner()
    {
        QFETCH(int, position);
        QFETCH(QPoint, expected);
        CommonSettings.ArrivalFormPosition = position;
        frmArrival window;
        window.ShowForm();
        QCOMPARE(window.pos(), expected);
    }

    void mailArraivalTakesSenderDateSubject()
    {
        frmArrival window;
        window.MailArraival(
            0, QStringLiteral("Bob"), QStringLiteral("03/05/01 12:00:00"), QStringLiteral("Hi"));
        QCOMPARE(Rows(window), QStringList { "Home|Hi|Bob|03/05/01 12:00:00#0" });
        QVERIFY(!window.isVisible());
    }

    void replacingOneAccountsRows_data()
    {
        QTest::addColumn<int>("account");
        QTest::addColumn<QStringList>("rows");

        QTest::newRow("second check of Home replaces only Home's rows")
            << 0 << QStringList { "Work|w1|b@w|#1", "Club|c1|c@c|#2", "Home|new|x@h|#0" };
        QTest::newRow("the middle account's row goes, the others keep their order")
            << 1 << QStringList { "Home|h1|a@h|#0", "Home|h2|a@h|#0", "Club|c1|c@c|#2", "Work|new|x@h|#1" };
        QTest::newRow("an account without rows only adds")
            << 5
            << QStringList { "Home|h1|a@h|#0", "Home|h2|a@h|#0", "Work|w1|b@w|#1", "Club|c1|c@c|#2",
                   "|new|x@h|#5" };
    }

    void replacingOneAccountsRows()
    {
        QFETCH(int, account);
        QFETCH(QStringList, rows);
        frmArrival window;
        window.RemoveMail(0);
        window.MailArraival(0, QStringLiteral("a@h"), QString(), QStringLiteral("h1"));
        window.MailArraival(0, QStringLiteral("a@h"), QString(), QStringLiteral("h2"));
        window.RemoveMail(1);
        window.MailArraival(1, QStringLiteral("b@w"), QString(), QStringLiteral("w1"));
        window.MailArraival(2, QStringLiteral("c@c"), QString(), QStringLiteral("c1"));
        window.ShowForm();

        window.RemoveMail(account);
        window.MailArraival(account, QStringLiteral("x@h"), QString(), QStringLiteral("new"));
        window.ShowForm();
        QCOMPARE(Rows(window), rows);
    }

    void untrustedTextStaysText()
    {
        Accounts[0].UserTitle = QStringLiteral("<i>Home</i>");
        frmArrival window;
        window.MailArraival(
            0, QStringLiteral("<a href=\"x\">Bob</a>"), QString(), QStringLiteral("<b>x</b>"));
        QCOMPARE(Rows(window), QStringList { "<i>Home</i>|<b>x</b>|<a href=\"x\">Bob</a>|#0" });
    }

    void countdown_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QStringList>("shown");

        const QStringList fiveDown { "show", "tick", "tick", "tick", "tick", "tick" };
        const QStringList fiveShown { "(5)", "(4)", "(3)", "(2)", "(1)", "closed" };
        QTest::newRow("5 seconds close at the fifth tick") << 5 << fiveDown << fiveShown;
        QTest::newRow("-5 counts as 5") << -5 << fiveDown << fiveShown;
        QTest::newRow("a second show restarts from 5")
            << 5 << QStringList { "show", "tick", "tick", "show", "tick" }
            << QStringList { "(5)", "(4)", "(3)", "(5)", "(4)" };
        QTest::newRow("a second show restarts from -5 at the full 5")
            << -5 << QStringList { "show", "tick", "tick", "tick", "show" }
            << QStringList { "(5)", "(4)", "(3)", "(2)", "(5)" };
        QTest::newRow("restarted countdown closes five ticks after the second show")
            << 5 << QStringList { "show", "tick", "show", "tick", "tick", "tick", "tick", "tick" }
            << QStringList { "(5)", "(4)", "(5)", "(4)", "(3)", "(2)", "(1)", "closed" };
        QTest::newRow("1 second closes at the first tick")
            << 1 << QStringList { "show", "tick" } << QStringList { "(1)", "closed" };
        QTest::newRow("0 shows no countdown and stays")
            << 0 << QStringList { "show", "show" } << QStringList { "hidden", "hidden" };
    }

    void countdown()
    {
        QFETCH(int, seconds);
        QFETCH(QStringList, script);
        QFETCH(QStringList, shown);
        CommonSettings.ShowArrivalFormTime = seconds;
        frmArrival window;
        window.MailArraival(0, QStringLiteral("Bob"), QString(), QStringLiteral("Hi"));
        for (qsizetype i = 0; i < script.size(); ++i) {
            if (script[i] == QLatin1String("show"))
                window.ShowForm();
            else
                Tick(window);
            QCOMPARE(Countdown(window), shown[i]);
            if (window.IsLoaded()) {
                QVERIFY(window.isVisible());
                QCOMPARE(window.tmrDisappear->isActive(), seconds != 0);
                if (seconds != 0)
                    QCOMPARE(window.lblDisappear->property("Tag").toString(), shown[i].mid(1).chopped(1));
            } else {
                QVERIFY(!window.isVisible());
            }
        }
    }

    void thirtySecondsRestartAfterTwenty()
    {
        CommonSettings.ShowArrivalFormTime = 30;
        frmArrival window;
        window.ShowForm();
        for (int i = 0; i < 20; ++i)
            Tick(window);
        QCOMPARE(Countdown(window), QStringLiteral("(10)"));
        window.ShowForm();
        QCOMPARE(Countdown(window), QStringLiteral("(30)"));
        for (int i = 0; i < 29; ++i)
            Tick(window);
        QCOMPARE(Countdown(window), QStringLiteral("(1)"));
        Tick(window);
        QCOMPARE(Countdown(window), QStringLiteral("closed"));
    }

    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("closes");

        QTest::newRow("Alt+F4 closes") << int(Qt::Key_F4) << int(Qt::AltModifier) << true;
        QTest::newRow("Ctrl+Alt+F4 does not")
            << int(Qt::Key_F4) << int(Qt::ControlModifier | Qt::AltModifier) << false;
        QTest::newRow("Shift+Alt+F4 does not")
            << int(Qt::Key_F4) << int(Qt::ShiftModifier | Qt::AltModifier) << false;
        QTest::newRow("F4 alone does not") << int(Qt::Key_F4) << int(Qt::NoModifier) << false;
        QTest::newRow("Ctrl+F4 does not") << int(Qt::Key_F4) << int(Qt::ControlModifier) << false;
        QTest::newRow("Alt+F5 does not") << int(Qt::Key_F5) << int(Qt::AltModifier) << false;
        QTest::newRow("Escape does not") << int(Qt::Key_Escape) << int(Qt::NoModifier) << false;
    }

    void keys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, closes);
        frmArrival window;
        window.MailArraival(0, QStringLiteral("Bob"), QString(), QStringLiteral("Hi"));
        window.ShowForm();
        // The list has the focus: the window still sees the key first.
        QTest::keyClick(window.lvArrival, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(!window.IsLoaded(), closes);
        QCOMPARE(window.isVisible(), !closes);
        if (!closes) {
            QTest::keyClick(&window, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
            QVERIFY(window.IsLoaded());
        }
    }

    void closeAreas_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("boxes at the right of the band") << 0;
        QTest::newRow("icon at the left of the band") << 1;
    }

    void closeAreas()
    {
        QFETCH(int, index);
        frmArrival window;
        window.ShowForm();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::mouseClick(window.lblClose[index], Qt::LeftButton);
        QVERIFY(!window.IsLoaded());
        QVERIFY(!window.isVisible());
    }

    void titleClickDoesNotClose()
    {
        frmArrival window;
        window.ShowForm();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::mouseClick(window.lblTitle, Qt::LeftButton);
        QTest::mouseClick(window.lblClose[0], Qt::RightButton);
        QVERIFY(window.IsLoaded());
    }

    void detailsMessage_data()
    {
        QTest::addColumn<int>("account");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("text");

        QTest::newRow("Home, Hi from Bob")
            << 0 << "Hi"
            << "USER-TITLE : Home\r\n\r\nSUBJECT : Hi\r\nFROM : Bob\r\nDATE : 03/05/01 12:00:00\r\n\r\n"
               "POP-ACCOUNT : taro\r\nPOP-SERVER : pop.home.example\r\n";
        QTest::newRow("markup in the subject is shown as typed")
            << 1 << "<b>x</b>"
            << "USER-TITLE : Work\r\n\r\nSUBJECT : <b>x</b>\r\nFROM : Bob\r\nDATE : 03/05/01 12:00:00\r\n\r\n"
               "POP-ACCOUNT : t.yamada\r\nPOP-SERVER : mail.work.example\r\n";
    }

    void detailsMessage()
    {
        QFETCH(int, account);
        QFETCH(QString, subject);
        QFETCH(QString, text);
        ScriptedMessageBoxService boxes;
        frmArrival window;
        window.MailArraival(account, QStringLiteral("Bob"), QStringLiteral("03/05/01 12:00:00"), subject);
        window.ShowForm();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QTest::mouseClick(window.lvArrival->viewport(), Qt::RightButton, {}, RowCentre(window, 0));
        QTRY_COMPARE(boxes.shown().size(), 1);
        const ScriptedMessageBoxService::Shown& box = boxes.shown().at(0);
        QCOMPARE(box.text, text);
        QCOMPARE(box.icon, MessageBoxService::Icon::Information);
        QCOMPARE(box.buttons, MessageBoxService::Buttons::Ok);
        QCOMPARE(box.title, QStringLiteral("タンドレル"));
        QVERIFY(!box.text.contains(QStringLiteral("never shown")));
    }

    void detailsOfADeletedAccountStillShowItsValues()
    {
        ScriptedMessageBoxService boxes;
        frmArrival window;
        window.MailArraival(2, QStringLiteral("Bob"), QString(), QStringLiteral("Hi"));
        window.ShowForm();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Accounts[2].Deleted = true;
        QTest::mouseClick(window.lvArrival->viewport(), Qt::RightButton, {}, RowCentre(window, 0));
        QTRY_COMPARE(boxes.shown().size(), 1);
        QVERIFY(boxes.shown().at(0).text.startsWith(QStringLiteral("USER-TITLE : Club\r\n")));
        QVERIFY(boxes.shown().at(0).text.endsWith(QStringLiteral("POP-SERVER : pop.club.example\r\n")));
    }

    void detailsOnlyForARightClickOnASelectedRow()
    {
        ScriptedMessageBoxService boxes;
        frmArrival window;
        window.MailArraival(0, QStringLiteral("Bob"), QString(), QStringLiteral("Hi"));
        window.ShowForm();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint empty(200, window.lvArrival->viewport()->height() - 5);
        QTest::mouseClick(window.lvArrival->viewport(), Qt::RightButton, {}, empty);
        QTest::mouseClick(window.lvArrival->viewport(), Qt::LeftButton, {}, RowCentre(window, 0));
        QTest::mouseClick(window.lvArrival->viewport(), Qt::MiddleButton, {}, RowCentre(window, 0));
        // A right click queued after the others proves they were all handled.
        QTest::mouseClick(window.lvArrival->viewport(), Qt::RightButton, {}, RowCentre(window, 0));
        QTRY_COMPARE(boxes.shown().size(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(boxes.shown().size(), 1);
    }

    void openMail_data()
    {
        QTest::addColumn<QString>("own"); // the account's OpenMailWith
        QTest::addColumn<QString>("common");
        QTest::addColumn<QString>("oauth"); // "provider address" of an OAuth2 account; empty: a password one
        QTest::addColumn<QString>("desktopExec"); // the desktop mail program's arguments; empty: none
        QTest::addColumn<bool>("byEnter"); // else a double-click
        QTest::addColumn<QStringList>("opened"); // the browser's address, what the script got, or the box
        const auto row = [](const char* name, const QString& own, const char* common, const char* oauth,
                             const char* desktopExec, bool byEnter, const QStringList& opened) {
            QTest::newRow(name) << own << QString::fromUtf8(common) << QString::fromUtf8(oauth)
                                << QString::fromUtf8(desktopExec) << byEnter << opened;
        };
        const QString script = u'"' + DesktopMailProgram::Script() + u'"';
        row("account's own command line wins over [Common]", script + " -inbox \"My Box\"",
            "https://mail.example.jp/", "", "%u", false, { "started", "-inbox", "My Box" });
        row("[Common] web address wins over the provider's webmail", "", "https://mail.example.jp/",
            "Google taro@gmail.com", "", true, { "https://mail.example.jp/" });
        row("Google webmail for the address, encoded", "", "", "Google taro+news@example.jp", "%u", false,
            { "https://mail.google.com/mail/u/?authuser=taro%2Bnews%40example.jp" });
        row("Microsoft personal address: outlook.live.com", "", "", "Microsoft taro@hotmail.co.jp", "", false,
            { "https://outlook.live.com/mail/" });
        row("Microsoft work address: outlook.office.com", "", "", "Microsoft taro@contoso.example", "", false,
            { "https://outlook.office.com/mail/" });
        row("desktop's mail program, started without the address", "", "", "Custom x@example.jp", "-mail %u",
            true, { "started", "-mail" });
        row("nothing found: told in plain words what to set, the window stays", "", "", "", "", false,
            { "メールを開くものが見つかりません。", "", "次のどちらかを設定してください。",
                "・オプションの「新着メールを開く」に、", "　メールプログラムかウェブメールのアドレス",
                "・デスクトップの設定で、既定のメールプログラム" });
        row("command that does not start: told, naming it", "/nonexistent/mail --inbox", "", "", "%u", false,
            { "メールを開けませんでした。", "", "アカウントの OpenMailWith=", "/nonexistent/mail --inbox" });
    }

    void openMail()
    {
        QFETCH(QString, own);
        QFETCH(QString, common);
        QFETCH(QString, oauth);
        QFETCH(QString, desktopExec);
        QFETCH(bool, byEnter);
        QFETCH(QStringList, opened);
        DesktopMailProgram desktop;
        if (!desktopExec.isEmpty())
            QVERIFY(desktop.SetDefault(desktopExec));
        RecordingShellOpenService browser;
        ScriptedMessageBoxService boxes;
        Accounts[1].OpenMailWith = own;
        CommonSettings.OpenMailWith = common;
        Accounts[1].OAuthProvider = oauth.section(u' ', 0, 0);
        Accounts[1].PopAccount = oauth.section(u' ', 1);
        Accounts[1].Secret = oauth.isEmpty() ? SecretState::InFile : SecretState::OAuth2;
        frmArrival window;
        window.MailArraival(0, QStringLiteral("Bob"), QString(), QStringLiteral("other account"));
        window.MailArraival(1, QStringLiteral("Ann"), QString(), QStringLiteral("Hi"));
        window.ShowForm();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        if (byEnter) {
            QTest::mouseClick(window.lvArrival->viewport(), Qt::LeftButton, {}, RowCentre(window, 1));
            QTest::keyClick(window.lvArrival, Qt::Key_Return);
        } else {
            QTest::mouseDClick(window.lvArrival->viewport(), Qt::LeftButton, {}, RowCentre(window, 1));
        }
        if (opened.first().startsWith(u"http")) {
            QCOMPARE(browser.opened, QList<QUrl> { QUrl(opened.first()) });
            QCOMPARE(browser.opened.first().toEncoded(), opened.first().toUtf8());
        } else if (opened.first() == u"started") {
            QCOMPARE(desktop.Written("started"), opened);
        } else {
            QTRY_COMPARE(boxes.shown().size(), 1);
            QCOMPARE(boxes.shown().first().text.split(QStringLiteral("\r\n")).first(opened.size()), opened);
            QCOMPARE(boxes.shown().first().icon, MessageBoxService::Icon::Exclamation);
            QCOMPARE(boxes.shown().first().title, QStringLiteral("タンドレル"));
            QVERIFY(window.isVisible());
            QCOMPARE(window.lvArrival->RowCount(), 2);
            return;
        }
        QVERIFY(!window.IsLoaded());
        QVERIFY(boxes.shown().isEmpty());
    }

    void sortToggling_data()
    {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QStringList>("subjects");
        // Once "B" from "ZED@h" arrives: ascending by a later column it goes
        // ahead of rows of equal text, otherwise after them.
        QTest::addColumn<QStringList>("withArrival");

        QTest::newRow("USER-TITLE first sorts descending")
            << QList<int> { 1 } << QStringList { "a", "b", "c" } << QStringList { "a", "b", "B", "c" };
        QTest::newRow("USER-TITLE twice sorts ascending")
            << QList<int> { 1, 1 } << QStringList { "c", "b", "a" } << QStringList { "c", "b", "B", "a" };
        QTest::newRow("SUBJECT first sorts ascending")
            << QList<int> { 2 } << QStringList { "a", "b", "c" } << QStringList { "a", "B", "b", "c" };
        QTest::newRow("SUBJECT twice sorts descending")
            << QList<int> { 2, 2 } << QStringList { "c", "b", "a" } << QStringList { "c", "b", "B", "a" };
        QTest::newRow("DATE then FROM sorts by sender")
            << QList<int> { 4, 3 } << QStringList { "c", "a", "b" } << QStringList { "c", "a", "B", "b" };
    }

    void sortToggling()
    {
        QFETCH(QList<int>, clicks);
        QFETCH(QStringList, subjects);
        QFETCH(QStringList, withArrival);
        frmArrival window;
        window.MailArraival(0, QStringLiteral("zed@h"), QStringLiteral("03/05/02"), QStringLiteral("b"));
        window.MailArraival(2, QStringLiteral("amy@c"), QStringLiteral("03/05/03"), QStringLiteral("c"));
        window.MailArraival(1, QStringLiteral("kim@w"), QStringLiteral("03/05/01"), QStringLiteral("a"));
        window.ShowForm();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QHeaderView* header = window.lvArrival->header();
        for (int column : clicks) {
            const QPoint at(header->sectionViewportPosition(column - 1) + 5, header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        }
        QCOMPARE(ListViewProbe::Texts(*window.lvArrival, 1), subjects);
        window.MailArraival(0, QStringLiteral("ZED@h"), QStringLiteral("03/05/02"), QStringLiteral("B"));
        QCOMPARE(ListViewProbe::Texts(*window.lvArrival, 1), withArrival);
    }

    void showsOnTopWithoutMovingADraggedWindow()
    {
        frmArrival window;
        window.ShowForm();
        QVERIFY(window.isVisible());
        QVERIFY(window.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(window.testAttribute(Qt::WA_ShowWithoutActivating));
        QVERIFY(!window.testAttribute(Qt::WA_QuitOnClose));
        window.move(100, 120); // where the user dragged it
        QCoreApplication::processEvents();
        window.ShowForm();
        QCOMPARE(window.pos(), QPoint(100, 120));
    }

    void reloadsAfterClose()
    {
        CommonSettings.ShowArrivalFormTime = 30;
        frmArrival window;
        window.MailArraival(0, QStringLiteral("Bob"), QString(), QStringLiteral("old"));
        window.ShowForm();
        window.move(100, 120);
        QCoreApplication::processEvents();
        Fun_sortByFirstColumn(window);
        Tick(window);
        window.close();
        QVERIFY(!window.IsLoaded());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        CommonSettings.ArrivalFormPosition = 3;
        window.RemoveMail(1);
        window.MailArraival(1, QStringLiteral("Ann"), QString(), QStringLiteral("new"));
        window.ShowForm();
        QCOMPARE(Rows(window), QStringList { "Work|new|Ann|#1" });
        QCOMPARE(window.pos(), QPoint(594, 0));
        QVERIFY(!window.lvArrival->Sorted());
        QCOMPARE(window.lvArrival->ColumnTag(0), QString());
        QCOMPARE(Countdown(window), QStringLiteral("(30)"));
        // Only one set of controls: the old ones are gone.
        QCOMPARE(window.findChildren<FlatListView*>().size(), 1);
    }

    void arrivalSound_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("sound");
        QTest::addColumn<bool>("plays");

        QTest::newRow("existing WAV file plays") << "Wave"
                                                 << "ding.wav" << true;
        QTest::newRow("folder written with a backslash") << "\\Wave"
                                                         << "ding.wav" << true;
        QTest::newRow("empty sound name plays nothing though the folder exists") << "Wave"
                                                                                 << "" << false;
        QTest::newRow("missing file plays nothing") << "Wave"
                                                    << "gone.wav" << false;
        QTest::newRow("a folder in place of the file plays nothing") << "Wave"
                                                                     << "sub.wav" << false;
        QTest::newRow("missing folder plays nothing") << "Nowhere"
                                                      << "ding.wav" << false;
    }

    void arrivalSound()
    {
        QFETCH(QString, folder);
        QFETCH(QString, sound);
        QFETCH(bool, plays);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("Wave/sub.wav")));
        QFile wav(dir.filePath(QStringLiteral("Wave/ding.wav")));
        QVERIFY(wav.open(QIODevice::WriteOnly));
        wav.close();
        CommonSettings.SoundFolder = folder.startsWith(QLatin1Char('\\'))
            ? dir.path() + folder
            : dir.path() + QLatin1Char('/') + folder;
        CommonSettings.ArrivalSound = sound;

        frmArrival window;
        window.ShowForm();
        QCOMPARE(m_sound.played,
            plays ? QStringList { dir.filePath(QStringLiteral("Wave/ding.wav")) } : QStringList {});
    }

private:
    static void Fun_sortByFirstColumn(frmArrival& window)
    {
        Q_EMIT window.lvArrival->ColumnClick(1);
        QVERIFY(window.lvArrival->Sorted());
    }
};

QTEST_MAIN(tst_frmArrival)
#include "tst_frmArrival.moc"
