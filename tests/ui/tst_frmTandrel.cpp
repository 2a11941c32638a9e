#include "ListViewProbe.h"
#include "MainWindowProbe.h"
#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "app/NumericText.h"
#include "mail/MailChecker.h"
#include "mail/SpamMaildir.h"
#include "ui/frmSpamDeleted.h"
#include "ui/frmTandrel.h"

#include "RecordingShellOpenService.h"
#include "RecordingTrayIconService.h"
#include "ScriptedMessageBoxService.h"
#include "TempSettingsFile.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using MainWindowProbe::Buttons;
using MainWindowProbe::Cell;
using MainWindowProbe::Keys;
using MainWindowProbe::Row;
using MainWindowProbe::Tick;

namespace {

AccountEntry Account(const QString& title, qint32 interval, bool enabled = false)
{
    AccountEntry entry;
    entry.UserTitle = title;
    entry.PopAccount = title + QStringLiteral("-user");
    entry.PopPasswd = QStringLiteral("secret");
    entry.PopServer = QStringLiteral("127.0.0.1");
    entry.PopPort = 110;
    entry.CheckInterval = interval;
    entry.Enabled = enabled;
    return entry;
}

// The six editor boxes in tab order: title, account, password, server, port, interval.
void FillEditor(frmTandrel& w, const QStringList& values)
{
    const std::array<QLineEdit*, 6> boxes { w.txtUserTitle, w.txtPopAccount, w.txtPopPasswd, w.txtPopServer,
        w.txtPopPort, w.txtChkInterval };
    for (std::size_t i = 0; i < boxes.size(); ++i)
        boxes[i]->setText(values.value(qsizetype(i)));
}

QStringList EditorTexts(const frmTandrel& w)
{
    return { w.txtUserTitle->text(), w.txtPopAccount->text(), w.txtPopPasswd->text(), w.txtPopServer->text(),
        w.txtPopPort->text(), w.txtChkInterval->text() };
}

const QString InvalidDataText = QStringLiteral("データが不正か、もくしは入力されていません。");
const QString DeleteQuestion = QStringLiteral("このアカウント情報を削除してもよろしいですか？");

} // namespace

class tst_frmTandrel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void controlsAsDesigned_data();
    void controlsAsDesigned();
    void menusAsDesigned();
    void tabOrder();

    void validation_data();
    void validation();

    void registerStoresNumbers_data();
    void registerStoresNumbers();
    void registerAppendsNextIndex_data();
    void registerAppendsNextIndex();

    void updateAppliesCountdownRule_data();
    void updateAppliesCountdownRule();
    void protocolChoice_data();
    void protocolChoice();

    void deleteAsksFirst_data();
    void deleteAsksFirst();

    void rowClickLoadsEditor();
    void newEntryResetsEditor();
    void checkBoxChangesOnlyMemory();
    void headerClicksSort();
    void focusSelectsWholeText();
    void untrustedTextStaysLiteral_data();
    void untrustedTextStaysLiteral();

    void closeRequest_data();
    void closeRequest();
    void minimiseHidesOnlyWithTray_data();
    void minimiseHidesOnlyWithTray();
    void startMinimized_data();
    void startMinimized();
    void trayEntryFromLoadToEnd();
    void trayClicks_data();
    void trayClicks();
    void deletedSpamListed_data();
    void deletedSpamListed();

private:
    std::unique_ptr<TempSettingsFile> m_settings;
    std::unique_ptr<ScriptedMessageBoxService> m_boxes;
    std::unique_ptr<RecordingTrayIconService> m_tray;
};

void tst_frmTandrel::init()
{
    m_settings = std::make_unique<TempSettingsFile>();
    m_boxes = std::make_unique<ScriptedMessageBoxService>();
    m_tray = std::make_unique<RecordingTrayIconService>();
    m_tray->available = false;
    Accounts.clear();
    SetOptionDefaults();
}

void tst_frmTandrel::cleanup()
{
    Accounts.clear();
    m_boxes.reset();
    m_tray.reset();
    m_settings.reset();
}

