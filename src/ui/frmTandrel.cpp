#include "ui/frmTandrel.h"

#include "accounts/KeyringPasswords.h"
#include "accounts/OAuthProviders.h"
#include "app/AccountTable.h"
#include "app/AppIdentity.h"
#include "app/CommonSettings.h"
#include "app/Fun_UboundEx.h"
#include "app/NumericText.h"
#include "app/TrayPictureCode.h"
#include "mail/MailChecker.h"
#include "mail/NextCheck.h"
#include "mail/SpamMaildir.h"
#include "platform/BusyService.h"
#include "platform/FormPositionCode.h"
#include "platform/MessageBoxService.h"
#include "platform/NetworkWatch.h"
#include "platform/SleepWatch.h"
#include "platform/gui/FlatListView.h"
#include "platform/gui/TrayIconService.h"
#include "ui/FaceFonts.h"
#include "ui/TrayPictures.h"
#include "ui/clsTaskTrayIcon.h"
#include "ui/frmAbout.h"
#include "ui/frmArrival.h"
#include "ui/frmOption.h"
#include "ui/frmSignIn.h"
#include "ui/frmSpamDeleted.h"
#include "ui/helpers/Fun_FormPosition.h"
#include "ui/helpers/Fun_LineWrite3D.h"
#include "ui/helpers/Fun_ListViewOperate.h"
#include "ui/helpers/Fun_SelText.h"
#include "ui/helpers/Fun_TextBoxOperate.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QWindowStateChangeEvent>

namespace {

QString RowKey(qint32 index) { return QStringLiteral(":") + QString::number(index); }

bool IsBlank(const QString& text) { return text.trimmed().isEmpty(); }

// The ports a protocol's servers listen on unless told otherwise.
constexpr qint32 kPop3Port = 110;
constexpr qint32 kPop3TlsPort = 995;
constexpr qint32 kImapTlsPort = 993;

bool HoldsPort(const QString& text, qint32 port)
{
    return NumericText::IsNumeric(text) && NumericText::ToInt32(text) == port;
}

void ProcessPendingEvents() { QCoreApplication::processEvents(); }

} // namespace

