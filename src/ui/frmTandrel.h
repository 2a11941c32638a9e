#pragma once

#include "accounts/AccountStore.h"
#include "app/NewMailItem.h"
#include "app/TrayTip.h"
#include "mail/IAccountRows.h"

#include <QMainWindow>

#include <array>
#include <memory>
#include <vector>

class MailChecker;
class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class clsTaskTrayIcon;
class frmArrival;
class frmSpamDeleted;
class FlatListView;

// The main window: the account list with its editor, the menus, the tray icon
// and the mail engine, which it owns for the whole run.
class frmTandrel : public QMainWindow, public IAccountRows {
    Q_OBJECT

public:
    // Why the window is asked to close. Only the title bar's close can be
    // turned into hiding; every other close ends the program.
    enum class CloseReason {
        FormControlMenu = 0, // close button, Alt+F4, system menu
        ProgramRequest, // "終了(&X)", "閉じる(&X)"
        SessionEnd, // the desktop session ends, SIGTERM
    };

    explicit frmTandrel(QWidget* parent = nullptr);
    ~frmTandrel() override;

    // The load sequence; ends with the start-up check of every account.
    void Form_Load();

    // The editor's six boxes, its protocol, and how the account signs in, as the account store takes them.
    AccountFields UpdateAccountInfo() const;
    // Checks the editor's values; on failure tells the user and moves the focus.
    bool IsValidData();
    void ReadyAddNew();
    // Brings the rows up to date with the account table.
    void SetMailList();

    void btnAction_Click(int Index);
    // The user chose a protocol: a port that is the other protocol's usual one follows it.
    void cmbProtocol_Click();
    // Both take the row's place in the list.
    void lvPopList_ItemClick(int nRow);
    void lvPopList_ItemCheck(int nRow);
    void lvPopList_ColumnClick(int column);
    // The tray icon's clicks arrive as mouse moves whose x is the message number.
    void Form_MouseMove(int X);
    // Returns true when the close is cancelled (the window only hides).
    bool Form_QueryUnload(CloseReason UnloadMode);
    void Form_Resize();

    void mnuAddNew_Click();
    void mnuExit_Click();
    void mnuMailCheck_Click();
    void mnuOption_Click();
    // Shows the spam kept before its deletion; the tray menu's item does the same.
    void mnuSpamDeleted_Click();
    // Signs an account in with OAuth2 and stores it, or registers it, as one.
    void mnuSignIn_Click();
    void mnuVersion_Click();
    void mnuTTOpen_Click();
    void mnuTTMailCheck_Click();
    void mnuTTClose_Click();

    // Ends the program for a reason from outside the window (SIGTERM, the
    // end of the desktop session); a second request does nothing.
    void EndProgram(CloseReason UnloadMode);
    bool HasEnded() const { return m_ended; }

    qint32 CurrentAccountIndex() const { return m_currentAccountIdx; }
    MailChecker& Checker() { return *m_checker; }
    // The arrival window once a check has needed it, else nullptr.
    frmArrival* ArrivalForm() const { return m_arrival.get(); }

    // What the checker reads: the rows, and what the arrival window holds.
    QList<qint32> RowTags() const override;
    bool HasRow(qint32 tag) const override;
    bool IsRowChecked(qint32 tag) const override;
    QString NextCheckText(qint32 tag) const override;
    void SetNextCheckText(qint32 tag, const QString& text) override;
    ArrivalListCost ArrivalShown(qint32 tag) const override;

    // What the checker reports, put in place.
    void SetStatusText(qint32 tag, const QString& text);
    void SetCheckCommandsEnabled(bool enabled);
    void SetTray(int nPicture, const QList<TrayTip::Mention>& mentions);
    // Shows the mail found, or while the user is busy holds it back quietly.
    void ShowArrivals(qint32 tag, const QList<NewMailItem>& mail);
    // Shows what was held back once the user is no longer busy, without the sound.
    void ShowHeldArrivals();

Q_SIGNALS:
    // The orderly end is done: settings saved, tray icon removed, windows closed.
    void programEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void CreateMenus();
    // The place of the account's row in the list, or -1.
    int RowByTag(qint32 tag) const;
    QIcon TrayImage(int nPicture) const;
    // The checker's picture and tip, with what waits while the user is busy.
    void ShowTray();
    // Puts the rows into the arrival window as the check session would, without showing it.
    void PutArrivals(qint32 tag, const QList<NewMailItem>& mail);
    void PutHeldArrivals();
    // What the account's row says of its mail held back, or empty.
    QString HeldToolTip(qint32 tag) const;
    // New mail waits: the option is on and the user is busy.
    bool HoldsArrivals() const;
    // Without a notification area the window must never hide itself.
    bool TrayAvailable() const;
    // How the editor's account signs in: with the password, or (a provider's
    // name) with OAuth2, which leaves the password box disabled.
    void SetEditorSignIn(const QString& oauthProvider);
    MailProtocol EditorProtocol() const;
    // Shows the account's protocol without touching the port box.
    void SetEditorProtocol(MailProtocol protocol);

public:
    // The columns of lvPopList, 0-based as cells are addressed.
    enum PopListColumn : int { ColUserTitle = 0, ColNextCheck = 1, ColStatus = 2 };

    // Controls, named as the window declares them.
    std::vector<QFrame*> lnMenu;
    FlatListView* lvPopList = nullptr;
    std::array<QLabel*, 6> lblGuide {};
    QLineEdit* txtUserTitle = nullptr;
    QLineEdit* txtPopAccount = nullptr;
    QLineEdit* txtPopPasswd = nullptr;
    QLineEdit* txtPopServer = nullptr;
    QLineEdit* txtPopPort = nullptr;
    QLineEdit* txtChkInterval = nullptr;
    QComboBox* cmbProtocol = nullptr;
    std::array<QPushButton*, 3> btnAction {};

    QMenu* mnuFile = nullptr;
    QAction* mnuAddNew = nullptr;
    QAction* mnuExit = nullptr;
    QMenu* mnuTool = nullptr;
    QAction* mnuMailCheck = nullptr;
    QAction* mnuOption = nullptr;
    QAction* mnuSpamDeleted = nullptr;
    QAction* mnuSignIn = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuVersion = nullptr;
    QMenu* mnuTaskTray = nullptr;
    QAction* mnuTTOpen = nullptr;
    QAction* mnuTTMailCheck = nullptr;
    QAction* mnuTTSpamDeleted = nullptr;
    QAction* mnuTTClose = nullptr;

private:
    QWidget* m_client = nullptr;
    qint32 m_currentAccountIdx = 0;
    QString m_editorOAuthProvider; // empty while the editor's account signs in with its password
    bool m_ended = false;
    bool m_closingByProgram = false;
    std::unique_ptr<clsTaskTrayIcon> m_trayIcon;
    QString m_trayTip; // what the tray shows, so an unchanged tip is not sent again
    std::unique_ptr<frmArrival> m_arrival;
    std::unique_ptr<frmSpamDeleted> m_spamDeleted;
    // Mail found while the user was busy, by account, in the order it came;
    // a later check of the account replaces its mail, as in the window.
    struct HeldArrival {
        qint32 tag;
        QList<NewMailItem> mail;
    };
    QList<HeldArrival> m_held;
    // Looks again once a minute while mail waits: a window that leaves full
    // screen says so to nobody.
    QTimer* m_busyLook = nullptr;
    int m_checkerPicture;
    QList<TrayTip::Mention> m_checkerMentions;
    std::unique_ptr<MailChecker> m_checker;
};