void tst_frmTandrel::controlsAsDesigned_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("account list") << "lvPopList" << QRect(4, 6, 521, 193) << QString() << true;
    QTest::newRow("title box") << "txtUserTitle" << QRect(106, 208, 137, 18) << QString() << true;
    QTest::newRow("account box") << "txtPopAccount" << QRect(106, 226, 137, 18) << QString() << true;
    QTest::newRow("password box") << "txtPopPasswd" << QRect(106, 244, 137, 18) << QString() << true;
    QTest::newRow("server box") << "txtPopServer" << QRect(390, 208, 137, 18) << QString() << true;
    QTest::newRow("port box") << "txtPopPort" << QRect(390, 226, 137, 18) << QString() << true;
    QTest::newRow("interval box") << "txtChkInterval" << QRect(390, 244, 137, 18) << QString() << true;
    QTest::newRow("register button enabled at start")
        << "btnAction0" << QRect(6, 266, 173, 22) << QStringLiteral("新規登録(&N)") << true;
    QTest::newRow("update button disabled at start")
        << "btnAction1" << QRect(179, 266, 173, 22) << QStringLiteral("更新(&U)") << false;
    QTest::newRow("delete button disabled at start")
        << "btnAction2" << QRect(352, 266, 173, 22) << QStringLiteral("削除(&D)") << false;
    QTest::newRow("guide 0 before the title")
        << "lblGuide0" << QRect(4, 212, -1, -1) << QStringLiteral("USER-TITLE(&R)") << true;
    QTest::newRow("guide 1 before the account")
        << "lblGuide1" << QRect(4, 230, -1, -1) << QStringLiteral("POP-ACCOUNT(&A)") << true;
    QTest::newRow("guide 2 before the server")
        << "lblGuide2" << QRect(252, 212, -1, -1) << QStringLiteral("POP-SERVER(&S)") << true;
    QTest::newRow("guide 3 before the interval")
        << "lblGuide3" << QRect(252, 248, -1, -1) << QStringLiteral("CHECK INTERVAL(MIN)(&I)") << true;
    QTest::newRow("guide 4 before the password")
        << "lblGuide4" << QRect(4, 248, -1, -1) << QStringLiteral("POP-PASSWD(&P)") << true;
    QTest::newRow("guide 5 before the port")
        << "lblGuide5" << QRect(252, 230, -1, -1) << QStringLiteral("POP-PORT(&O)") << true;
    QTest::newRow("protocol box named for a screen reader, not only by its value")
        << "cmbProtocol" << QRect(326, 226, 60, 18) << QStringLiteral("受信方法") << true;
}

void tst_frmTandrel::controlsAsDesigned()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);

    frmTandrel w;
    auto* control = w.findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->pos(), geometry.topLeft());
    if (geometry.width() > 0)
        QCOMPARE(control->size(), geometry.size());
    QCOMPARE(control->isEnabled(), enabled);
    if (auto* button = qobject_cast<QPushButton*>(control))
        QCOMPARE(button->text(), caption);
    if (qobject_cast<QComboBox*>(control))
        QCOMPARE(control->accessibleName(), caption);
    if (auto* label = qobject_cast<QLabel*>(control)) {
        QCOMPARE(label->text(), caption);
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QVERIFY(qobject_cast<QLineEdit*>(label->buddy()));
    }
}

void tst_frmTandrel::menusAsDesigned()
{
    frmTandrel w;
    QCOMPARE(w.centralWidget()->size(), QSize(532, 290));
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    QCOMPARE(w.txtPopPasswd->echoMode(), QLineEdit::Password);

    QStringList bar;
    for (QAction* a : w.menuBar()->actions())
        bar << a->text();
    QCOMPARE(bar, QStringList({ "ﾌｧｲﾙ(&F)", "ﾂｰﾙ(&T)", "ﾍﾙﾌﾟ(&H)" }));

    auto texts = [](QMenu* menu) {
        QStringList list;
        for (QAction* a : menu->actions())
            list << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return list;
    };
    QCOMPARE(texts(w.mnuFile), QStringList({ "新規作成(&N)", "-", "終了(&X)" }));
    QCOMPARE(texts(w.mnuTool),
        QStringList({ "ﾒｰﾙﾁｪｯｸ(&C)", "-", "ｵﾌﾟｼｮﾝ(&O)...", "保存したｽﾊﾟﾑ(&D)...", "OAuth2 ｻｲﾝｲﾝ(&S)..." }));
    QCOMPARE(texts(w.mnuHelp), QStringList({ "ﾊﾞｰｼﾞｮﾝ(&A)..." }));
    QCOMPARE(texts(w.mnuTaskTray),
        QStringList({ "開く(&O)", "-", "ﾒｰﾙﾁｪｯｸ(&M)", "保存したｽﾊﾟﾑ(&D)...", "-", "閉じる(&X)" }));
    QCOMPARE(w.mnuAddNew->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));

    QStringList headers;
    for (int c = 0; c < w.lvPopList->columnCount(); ++c)
        headers << w.lvPopList->HeaderText(c);
    QCOMPARE(headers, QStringList({ "USER-TITLE", "NEXT CHECK", "STATUS" }));
    QCOMPARE(w.lvPopList->columnWidth(0), 133);
    QCOMPARE(w.lvPopList->columnWidth(1), 96);
}