frmTandrel::frmTandrel(QWidget* parent)
    : QMainWindow(parent,
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , m_checkerPicture(TrayPictureCode::Idle)
{
    setObjectName(QStringLiteral("frmTandrel"));
    // The window is laid out in pixels for a small Japanese gothic face; a
    // larger default font would push the labels into their text boxes.
    setFont(FaceFonts::Gothic(9));
    setWindowIcon(TrayPictures::Idle());
    CreateControls();
    CreateMenus();
    m_checker = std::make_unique<MailChecker>(*this);
    connect(m_checker.get(), &MailChecker::StatusChanged, this, &frmTandrel::SetStatusText);
    connect(m_checker.get(), &MailChecker::TrayChanged, this, &frmTandrel::SetTray);
    connect(
        m_checker.get(), &MailChecker::SeenListChanged, this, [this](qint32 tag, const QStringList& seen) {
            // After the end the file holds the final save; nothing may follow it.
            if (!m_ended)
                AccountStore::SeenListChanged(tag, seen);
        });
    connect(m_checker.get(), &MailChecker::MailArrived, this, &frmTandrel::ShowArrivals);
    connect(m_checker.get(), &MailChecker::CheckCommandsEnabled, this, &frmTandrel::SetCheckCommandsEnabled);
    m_checker->Follow(*new SleepWatch(AppIdentity::AppTitle(), this), *new NetworkWatch(this));
    m_busyLook = new QTimer(this);
    m_busyLook->setInterval(60 * 1000);
    connect(m_busyLook, &QTimer::timeout, this, &frmTandrel::ShowHeldArrivals);
    connect(&BusyService::Current(), &BusyService::BusyChanged, this, &frmTandrel::ShowHeldArrivals);
}

frmTandrel::~frmTandrel()
{
    // The engine may still hold a session that calls back into this window.
    m_checker.reset();
}

void frmTandrel::CreateControls()
{
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setFixedSize(532, 290);
    setCentralWidget(m_client);
    // A fixed window: the menu bar adds its height, the user cannot resize it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    auto* line = new QFrame(m_client);
    line->setObjectName(QStringLiteral("lnMenu"));
    line->setFrameShape(QFrame::HLine);
    line->setGeometry(0, 0, 532, 1);
    lnMenu.push_back(line);

    lvPopList = new FlatListView(m_client);
    lvPopList->setObjectName(QStringLiteral("lvPopList"));
    lvPopList->setGeometry(4, 6, 521, 193);
    lvPopList->SetCheckBoxes(true);
    // In the order of the column codes.
    lvPopList->AddColumn(QStringLiteral("USER-TITLE"), 133);
    lvPopList->AddColumn(QStringLiteral("NEXT CHECK"), 96);
    lvPopList->AddColumn(QStringLiteral("STATUS"), 100);
    // STATUS tells only of the last check; mail still held back from an
    // earlier one would go unmentioned in the window.
    lvPopList->SetToolTipSource([this](int row, int) { return HeldToolTip(lvPopList->RowTag(row)); });

    auto makeBox = [this](const char* name, int x, int y) {
        auto* box = new QLineEdit(m_client);
        box->setObjectName(QLatin1String(name));
        box->setGeometry(x, y, 137, 18);
        box->installEventFilter(this);
        return box;
    };
    txtUserTitle = makeBox("txtUserTitle", 106, 208);
    txtPopAccount = makeBox("txtPopAccount", 106, 226);
    txtPopPasswd = makeBox("txtPopPasswd", 106, 244);
    txtPopServer = makeBox("txtPopServer", 390, 208);
    txtPopPort = makeBox("txtPopPort", 390, 226);
    txtChkInterval = makeBox("txtChkInterval", 390, 244);
    txtPopPasswd->setEchoMode(QLineEdit::Password);
    // Every character of the password shows as "*", whatever the style's own mask.
    txtPopPasswd->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));

    // Between the port's caption and its box, the one place in the editor
    // with room to spare; the protocol decides the port, so it sits before it.
    cmbProtocol = new QComboBox(m_client);
    cmbProtocol->setObjectName(QStringLiteral("cmbProtocol"));
    cmbProtocol->setGeometry(326, 226, 60, 18);
    cmbProtocol->addItem(QStringLiteral("POP3"), QVariant::fromValue(int(MailProtocol::Pop3)));
    cmbProtocol->addItem(QStringLiteral("IMAP"), QVariant::fromValue(int(MailProtocol::Imap)));
    cmbProtocol->setToolTip(QStringLiteral("メールの受信方法 (POP3 / IMAP)"));
    // A reader would otherwise announce only "POP3" with nothing to say what it is.
    cmbProtocol->setAccessibleName(QStringLiteral("受信方法"));
    connect(cmbProtocol, &QComboBox::currentIndexChanged, this, &frmTandrel::cmbProtocol_Click);

    struct Guide {
        const char* caption;
        int x, y;
        QLineEdit* buddy;
    };
    const std::array<Guide, 6> guides { {
        { "USER-TITLE(&R)", 4, 212, txtUserTitle },
        { "POP-ACCOUNT(&A)", 4, 230, txtPopAccount },
        { "POP-SERVER(&S)", 252, 212, txtPopServer },
        { "CHECK INTERVAL(MIN)(&I)", 252, 248, txtChkInterval },
        { "POP-PASSWD(&P)", 4, 248, txtPopPasswd },
        { "POP-PORT(&O)", 252, 230, txtPopPort },
    } };
    for (std::size_t i = 0; i < guides.size(); ++i) {
        auto* label = new QLabel(QString::fromUtf8(guides[i].caption), m_client);
        label->setObjectName(QStringLiteral("lblGuide%1").arg(i));
        label->setTextFormat(Qt::PlainText);
        label->setBuddy(guides[i].buddy);
        // The longest caption must end before its box, as with the narrow face
        // the positions were made for.
        QFont narrow = label->font();
        narrow.setStretch(QFont::SemiCondensed);
        label->setFont(narrow);
        label->adjustSize();
        label->move(guides[i].x, guides[i].y);
        lblGuide[i] = label;
    }

    const std::array<const char*, 3> captions { "新規登録(&N)", "更新(&U)", "削除(&D)" };
    const std::array<int, 3> lefts { 6, 179, 352 };
    for (int i = 0; i < 3; ++i) {
        auto* button = new QPushButton(QString::fromUtf8(captions[i]), m_client);
        button->setObjectName(QStringLiteral("btnAction%1").arg(i));
        button->setGeometry(lefts[i], 266, 173, 22);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, i] { btnAction_Click(i); });
        btnAction[i] = button;
    }
    btnAction[1]->setEnabled(false);
    btnAction[2]->setEnabled(false);

    setTabOrder(txtUserTitle, txtPopAccount);
    setTabOrder(txtPopAccount, txtPopPasswd);
    setTabOrder(txtPopPasswd, txtPopServer);
    setTabOrder(txtPopServer, cmbProtocol);
    setTabOrder(cmbProtocol, txtPopPort);
    setTabOrder(txtPopPort, txtChkInterval);
    setTabOrder(txtChkInterval, btnAction[0]);
    setTabOrder(btnAction[0], btnAction[1]);
    setTabOrder(btnAction[1], btnAction[2]);
    setTabOrder(btnAction[2], lvPopList);

    connect(lvPopList, &FlatListView::ItemClick, this, &frmTandrel::lvPopList_ItemClick);
    connect(lvPopList, &FlatListView::ItemCheck, this, &frmTandrel::lvPopList_ItemCheck);
    connect(lvPopList, &FlatListView::ColumnClick, this, &frmTandrel::lvPopList_ColumnClick);
}