void tst_frmTandrel::tabOrder()
{
    frmTandrel w;
    const QList<QWidget*> expected { w.txtUserTitle, w.txtPopAccount, w.txtPopPasswd, w.txtPopServer,
        w.cmbProtocol, w.txtPopPort, w.txtChkInterval, w.btnAction[0], w.btnAction[1], w.btnAction[2],
        w.lvPopList };
    // Walk the chain as the Tab key does: over the widgets that take focus.
    auto nextStop = [](QWidget* from) {
        QWidget* next = from->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        return next;
    };
    for (qsizetype i = 0; i + 1 < expected.size(); ++i)
        QCOMPARE(nextStop(expected[i]), expected[i + 1]);
}

void tst_frmTandrel::validation_data()
{
    QTest::addColumn<QStringList>("editor");
    QTest::addColumn<QString>("focused"); // empty: the data is accepted

    const QString ok = QString();
    QTest::newRow("every field filled") << QStringList { "t", "taro", "pw", "pop.example", "110", "5" } << ok;
    QTest::newRow("empty title is accepted")
        << QStringList { "", "taro", "pw", "pop.example", "110", "5" } << ok;
    QTest::newRow("account of blanks only")
        << QStringList { "t", "   ", "pw", "pop.example", "110", "5" } << "txtPopAccount";
    QTest::newRow("password missing")
        << QStringList { "t", "taro", "", "pop.example", "110", "5" } << "txtPopPasswd";
    QTest::newRow("server of blanks only")
        << QStringList { "t", "taro", "pw", "  ", "110", "5" } << "txtPopServer";
    QTest::newRow("port of letters") << QStringList { "t", "taro", "pw", "pop.example", "abc", "5" }
                                     << "txtPopPort";
    QTest::newRow("interval missing")
        << QStringList { "t", "taro", "pw", "pop.example", "110", "" } << "txtChkInterval";
    QTest::newRow("account blank and port of letters: only the account is reported")
        << QStringList { "t", "", "pw", "pop.example", "abc", "5" } << "txtPopAccount";
    QTest::newRow("port beyond 32 bits")
        << QStringList { "t", "taro", "pw", "pop.example", "99999999999", "5" } << "txtPopPort";
    QTest::newRow("port with trailing letters")
        << QStringList { "t", "taro", "pw", "pop.example", "110x", "5" } << "txtPopPort";
    QTest::newRow("interval with blanks around and an exponent")
        << QStringList { "t", "taro", "pw", "pop.example", "110", " 1e1 " } << ok;
}

void tst_frmTandrel::validation()
{
    QFETCH(QStringList, editor);
    QFETCH(QString, focused);

    frmTandrel w;
    FillEditor(w, editor);
    const bool accepted = w.IsValidData();
    QCOMPARE(accepted, focused.isEmpty());
    if (accepted) {
        QVERIFY(m_boxes->shown().isEmpty());
        return;
    }
    QCOMPARE(m_boxes->shown().size(), 1);
    const auto& box = m_boxes->shown().front();
    QCOMPARE(box.text, InvalidDataText);
    QCOMPARE(box.icon, MessageBoxService::Icon::Exclamation);
    QCOMPARE(box.buttons, MessageBoxService::Buttons::Ok);
    QCOMPARE(box.title, QStringLiteral("タンドレル"));
    QVERIFY(w.focusWidget());
    QCOMPARE(w.focusWidget()->objectName(), focused);

    // A refused registration stores and saves nothing.
    w.btnAction_Click(0);
    QVERIFY(Accounts.empty());
    QVERIFY(!m_settings->exists());
}

void tst_frmTandrel::registerStoresNumbers_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("interval");
    QTest::addColumn<qint32>("storedPort");
    QTest::addColumn<qint32>("storedInterval");

    QTest::newRow("port 2.5 rounds down to the even 2") << "2.5"
                                                        << "5" << 2 << 5;
    QTest::newRow("port 3.5 rounds up to the even 4") << "3.5"
                                                      << "5" << 4 << 5;
    QTest::newRow("interval 7.5 rounds to 8") << "110"
                                              << "7.5" << 110 << 8;
    QTest::newRow("interval with leading blanks") << "110"
                                                  << "  15" << 110 << 15;
    QTest::newRow("negative interval kept as typed") << "995"
                                                     << "-3" << 995 << -3;
}

void tst_frmTandrel::registerStoresNumbers()
{
    QFETCH(QString, port);
    QFETCH(QString, interval);
    QFETCH(qint32, storedPort);
    QFETCH(qint32, storedInterval);

    frmTandrel w;
    FillEditor(w, { " Title ", " taro ", "p w", "pop.example", port, interval });
    w.btnAction_Click(0);
    QCOMPARE(Accounts.size(), std::size_t(1));
    const AccountEntry& entry = Accounts.front();
    QCOMPARE(entry.PopPort, storedPort);
    QCOMPARE(entry.CheckInterval, storedInterval);
    // Texts are stored exactly as typed.
    QCOMPARE(entry.UserTitle, QStringLiteral(" Title "));
    QCOMPARE(entry.PopAccount, QStringLiteral(" taro "));
    QCOMPARE(entry.PopPasswd, QStringLiteral("p w"));
    QVERIFY(entry.Enabled);
    QCOMPARE(Cell(w, 0, 1), QString::number(storedInterval));
    QVERIFY(m_settings->exists());
}

void tst_frmTandrel::registerAppendsNextIndex_data()
{
    QTest::addColumn<int>("existing");
    QTest::addColumn<QList<int>>("deleted");
    QTest::addColumn<QString>("keysAfter");

    QTest::newRow("empty table gives account 0") << 0 << QList<int> {} << ":0=0";
    QTest::newRow("after two accounts comes 2") << 2 << QList<int> {} << ":0=0 :1=1 :2=2";
    QTest::newRow("delete of the middle one, then register gives 3")
        << 3 << QList<int> { 1 } << ":0=0 :2=2 :3=3";
    QTest::newRow("deleting the last never reuses its index") << 2 << QList<int> { 1 } << ":0=0 :2=2";
}

void tst_frmTandrel::registerAppendsNextIndex()
{
    QFETCH(int, existing);
    QFETCH(QList<int>, deleted);
    QFETCH(QString, keysAfter);

    for (int i = 0; i < existing; ++i)
        Accounts.push_back(Account(QStringLiteral("acc%1").arg(i), 10));
    frmTandrel w;
    w.SetMailList();
    for (int index : deleted) {
        w.lvPopList_ItemClick(Row(w, index));
        m_boxes->QueueAnswer(MessageBoxService::Answer::Yes);
        w.btnAction_Click(2);
        QCOMPARE(Row(w, index), -1);
        QVERIFY(Accounts[std::size_t(index)].Deleted);
    }
    w.mnuAddNew_Click();
    QCOMPARE(Buttons(w), QStringLiteral("100"));
    FillEditor(w, { "new", "taro", "pw", "pop.example", "110", "5" });
    w.btnAction_Click(0);

    QCOMPARE(Keys(w), keysAfter);
    QCOMPARE(w.CurrentAccountIndex(), existing);
    QCOMPARE(Accounts.size(), std::size_t(existing + 1));
    QVERIFY(Row(w, existing) >= 0);
    QVERIFY(w.lvPopList->IsRowChecked(Row(w, existing)));
    QCOMPARE(Cell(w, existing, 0), QStringLiteral("new"));
    QCOMPARE(Cell(w, existing, 1), QStringLiteral("5"));
    QCOMPARE(Cell(w, existing, 2), QString());
    // Registering stays in new-entry mode with an emptied editor.
    QCOMPARE(Buttons(w), QStringLiteral("100"));
    QCOMPARE(EditorTexts(w), QStringList({ "", "", "", "", "110", "" }));
}

void tst_frmTandrel::updateAppliesCountdownRule_data()
{
    QTest::addColumn<qint32>("interval");
    QTest::addColumn<QString>("countdown");
    QTest::addColumn<QString>("newInterval");
    QTest::addColumn<QString>("countdownAfter");
    QTest::addColumn<QString>("otherAfter"); // the untouched account's row, rebuilt by the same rule

    QTest::newRow("shortened from 25 to 10 shows 10 at once") << 25 << "25"
                                                              << "10"
                                                              << "10"
                                                              << "25";
    QTest::newRow("lengthened from 25 to 60 keeps 25") << 25 << "25"
                                                       << "60"
                                                       << "25"
                                                       << "25";
    QTest::newRow("countdown at 0 takes the new interval") << 25 << "0"
                                                           << "60"
                                                           << "60"
                                                           << "25";
    QTest::newRow("overdue countdown below 0 restarts at the interval") << 5 << "-2"
                                                                        << "10"
                                                                        << "10"
                                                                        << "5";
    QTest::newRow("countdown 7 of 25 cut to 5") << 25 << "7"
                                                << "5"
                                                << "5"
                                                << "7";
}