void frmTandrel::CreateMenus()
{
    auto action = [this](QMenu* menu, const char* name, const char* caption, void (frmTandrel::*handler)()) {
        QAction* item = menu->addAction(QString::fromUtf8(caption));
        item->setObjectName(QLatin1String(name));
        connect(item, &QAction::triggered, this, handler);
        return item;
    };
    auto separator
        = [](QMenu* menu, const char* name) { menu->addSeparator()->setObjectName(QLatin1String(name)); };

    mnuFile = menuBar()->addMenu(QStringLiteral("ﾌｧｲﾙ(&F)"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuAddNew = action(mnuFile, "mnuAddNew", "新規作成(&N)", &frmTandrel::mnuAddNew_Click);
    mnuAddNew->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    separator(mnuFile, "xSep0");
    mnuExit = action(mnuFile, "mnuExit", "終了(&X)", &frmTandrel::mnuExit_Click);

    mnuTool = menuBar()->addMenu(QStringLiteral("ﾂｰﾙ(&T)"));
    mnuTool->setObjectName(QStringLiteral("mnuTool"));
    mnuMailCheck = action(mnuTool, "mnuMailCheck", "ﾒｰﾙﾁｪｯｸ(&C)", &frmTandrel::mnuMailCheck_Click);
    separator(mnuTool, "xSep1");
    mnuOption = action(mnuTool, "mnuOption", "ｵﾌﾟｼｮﾝ(&O)...", &frmTandrel::mnuOption_Click);
    mnuSpamDeleted
        = action(mnuTool, "mnuSpamDeleted", "保存したｽﾊﾟﾑ(&D)...", &frmTandrel::mnuSpamDeleted_Click);
    mnuSignIn = action(mnuTool, "mnuSignIn", "OAuth2 ｻｲﾝｲﾝ(&S)...", &frmTandrel::mnuSignIn_Click);

    mnuHelp = menuBar()->addMenu(QStringLiteral("ﾍﾙﾌﾟ(&H)"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuVersion = action(mnuHelp, "mnuVersion", "ﾊﾞｰｼﾞｮﾝ(&A)...", &frmTandrel::mnuVersion_Click);

    // The tray menu lives with the window but never shows in its menu bar.
    mnuTaskTray = new QMenu(this);
    mnuTaskTray->setObjectName(QStringLiteral("mnuTaskTray"));
    mnuTTOpen = action(mnuTaskTray, "mnuTTOpen", "開く(&O)", &frmTandrel::mnuTTOpen_Click);
    separator(mnuTaskTray, "xSep4");
    mnuTTMailCheck = action(mnuTaskTray, "mnuTTMailCheck", "ﾒｰﾙﾁｪｯｸ(&M)", &frmTandrel::mnuTTMailCheck_Click);
    mnuTTSpamDeleted
        = action(mnuTaskTray, "mnuTTSpamDeleted", "保存したｽﾊﾟﾑ(&D)...", &frmTandrel::mnuSpamDeleted_Click);
    separator(mnuTaskTray, "xSep3");
    mnuTTClose = action(mnuTaskTray, "mnuTTClose", "閉じる(&X)", &frmTandrel::mnuTTClose_Click);
}

void frmTandrel::Form_Load()
{
    setWindowTitle(AppIdentity::AppTitle());
    Fun_LineWrite3D::WriteMenuLine3D(lnMenu);
    // The fixed size must be in force before the window is centred by it.
    layout()->activate();
    Fun_FormPosition::FormPosition(*this, FormPositionCode::Centre);
    SetMailList();
    ReadyAddNew();

    m_trayIcon = std::make_unique<clsTaskTrayIcon>();
    m_trayIcon->sethWnd(this);
    m_trayTip = AppIdentity::AppTitle();
    m_trayIcon->setToolTip(m_trayTip);
    m_trayIcon->setMenu(mnuTaskTray);
    m_trayIcon->setVisible(true);
    m_trayIcon->setIcon(TrayImage(1));
    ProcessPendingEvents();

    if (CommonSettings.StartMinimizedWindow) {
        // Minimised means hidden in the tray; without a tray the window stays
        // minimised on the taskbar, where the user can still reach it.
        setWindowState(windowState() | Qt::WindowMinimized);
        if (!TrayAvailable())
            showMinimized();
    } else {
        show();
        ProcessPendingEvents();
    }
    Fun_ListViewOperate::FitLastColumn(*lvPopList);
    ProcessPendingEvents();
    if (m_ended)
        return;

    // Passwords that only the keyring holds are read by then; the window
    // does not wait for them.
    KeyringPasswords::WhenRead([window = QPointer(this)] {
        if (window && !window->m_ended)
            window->mnuMailCheck_Click();
    });
}

AccountFields frmTandrel::UpdateAccountInfo() const
{
    AccountFields fields;
    fields.CheckInterval = NumericText::ToInt32(txtChkInterval->text());
    fields.PopPort = NumericText::ToInt32(txtPopPort->text());
    fields.PopAccount = txtPopAccount->text();
    // The disabled box of an OAuth2 account is no password to keep.
    fields.PopPasswd = txtPopPasswd->text();
    fields.PopServer = txtPopServer->text();
    fields.UserTitle = txtUserTitle->text();
    fields.OAuthProvider = m_editorOAuthProvider;
    fields.Protocol = EditorProtocol();
    return fields;
}

bool frmTandrel::IsValidData()
{
    // A number that does not fit the 32-bit fields counts as not a number.
    auto isNumber = [](const QString& text) {
        return NumericText::IsNumeric(text) && NumericText::ToInt32Checked(text).has_value();
    };
    QLineEdit* offending = nullptr;
    if (IsBlank(txtPopAccount->text()))
        offending = txtPopAccount;
    else if (m_editorOAuthProvider.isEmpty() && IsBlank(txtPopPasswd->text()))
        offending = txtPopPasswd;
    else if (IsBlank(txtPopServer->text()))
        offending = txtPopServer;
    else if (!isNumber(txtPopPort->text()))
        offending = txtPopPort;
    else if (!isNumber(txtChkInterval->text()))
        offending = txtChkInterval;
    if (!offending)
        return true;

    offending->setFocus(Qt::OtherFocusReason);
    MessageBoxService::Current().Show(QStringLiteral("データが不正か、もくしは入力されていません。"),
        MessageBoxService::Icon::Exclamation, MessageBoxService::Buttons::Ok, AppIdentity::AppTitle());
    return false;
}

void frmTandrel::ReadyAddNew()
{
    Fun_TextBoxOperate::ClearTextBoxes(*this);
    txtPopPort->setText(QStringLiteral("110"));
    SetEditorSignIn({});
    SetEditorProtocol(MailProtocol::Pop3);
}

MailProtocol frmTandrel::EditorProtocol() const { return MailProtocol(cmbProtocol->currentData().toInt()); }

void frmTandrel::SetEditorProtocol(MailProtocol protocol)
{
    const QSignalBlocker quiet(cmbProtocol);
    cmbProtocol->setCurrentIndex(cmbProtocol->findData(int(protocol)));
}

void frmTandrel::cmbProtocol_Click()
{
    // A port the user typed is theirs; only the other protocol's usual one,
    // or none, follows. An account on TLS stays on TLS: IMAP is TLS on every
    // port, POP3 only on 995.
    const QString port = txtPopPort->text();
    if (EditorProtocol() == MailProtocol::Imap
        && (IsBlank(port) || HoldsPort(port, kPop3Port) || HoldsPort(port, kPop3TlsPort)))
        txtPopPort->setText(QString::number(kImapTlsPort));
    else if (EditorProtocol() == MailProtocol::Pop3 && HoldsPort(port, kImapTlsPort))
        txtPopPort->setText(QString::number(kPop3TlsPort));
}

void frmTandrel::SetEditorSignIn(const QString& oauthProvider)
{
    m_editorOAuthProvider = oauthProvider;
    const bool oauth = !oauthProvider.isEmpty();
    if (oauth)
        txtPopPasswd->clear();
    txtPopPasswd->setEnabled(!oauth);
    txtPopPasswd->setPlaceholderText(oauth ? QStringLiteral("OAuth2 (") + oauthProvider + u')' : QString());
    txtPopPasswd->setToolTip(oauth
            ? QStringLiteral("OAuth2 でサインインするアカウントです。パスワードは使いません。")
            : QString());
}

void frmTandrel::SetMailList()
{
    const qint32 upper = Fun_UboundEx::UboundEx(Accounts);
    for (qint32 i = 0; i <= upper; ++i) {
        const AccountEntry& entry = Accounts[std::size_t(i)];
        if (entry.Deleted)
            continue;
        const QString key = RowKey(i);
        int row = lvPopList->FindRow(key);
        const bool isNew = row < 0;
        if (isNew)
            row = lvPopList->AddRow({ { entry.UserTitle } }, key);
        lvPopList->SetRowChecked(row, entry.Enabled);
        // A changed text in the sort column moves the row.
        row = lvPopList->SetCell(row, ColUserTitle, entry.UserTitle);
        lvPopList->SetRowTag(row, i);

        const qint32 n = NextCheckForRebuild(isNew
                ? std::nullopt
                : std::optional(NumericText::ToInt32(lvPopList->CellText(row, ColNextCheck))),
            entry.CheckInterval);
        const QString s = isNew ? QString() : lvPopList->CellText(row, ColStatus);
        row = lvPopList->SetCell(row, ColNextCheck, QString::number(n));
        lvPopList->SetCell(row, ColStatus, i == m_currentAccountIdx ? QString() : s);
    }
}

void frmTandrel::btnAction_Click(int Index)
{
    switch (Index) {
    case 0:
        if (!IsValidData())
            return;
        m_currentAccountIdx = AccountStore::Add(UpdateAccountInfo());
        SetMailList();
        ReadyAddNew();
        break;
    case 1: {
        // Nothing left to update once the account was deleted.
        if (!AccountStore::IsLive(m_currentAccountIdx) || !IsValidData())
            return;
        const auto result = AccountStore::Update(m_currentAccountIdx, UpdateAccountInfo());
        SetMailList();
        if (result == AccountStore::UpdateResult::SignInNeeded)
            m_checker->ReportFailure(m_currentAccountIdx, { CheckFailure::Step::SignIn, {} });
        break;
    }
    case 2: {
        if (!AccountStore::IsLive(m_currentAccountIdx))
            return;
        const auto answer = MessageBoxService::Current().Show(
            QStringLiteral("このアカウント情報を削除してもよろしいですか？"),
            MessageBoxService::Icon::Question, MessageBoxService::Buttons::YesNo, AppIdentity::AppTitle());
        if (answer != MessageBoxService::Answer::Yes)
            return;
        lvPopList->RemoveRow(lvPopList->FindRow(RowKey(m_currentAccountIdx)));
        AccountStore::Delete(m_currentAccountIdx);
        m_checker->ShowCheckFailures();
        break;
    }
    default:
        break;
    }
}

void frmTandrel::lvPopList_ItemClick(int nRow)
{
    if (nRow < 0)
        return;
    const qint32 index = lvPopList->RowTag(nRow);
    const AccountEntry& entry = Accounts.at(std::size_t(index));
    txtChkInterval->setText(QString::number(entry.CheckInterval));
    txtPopAccount->setText(entry.PopAccount);
    txtPopPasswd->setText(entry.PopPasswd);
    txtPopPort->setText(QString::number(entry.PopPort));
    txtPopServer->setText(entry.PopServer);
    txtUserTitle->setText(entry.UserTitle);
    SetEditorSignIn(entry.IsOAuth2() ? entry.OAuthProvider : QString());
    SetEditorProtocol(entry.Protocol);
    btnAction[0]->setEnabled(false);
    btnAction[1]->setEnabled(true);
    btnAction[2]->setEnabled(true);
    m_currentAccountIdx = index;
}

void frmTandrel::lvPopList_ItemCheck(int nRow)
{
    if (nRow < 0)
        return;
    AccountStore::SetEnabled(lvPopList->RowTag(nRow), lvPopList->IsRowChecked(nRow));
    m_checker->ShowCheckFailures();
}

void frmTandrel::lvPopList_ColumnClick(int column) { Fun_ListViewOperate::SortListView(*lvPopList, column); }

void frmTandrel::Form_MouseMove(int X)
{
    if (!m_trayIcon)
        return;
    if (X == clsTaskTrayIcon::WM_RBUTTONDOWN)
        m_trayIcon->ShowMenu(*this, *mnuTaskTray);
    else if (X == clsTaskTrayIcon::WM_LBUTTONDOWN)
        m_trayIcon->ShowForm(*this);
}

bool frmTandrel::Form_QueryUnload(CloseReason UnloadMode)
{
    if (m_ended)
        return false;
    if (UnloadMode == CloseReason::FormControlMenu && CommonSettings.FormClosedIsMinimized
        && TrayAvailable()) {
        hide();
        return true;
    }

    m_ended = true;
    // The check in progress is dropped first, so nothing it does afterwards
    // reaches a settings file that is already written or a window that is gone.
    m_checker->AbortAll();
    AccountStore::Save();
    if (m_trayIcon) {
        m_trayIcon->setVisible(false);
        m_trayIcon.reset();
    }
    if (m_arrival && m_arrival->IsLoaded())
        m_arrival->close();
    if (m_spamDeleted)
        m_spamDeleted->close();
    m_closingByProgram = true;
    close();
    m_closingByProgram = false;
    Q_EMIT programEnded();
    return false;
}

void frmTandrel::Form_Resize()
{
    // Without a tray, a hidden window could not be brought back: it stays
    // minimised on the taskbar instead.
    if (isMinimized() && TrayAvailable())
        hide();
}

void frmTandrel::mnuAddNew_Click()
{
    btnAction[0]->setEnabled(true);
    btnAction[1]->setEnabled(false);
    btnAction[2]->setEnabled(false);
    m_currentAccountIdx = -1;
    ReadyAddNew();
}

void frmTandrel::mnuExit_Click() { Form_QueryUnload(CloseReason::ProgramRequest); }

void frmTandrel::mnuMailCheck_Click() { m_checker->mnuMailCheck_Click(); }

void frmTandrel::mnuOption_Click()
{
    frmOption dialog(this);
    dialog.exec();
    // Held mail is shown at once when the user has just turned the option off.
    ShowHeldArrivals();
}

void frmTandrel::mnuSpamDeleted_Click()
{
    // A window of its own, so that it opens from the tray with the main window hidden.
    if (!m_spamDeleted)
        m_spamDeleted = std::make_unique<frmSpamDeleted>(SpamMaildir::BesideSettings());
    m_spamDeleted->ShowList();
}

void frmTandrel::mnuSignIn_Click()
{
    frmSignIn dialog(
        txtPopAccount->text(), EditorProtocol(),
        [this](const OAuthProviders::Provider& provider, const QString& address) {
            const OAuthProviders::Resolved resolved = OAuthProviders::Resolve(provider, EditorProtocol());
            txtPopServer->setText(resolved.server);
            txtPopPort->setText(QString::number(resolved.port));
            txtPopAccount->setText(address);
        },
        this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    SetEditorSignIn(QString::fromUtf16(dialog.Provider().name));
    // Stored as the editor's buttons would: the account being edited, else a new one.
    const bool editing = btnAction[1]->isEnabled() && AccountStore::IsLive(m_currentAccountIdx);
    btnAction_Click(editing ? 1 : 0);
}

void frmTandrel::mnuVersion_Click()
{
    frmAbout::ShowAbout(
        QStringLiteral("mailto:") + frmAbout::AuthorMailAddress(), frmAbout::AuthorWebPage(), windowIcon());
}

void frmTandrel::mnuTTOpen_Click()
{
    if (m_trayIcon)
        m_trayIcon->ShowForm(*this);
}

void frmTandrel::mnuTTMailCheck_Click() { mnuMailCheck_Click(); }

void frmTandrel::mnuTTClose_Click() { mnuExit_Click(); }

void frmTandrel::EndProgram(CloseReason UnloadMode) { Form_QueryUnload(UnloadMode); }

QList<qint32> frmTandrel::RowTags() const
{
    QList<qint32> tags;
    for (int row = 0; row < lvPopList->RowCount(); ++row)
        tags.append(lvPopList->RowTag(row));
    return tags;
}

bool frmTandrel::HasRow(qint32 tag) const { return RowByTag(tag) >= 0; }

bool frmTandrel::IsRowChecked(qint32 tag) const
{
    const int row = RowByTag(tag);
    return row >= 0 && lvPopList->IsRowChecked(row);
}

QString frmTandrel::NextCheckText(qint32 tag) const
{
    const int row = RowByTag(tag);
    return row >= 0 ? lvPopList->CellText(row, ColNextCheck) : QString();
}

void frmTandrel::SetNextCheckText(qint32 tag, const QString& text)
{
    lvPopList->SetCell(RowByTag(tag), ColNextCheck, text);
}

void frmTandrel::SetStatusText(qint32 tag, const QString& text)
{
    lvPopList->SetCell(RowByTag(tag), ColStatus, text);
}

void frmTandrel::SetCheckCommandsEnabled(bool enabled)
{
    mnuMailCheck->setEnabled(enabled);
    mnuTTMailCheck->setEnabled(enabled);
}

void frmTandrel::ShowArrivals(qint32 tag, const QList<NewMailItem>& mail)
{
    if (HoldsArrivals()) {
        m_held.removeIf([tag](const HeldArrival& held) { return held.tag == tag; });
        m_held.append({ tag, mail });
        m_busyLook->start();
        ShowTray();
        return;
    }
    // What waited comes first, as it came first.
    PutHeldArrivals();
    PutArrivals(tag, mail);
    m_arrival->ShowForm();
}

void frmTandrel::ShowHeldArrivals()
{
    if (m_held.isEmpty() || m_ended || HoldsArrivals())
        return;
    PutHeldArrivals();
    // The sound belonged to the moment the mail came; late it would only startle.
    m_arrival->ShowForm(false);
}

QString frmTandrel::HeldToolTip(qint32 tag) const
{
    for (const HeldArrival& held : m_held)
        if (held.tag == tag)
            return QStringLiteral("新着%1件を保留中です (取り込み中のため到着通知を控えています)")
                .arg(held.mail.size());
    return {};
}

bool frmTandrel::HoldsArrivals() const
{
    return CommonSettings.QuietWhenBusy && BusyService::Current().IsBusy();
}

void frmTandrel::PutHeldArrivals()
{
    if (m_held.isEmpty())
        return;
    for (const HeldArrival& held : std::exchange(m_held, {}))
        PutArrivals(held.tag, held.mail);
    m_busyLook->stop();
    ShowTray();
}

void frmTandrel::PutArrivals(qint32 tag, const QList<NewMailItem>& mail)
{
    if (!m_arrival)
        m_arrival = std::make_unique<frmArrival>();
    m_arrival->Load();
    m_arrival->RemoveMail(tag);
    m_arrival->MailArraivals(mail);
}

ArrivalListCost frmTandrel::ArrivalShown(qint32 tag) const
{
    ArrivalListCost cost
        = m_arrival ? m_arrival->ListCost(tag) : ArrivalListCost { 0, 0, frmArrival::RowCost() };
    // Mail held back becomes rows when it is shown.
    for (const HeldArrival& held : m_held)
        for (const NewMailItem& item : held.mail)
            (held.tag == tag ? cost.ownBytes : cost.otherBytes)
                += frmArrival::RowCost() + CheckBudget::NewMailCost(item);
    return cost;
}

void frmTandrel::SetTray(int nPicture, const QList<TrayTip::Mention>& mentions)
{
    m_checkerPicture = nPicture;
    m_checkerMentions = mentions;
    ShowTray();
}

void frmTandrel::ShowTray()
{
    if (!m_trayIcon)
        return;
    int picture = m_checkerPicture;
    // Mail held back comes first: it is what the user has not seen yet. A
    // running check keeps its picture.
    QList<TrayTip::Mention> mentions;
    for (const HeldArrival& held : m_held)
        mentions.append({ held.tag, Accounts[std::size_t(held.tag)].UserTitle,
            QStringLiteral("新着%1件(保留中)").arg(held.mail.size()) });
    if (!m_held.isEmpty() && picture != TrayPictureCode::Checking)
        picture = TrayPictureCode::Waiting;
    mentions += m_checkerMentions;
    const QString tip = TrayTip::Compose(AppIdentity::AppTitle(), TrayTip::AccountLines(mentions));
    m_trayIcon->setIcon(TrayImage(picture));
    if (tip == m_trayTip)
        return;
    m_trayTip = tip;
    m_trayIcon->setToolTip(tip);
}

bool frmTandrel::TrayAvailable() const { return TrayIconService::Current().IsAvailable(); }

void frmTandrel::closeEvent(QCloseEvent* event)
{
    if (m_closingByProgram || m_ended) {
        event->accept();
        return;
    }
    // Only the window system sends a close of its own: that is the title bar.
    const CloseReason reason
        = event->spontaneous() ? CloseReason::FormControlMenu : CloseReason::ProgramRequest;
    if (Form_QueryUnload(reason))
        event->ignore();
    else
        event->accept();
}

void frmTandrel::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void frmTandrel::mouseMoveEvent(QMouseEvent* event)
{
    // Only the tray's own callbacks count; a real mouse move at that x is not a click.
    if (const std::optional<qint32> message = clsTaskTrayIcon::CallbackMessage(*event))
        Form_MouseMove(*message);
    QMainWindow::mouseMoveEvent(event);
}

bool frmTandrel::eventFilter(QObject* watched, QEvent* event)
{
    if (Fun_SelText::IsUserFocusIn(*event) && qobject_cast<QLineEdit*>(watched))
        Fun_SelText::SelText();
    return QMainWindow::eventFilter(watched, event);
}

int frmTandrel::RowByTag(qint32 tag) const { return lvPopList->FindRow(RowKey(tag)); }

QIcon frmTandrel::TrayImage(int nPicture) const
{
    switch (nPicture) {
    case TrayPictureCode::Checking:
        return TrayPictures::Checking();
    case TrayPictureCode::Failing:
        return TrayPictures::Failing();
    case TrayPictureCode::Waiting:
        return TrayPictures::Waiting();
    default:
        return TrayPictures::Idle();
    }
}