void tst_frmTandrel::updateAppliesCountdownRule()
{
    QFETCH(qint32, interval);
    QFETCH(QString, countdown);
    QFETCH(QString, newInterval);
    QFETCH(QString, countdownAfter);
    QFETCH(QString, otherAfter);

    Accounts.push_back(Account(QStringLiteral("first"), interval));
    Accounts.push_back(Account(QStringLiteral("second"), interval));
    frmTandrel w;
    w.SetMailList();
    for (qint32 tag : { 0, 1 }) {
        w.SetNextCheckText(tag, countdown);
        w.SetStatusText(tag, QStringLiteral("成功(新着0件)"));
    }

    w.lvPopList_ItemClick(Row(w, 1));
    QCOMPARE(Buttons(w), QStringLiteral("011"));
    QCOMPARE(w.CurrentAccountIndex(), 1);
    w.txtChkInterval->setText(newInterval);
    w.btnAction_Click(1);

    QCOMPARE(Accounts[1].CheckInterval, NumericText::ToInt32(newInterval));
    QCOMPARE(Cell(w, 1, 1), countdownAfter);
    // Only the edited account's outcome is cleared; the other row is untouched.
    QCOMPARE(Cell(w, 1, 2), QString());
    QCOMPARE(Cell(w, 0, 1), otherAfter);
    QCOMPARE(Cell(w, 0, 2), QStringLiteral("成功(新着0件)"));
    QCOMPARE(Buttons(w), QStringLiteral("011"));
    QVERIFY(m_settings->exists());
}

void tst_frmTandrel::protocolChoice_data()
{
    QTest::addColumn<bool>("wasImap");
    QTest::addColumn<QString>("port"); // typed before the choice
    QTest::addColumn<bool>("imap"); // chosen
    QTest::addColumn<QString>("portAfter");
    QTest::newRow("IMAP over POP3's 110: 993, seen list emptied") << false << "110" << true << "993";
    QTest::newRow("IMAP with the port emptied: 993") << false << "" << true << "993";
    QTest::newRow("IMAP keeps the user's own 143") << false << "143" << true << "143";
    QTest::newRow("IMAP over POP3's 995: 993, which IMAP servers offer") << false << "995" << true << "993";
    QTest::newRow("POP3 over 993 stays on TLS: 995") << true << "993" << false << "995";
    QTest::newRow("IMAP account kept as IMAP keeps its seen list") << true << "993" << true << "993";
}

void tst_frmTandrel::protocolChoice()
{
    QFETCH(bool, wasImap);
    QFETCH(QString, port);
    QFETCH(bool, imap);
    QFETCH(QString, portAfter);
    Accounts.push_back(Account(QStringLiteral("a"), 10));
    Accounts[0].Protocol = wasImap ? MailProtocol::Imap : MailProtocol::Pop3;
    Accounts[0].UIDL = QStringList { QStringLiteral("1") };
    frmTandrel w;
    w.SetMailList();
    w.lvPopList_ItemClick(Row(w, 0));
    w.txtPopPort->setText(port);
    w.cmbProtocol->setCurrentIndex(imap ? 1 : 0);
    QCOMPARE(w.txtPopPort->text(), portAfter);
    w.btnAction_Click(1);
    QCOMPARE(Accounts[0].Protocol == MailProtocol::Imap, imap);
    QCOMPARE(Accounts[0].UIDL.isEmpty(), imap != wasImap);
}

void tst_frmTandrel::deleteAsksFirst_data()
{
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("keysAfter");

    QTest::newRow("answered yes: the row goes, the others keep their tags") << true << ":0=0 :2=2";
    QTest::newRow("answered no: nothing changes") << false << ":0=0 :1=1 :2=2";
}

void tst_frmTandrel::deleteAsksFirst()
{
    QFETCH(bool, yes);
    QFETCH(QString, keysAfter);

    for (int i = 0; i < 3; ++i)
        Accounts.push_back(Account(QStringLiteral("acc%1").arg(i), 10, true));
    frmTandrel w;
    w.SetMailList();
    w.lvPopList_ItemClick(Row(w, 1));
    const QStringList editor = EditorTexts(w);
    m_boxes->QueueAnswer(yes ? MessageBoxService::Answer::Yes : MessageBoxService::Answer::No);
    w.btnAction_Click(2);

    QCOMPARE(m_boxes->shown().size(), 1);
    QCOMPARE(m_boxes->shown().front().text, DeleteQuestion);
    QCOMPARE(m_boxes->shown().front().icon, MessageBoxService::Icon::Question);
    QCOMPARE(m_boxes->shown().front().buttons, MessageBoxService::Buttons::YesNo);
    QCOMPARE(m_boxes->shown().front().title, QStringLiteral("タンドレル"));
    QCOMPARE(Keys(w), keysAfter);
    QCOMPARE(Accounts[1].Deleted, yes);
    QCOMPARE(m_settings->exists(), yes);
    // The editor keeps the values and the buttons stay.
    QCOMPARE(EditorTexts(w), editor);
    QCOMPARE(Buttons(w), QStringLiteral("011"));

    // Once deleted, a second delete or an update has nothing left to act on.
    m_boxes->clear();
    w.btnAction_Click(2);
    w.btnAction_Click(1);
    QCOMPARE(m_boxes->shown().isEmpty(), yes);
    QCOMPARE(Keys(w), keysAfter);
}

void tst_frmTandrel::rowClickLoadsEditor()
{
    AccountEntry entry = Account(QStringLiteral("会社"), 15, true);
    entry.PopPort = 995;
    Accounts.push_back(Account(QStringLiteral("other"), 10));
    Accounts.push_back(entry);
    frmTandrel w;
    w.SetMailList();

    w.lvPopList_ItemClick(Row(w, 1));
    QCOMPARE(EditorTexts(w), QStringList({ "会社", "会社-user", "secret", "127.0.0.1", "995", "15" }));
    QCOMPARE(Buttons(w), QStringLiteral("011"));
    QCOMPARE(w.CurrentAccountIndex(), 1);
}

void tst_frmTandrel::newEntryResetsEditor()
{
    Accounts.push_back(Account(QStringLiteral("a"), 10));
    frmTandrel w;
    w.SetMailList();
    w.lvPopList_ItemClick(Row(w, 0));
    w.mnuAddNew->trigger();
    QCOMPARE(w.CurrentAccountIndex(), -1);
    QCOMPARE(Buttons(w), QStringLiteral("100"));
    QCOMPARE(EditorTexts(w), QStringList({ "", "", "", "", "110", "" }));
}

void tst_frmTandrel::checkBoxChangesOnlyMemory()
{
    Accounts.push_back(Account(QStringLiteral("a"), 10, true));
    frmTandrel w;
    w.SetMailList();
    QVERIFY(w.lvPopList->IsRowChecked(Row(w, 0)));

    Tick(w, 0, false);
    QVERIFY(!Accounts[0].Enabled);
    QVERIFY(!m_settings->exists());
    Tick(w, 0, true);
    QVERIFY(Accounts[0].Enabled);
    QVERIFY(!m_settings->exists());
}

void tst_frmTandrel::headerClicksSort()
{
    Accounts.push_back(Account(QStringLiteral("b"), 3));
    Accounts.push_back(Account(QStringLiteral("c"), 1));
    Accounts.push_back(Account(QStringLiteral("a"), 2));
    frmTandrel w;
    w.SetMailList();
    auto order = [&w] { return ListViewProbe::Texts(*w.lvPopList, 0).join(QString()); };
    QCOMPARE(order(), QStringLiteral("bca"));

    const QList<std::pair<int, QString>> clicks {
        { 2, "cab" }, // NEXT CHECK ascending
        { 2, "bac" }, // and descending
        { 1, "abc" }, // a new column sorts ascending
    };
    for (const auto& [column, expected] : clicks) {
        const int section = column - 1;
        const QPoint at(w.lvPopList->header()->sectionViewportPosition(section) + 5, 5);
        QTest::mouseClick(w.lvPopList->header()->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(order(), expected);
    }

    // A row registered later takes its place in the current order.
    FillEditor(w, { "aa", "taro", "pw", "pop.example", "110", "5" });
    w.btnAction_Click(0);
    QCOMPARE(order(), QStringLiteral("aaabc"));
}

void tst_frmTandrel::focusSelectsWholeText()
{
    frmTandrel w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.activateWindow();
    w.txtPopServer->setText(QStringLiteral("pop.example.jp"));
    w.txtPopServer->deselect();
    w.txtPopServer->setFocus(Qt::MouseFocusReason);
    QTRY_COMPARE(w.txtPopServer->selectedText(), QStringLiteral("pop.example.jp"));
}

void tst_frmTandrel::untrustedTextStaysLiteral_data()
{
    QTest::addColumn<QString>("title");
    QTest::newRow("bold markup") << "<b>x</b>";
    QTest::newRow("image tag") << "<img src=\"http://example.invalid/a.png\">";
    QTest::newRow("entity") << "&lt;&amp;";
}

void tst_frmTandrel::untrustedTextStaysLiteral()
{
    QFETCH(QString, title);

    Accounts.push_back(Account(title, 10));
    frmTandrel w;
    w.SetMailList();
    w.SetStatusText(0, title);
    QCOMPARE(Cell(w, 0, 0), title);
    QCOMPARE(Cell(w, 0, 2), title);
    w.lvPopList_ItemClick(Row(w, 0));
    QCOMPARE(w.txtUserTitle->text(), title);
}

void tst_frmTandrel::closeRequest_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<bool>("closedIsMinimized");
    QTest::addColumn<bool>("tray");
    QTest::addColumn<bool>("ends");

    using R = frmTandrel::CloseReason;
    QTest::newRow("close button with the option on hides to the tray")
        << int(R::FormControlMenu) << true << true << false;
    QTest::newRow("close button with the option off ends")
        << int(R::FormControlMenu) << false << true << true;
    QTest::newRow("close button with the option on but no tray ends")
        << int(R::FormControlMenu) << true << false << true;
    QTest::newRow("exit menu with the option on ends") << int(R::ProgramRequest) << true << true << true;
    QTest::newRow("exit menu with the option off ends") << int(R::ProgramRequest) << false << true << true;
    QTest::newRow("session end with the option on ends") << int(R::SessionEnd) << true << true << true;
    QTest::newRow("session end without a tray ends") << int(R::SessionEnd) << true << false << true;
}

void tst_frmTandrel::closeRequest()
{
    QFETCH(int, reason);
    QFETCH(bool, closedIsMinimized);
    QFETCH(bool, tray);
    QFETCH(bool, ends);

    CommonSettings.FormClosedIsMinimized = closedIsMinimized;
    // Unticked, so the start-up check sends nothing anywhere.
    Accounts.push_back(Account(QStringLiteral("kept"), 10));
    Accounts.push_back(Account(QStringLiteral("gone"), 10));
    Accounts[1].Deleted = true;
    m_tray->available = tray;
    frmTandrel w;
    w.Form_Load();
    QTRY_VERIFY(!w.Checker().IsRunning());
    QVERIFY(w.isVisible());
    // A change made only in memory since the last save.
    Tick(w, 0, true);
    QVERIFY(Accounts[0].Enabled);
    QVERIFY(!m_settings->exists());

    QSignalSpy ended(&w, &frmTandrel::programEnded);
    const bool cancelled = w.Form_QueryUnload(frmTandrel::CloseReason(reason));
    QCOMPARE(cancelled, !ends);
    QCOMPARE(w.HasEnded(), ends);
    QCOMPARE(ended.size(), ends ? 1 : 0);
    QVERIFY(!w.isVisible());
    QCOMPARE(m_settings->exists(), ends);
    if (ends) {
        const QByteArray ini = m_settings->read();
        QVERIFY(ini.contains("kept"));
        QVERIFY(!ini.contains("gone"));
        QVERIFY(ini.contains("FormClosedIsMinimized"));
        // A second request after the end does nothing more.
        w.EndProgram(frmTandrel::CloseReason::SessionEnd);
        QCOMPARE(ended.size(), 1);
    }
}

void tst_frmTandrel::minimiseHidesOnlyWithTray_data()
{
    QTest::addColumn<bool>("tray");
    QTest::newRow("with a tray the minimised window hides") << true;
    QTest::newRow("without a tray it stays on the taskbar") << false;
}

void tst_frmTandrel::minimiseHidesOnlyWithTray()
{
    QFETCH(bool, tray);

    m_tray->available = tray;
    frmTandrel w;
    w.Form_Load();
    QVERIFY(w.isVisible());
    w.setWindowState(Qt::WindowMinimized);
    QTRY_COMPARE(w.isVisible(), !tray);
    w.mnuTTOpen_Click();
    QTRY_VERIFY(w.isVisible());
    QVERIFY(!w.isMinimized());
}

void tst_frmTandrel::startMinimized_data()
{
    QTest::addColumn<bool>("tray");
    QTest::addColumn<bool>("visible");
    QTest::newRow("with a tray it starts hidden in the tray") << true << false;
    QTest::newRow("without a tray it starts minimised where the user can reach it") << false << true;
}

void tst_frmTandrel::startMinimized()
{
    QFETCH(bool, tray);
    QFETCH(bool, visible);

    CommonSettings.StartMinimizedWindow = true;
    m_tray->available = tray;
    frmTandrel w;
    w.Form_Load();
    QTRY_COMPARE(w.isVisible(), visible);
    if (visible)
        QVERIFY(w.isMinimized());
    QVERIFY(m_tray->Messages().contains(TrayIconService::NIM_ADD));
}

void tst_frmTandrel::trayEntryFromLoadToEnd()
{
    m_tray->available = true;
    frmTandrel w;
    QVERIFY(m_tray->calls.isEmpty());
    w.Form_Load();

    // Added with the tip first, then modified to carry the idle picture.
    QCOMPARE(m_tray->Messages(), QList<qint32>({ TrayIconService::NIM_ADD, TrayIconService::NIM_MODIFY }));
    const NotifyIconRecord& added = m_tray->calls.front().record;
    QCOMPARE(added.TipText(), QStringLiteral("タンドレル"));
    QCOMPARE(added.hWnd.data(), &w);
    QVERIFY(added.hIcon.isNull());
    QVERIFY(!m_tray->calls.back().record.hIcon.isNull());

    w.SetTray(2, {});
    w.SetTray(1, {});
    QCOMPARE(m_tray->Messages().size(), 4);

    w.mnuExit->trigger();
    QCOMPARE(m_tray->Messages().back(), TrayIconService::NIM_DELETE);
    QCOMPARE(m_tray->Messages().count(TrayIconService::NIM_DELETE), 1);
    // Nothing reaches the tray after the end.
    w.SetTray(2, {});
    QCOMPARE(m_tray->Messages().back(), TrayIconService::NIM_DELETE);
}

void tst_frmTandrel::trayClicks_data()
{
    QTest::addColumn<int>("message");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("menu");

    QTest::newRow("left button down brings the window back") << 513 << true << false;
    QTest::newRow("right button down pops up the tray menu") << 516 << false << true;
    QTest::newRow("left button up does nothing") << 514 << false << false;
    QTest::newRow("double click does nothing") << 515 << false << false;
}

void tst_frmTandrel::trayClicks()
{
    QFETCH(int, message);
    QFETCH(bool, shown);
    QFETCH(bool, menu);

    m_tray->available = true;
    frmTandrel w;
    w.Form_Load();
    w.Form_QueryUnload(frmTandrel::CloseReason::FormControlMenu);
    QVERIFY(!w.isVisible());

    TrayIconService::PostCallback(&w, message);
    QCoreApplication::processEvents();
    if (shown)
        QTRY_VERIFY(w.isVisible());
    else
        QVERIFY(!w.isVisible());
    if (menu)
        QTRY_VERIFY(w.mnuTaskTray->isVisible());
    else
        QVERIFY(!w.mnuTaskTray->isVisible());
    w.mnuTaskTray->hide();

    // A real mouse move at the same x is no click on the icon.
    w.hide();
    QMouseEvent real(QEvent::MouseMove, QPointF(513, 0), QPointF(513, 0), Qt::NoButton, Qt::NoButton, {});
    QCoreApplication::sendEvent(&w, &real);
    QVERIFY(!w.isVisible());
}

void tst_frmTandrel::deletedSpamListed_data()
{
    QTest::addColumn<QString>("file"); // inside the local mailbox
    QTest::addColumn<QString>("state");
    QTest::newRow("deleted, then read in a mail program")
        << u"cur/1765243230.0a1b.deleted:2,S"_qs << "削除済み";
    QTest::newRow("still on the server") << u"new/1765243230.0a1b.onserver"_qs << "サーバーに残っています";
}

void tst_frmTandrel::deletedSpamListed()
{
    QFETCH(QString, file);
    QFETCH(QString, state);
    RecordingShellOpenService shell;
    frmTandrel w;
    // Nothing kept yet: an empty list.
    w.mnuTTSpamDeleted->trigger();
    frmSpamDeleted* list = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        list = list ? list : qobject_cast<frmSpamDeleted*>(top);
    QVERIFY(list && list->isVisible());
    QCOMPARE(list->lvSpamList->RowCount(), 0);
    QFile copy(SpamMaildir::BesideSettings() + u'/' + file);
    QVERIFY(QDir().mkpath(QFileInfo(copy).absolutePath()) && copy.open(QIODevice::WriteOnly));
    // The sender's Date says nothing of when the copy was kept, which orders the list.
    copy.write("From: <b>Ads</b> <ads@example.jp>\nDate: Mon, 01 Jan 2024 09:00:00 +0900\n"
               "Subject: [SPAM] =?UTF-8?B?5LuK44Gg44GR?= cheap watches, cheap bags, cheap everything\n\n"
               "Buy now.\n");
    copy.close();
    // Read again as it opens; the texts as the decoder gives them, as in the arrival window.
    list->close();
    w.mnuSpamDeleted->trigger();
    QCOMPARE(list->lvSpamList->RowCount(), 1);
    QCOMPARE(list->windowTitle(), QStringLiteral("タンドレル - 保存したスパム"));
    const auto& cells = list->lvSpamList->RowAt(0).cells;
    const QString kept = QDateTime(QDate(2025, 12, 9), QTime(1, 20, 30), Qt::UTC)
                             .toLocalTime()
                             .toString(QStringLiteral("yy/MM/dd HH:mm:ss"));
    const QString subject = QStringLiteral("[SPAM] 今だけ cheap watches, cheap bags, cheap everything");
    QCOMPARE(QStringList(cells.begin(), cells.end()),
        QStringList({ kept, "<b>Ads</b> <ads@example.jp>", subject, state }));
    // The subject its column cuts short is there whole when the mouse rests on it.
    QCOMPARE(list->lvSpamList->ToolTipText(0, 2), subject);
    QCOMPARE(list->lvSpamList->ToolTipText(0, 0), QString());
    list->btnAction[0]->click();
    QCOMPARE(shell.opened, QList<QUrl> { QUrl::fromLocalFile(SpamMaildir::BesideSettings()) });
}

QTEST_MAIN(tst_frmTandrel)
#include "tst_frmTandrel.moc"
