// What a user does with the mouse and keyboard, sent through a real X server
// with a window manager: popup lists, context menus, check boxes in the list
// and focus handed back by the window manager behave there as on a desktop,
// which the offscreen platform does not reproduce.

#include "../ListViewProbe.h"
#include "../MainWindowProbe.h"
#include "DesktopMailProgram.h"
#include "RecordingTrayIconService.h"
#include "ScriptedMessageBoxService.h"
#include "SyntheticInput.h"
#include "TempSettingsFile.h"
#include "TestAccount.h"
#include "VirtualDisplayMain.h"
#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "ui/frmArrival.h"
#include "ui/frmOption.h"
#include "ui/frmTandrel.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>

#include <memory>

using SyntheticInput::Button;

using MainWindowProbe::Buttons;
using MainWindowProbe::Row;

namespace {

// Only a fault waits this long: on a machine busy with other tests the
// window manager and the program can each take seconds to answer.
constexpr int kWaitMs = 60000;

template <class Window> bool ShowActive(Window& window)
{
    window.show();
    window.raise();
    // Asked again while waiting: the window manager may pass over a request
    // that arrives while it is still placing the window.
    return QTest::qWaitFor(
        [&window] {
            window.activateWindow();
            return window.isActiveWindow();
        },
        kWaitMs);
}

// Qt counts a popup as shown at once, but the X server maps it later; a click
// sent in between lands on whatever lies beneath.
bool OnScreen(QWidget* widget) { return QTest::qWaitForWindowExposed(widget, kWaitMs); }

QPoint Centre(const QWidget* widget) { return widget->mapToGlobal(widget->rect().center()); }

// Inside a text box just past the end of its text, where a click leaves the cursor.
QPoint PastTheText(const QLineEdit* box)
{
    return box->mapToGlobal(QPoint(box->width() - 4, box->height() / 2));
}

QMenu* OpenPopupMenu() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }

QPoint ActionCentre(const QMenu* menu, const QAction* action)
{
    return menu->mapToGlobal(menu->actionGeometry(const_cast<QAction*>(action)).center());
}

// A point of the account list on the screen.
QPoint ListPoint(const frmTandrel& w, QPoint inList) { return w.lvPopList->viewport()->mapToGlobal(inList); }

// The mouse presses and moves the program itself was handed, at their screen
// positions: what the window manager took for itself is missing.
class PointerLog : public QObject {
public:
    PointerLog() { qApp->installEventFilter(this); }
    bool Saw(QEvent::Type type, QPoint global) const { return m_seen.contains({ type, global }); }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseMove)
            m_seen.append({ type, static_cast<QMouseEvent*>(event)->globalPosition().toPoint() });
        return false;
    }

private:
    QList<QPair<QEvent::Type, QPoint>> m_seen;
};

// The window Qt embeds into the tray host for the program's icon.
QWidget* TrayIconWidget()
{
    for (QWidget* widget : QApplication::allWidgets()) {
        if (qstrcmp(widget->metaObject()->className(), "QSystemTrayIconSys") == 0)
            return widget;
    }
    return nullptr;
}

} // namespace

class tst_InputOnX11 : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_settings = std::make_unique<TempSettingsFile>();
        m_boxes = std::make_unique<ScriptedMessageBoxService>();
        m_tray = std::make_unique<RecordingTrayIconService>();
    }

    void cleanup()
    {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        m_tray.reset();
        m_boxes.reset();
        m_settings.reset();
    }

    void soundChosenFromTheOpenList()
    {
        CommonSettings.SoundFolder = m_settings->folder();
        for (const char* name : { "Chime.wav", "Ding.wav" }) {
            QFile file(m_settings->folder() + u'/' + QLatin1String(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        CommonSettings.ArrivalSound = QStringLiteral("Ding.wav");
        frmOption dialog;
        QVERIFY(ShowActive(dialog));
        QComboBox* sounds = dialog.cboArrivalSound;
        QCOMPARE(sounds->currentText(), QStringLiteral("Ding.wav"));

        QVERIFY(SyntheticInput::Click(Centre(sounds)));
        QTRY_VERIFY_WITH_TIMEOUT(sounds->view()->isVisible(), kWaitMs);
        QVERIFY(OnScreen(sounds->view()));
        const QModelIndex chime = sounds->model()->index(sounds->findText(QStringLiteral("Chime.wav")), 0);
        QVERIFY(chime.isValid());
        QAbstractItemView* list = sounds->view();
        QVERIFY(SyntheticInput::Click(list->viewport()->mapToGlobal(list->visualRect(chime).center())));
        QTRY_VERIFY_WITH_TIMEOUT(!list->isVisible(), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(sounds->hasFocus(), kWaitMs);

        QCOMPARE(sounds->currentText(), QStringLiteral("Chime.wav"));
        dialog.btnAction[0]->click();
        QCOMPARE(CommonSettings.ArrivalSound, QStringLiteral("Chime.wav"));
    }

    void checkBoxClickOnlyTicks()
    {
        for (const char* title : { "work", "home", "club" }) {
            Accounts.push_back(TestAccount(110, 10));
            Accounts.back().UserTitle = QLatin1String(title);
        }
        frmTandrel w;
        w.SetMailList();
        QVERIFY(ShowActive(w));

        // A click on the row beside its box is a row click: the editor takes the account.
        QVERIFY(SyntheticInput::Click(ListPoint(w, ListViewProbe::CellCentre(*w.lvPopList, Row(w, 2), 1))));
        QTRY_COMPARE_WITH_TIMEOUT(w.txtUserTitle->text(), QStringLiteral("club"), kWaitMs);
        QCOMPARE(Buttons(w), QStringLiteral("011"));

        // A new entry is typed, then another account is switched off on the way.
        QVERIFY(SyntheticInput::Key(QStringLiteral("ctrl+n")));
        QTRY_COMPARE_WITH_TIMEOUT(w.CurrentAccountIndex(), -1, kWaitMs);
        QVERIFY(SyntheticInput::Click(PastTheText(w.txtUserTitle)));
        QTRY_VERIFY_WITH_TIMEOUT(w.txtUserTitle->hasFocus(), kWaitMs);
        QVERIFY(SyntheticInput::Type(QStringLiteral("shop")));
        QTRY_COMPARE_WITH_TIMEOUT(w.txtUserTitle->text(), QStringLiteral("shop"), kWaitMs);

        QVERIFY(SyntheticInput::Click(ListPoint(w, ListViewProbe::CheckBoxCentre(*w.lvPopList, Row(w, 1)))));
        QTRY_VERIFY_WITH_TIMEOUT(!Accounts[1].Enabled, kWaitMs);
        QCOMPARE(w.txtUserTitle->text(), QStringLiteral("shop"));
        QCOMPARE(Buttons(w), QStringLiteral("100"));
        QCOMPARE(w.CurrentAccountIndex(), -1);
        QCOMPARE(w.lvPopList->SelectedRow(), Row(w, 2));
        QVERIFY(Accounts[0].Enabled && Accounts[2].Enabled);
    }

    void pasteFromTheContextMenu_data()
    {
        QTest::addColumn<bool>("inOptions"); // else the main window's editor
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("pasted");
        QTest::newRow("server name in the main window") << false << "pop.example"
                                                        << ".jp";
        QTest::newRow("time-out in the options dialog") << true << "30"
                                                        << "5";
    }

    void pasteFromTheContextMenu()
    {
        QFETCH(bool, inOptions);
        QFETCH(QString, typed);
        QFETCH(QString, pasted);

        std::unique_ptr<QWidget> window;
        QLineEdit* box = nullptr;
        if (inOptions) {
            auto dialog = std::make_unique<frmOption>();
            box = dialog->txtPopTimeOut;
            window = std::move(dialog);
        } else {
            auto main = std::make_unique<frmTandrel>();
            box = main->txtPopServer;
            window = std::move(main);
        }
        QVERIFY(ShowActive(*window));
        box->setText(typed);

        QVERIFY(SyntheticInput::Click(PastTheText(box)));
        QTRY_VERIFY_WITH_TIMEOUT(box->hasFocus() && !box->hasSelectedText(), kWaitMs);
        QCOMPARE(box->cursorPosition(), int(typed.size()));

        QGuiApplication::clipboard()->setText(pasted);
        QVERIFY(SyntheticInput::Click(PastTheText(box), Button::Right));
        QTRY_VERIFY_WITH_TIMEOUT(OpenPopupMenu(), kWaitMs);
        QMenu* menu = OpenPopupMenu();
        QVERIFY(OnScreen(menu));
        QAction* paste = nullptr;
        for (QAction* action : menu->actions()) {
            if (action->text().startsWith(QStringLiteral("&Paste")))
                paste = action;
        }
        QVERIFY(paste && paste->isEnabled());
        QVERIFY(SyntheticInput::Click(ActionCentre(menu, paste)));

        QTRY_COMPARE_WITH_TIMEOUT(box->text(), typed + pasted, kWaitMs);
    }

    void dragByTheBackground_data()
    {
        QTest::addColumn<bool>("arrival"); // else the options dialog
        QTest::newRow("options dialog") << false;
        QTest::newRow("arrival window by its title band") << true;
    }

    void dragByTheBackground()
    {
        QFETCH(bool, arrival);
        std::unique_ptr<QWidget> window;
        if (arrival) {
            auto pop = std::make_unique<frmArrival>();
            pop->Load();
            window = std::move(pop);
        } else {
            window = std::make_unique<frmOption>();
        }
        QVERIFY(ShowActive(*window));
        const QPoint before = window->pos();
        // Clear of every control: the band between the title and the close marks.
        const QPoint start = window->mapToGlobal(QPoint(window->width() - 80, 12));
        const QPoint offset(60, 40);

        const PointerLog log;
        QVERIFY(SyntheticInput::Press(start));
        QTRY_VERIFY_WITH_TIMEOUT(log.Saw(QEvent::MouseButtonPress, start), kWaitMs);
        // Step by step: once the window manager has taken the drag over, the
        // program sees no more of it until the end, and only the X server
        // knows where the window is meanwhile.
        for (int step = 1; step <= 6; ++step) {
            const QPoint at = start + offset * step / 6;
            QVERIFY(SyntheticInput::MoveTo(at));
            QTRY_VERIFY_WITH_TIMEOUT(
                log.Saw(QEvent::MouseMove, at) || SyntheticInput::WindowPlace(window->winId()) != before,
                kWaitMs);
        }
        QVERIFY(SyntheticInput::Release());
        // The window manager takes over from the first move it is told of, so
        // the window may trail the pointer by that first step.
        QTRY_VERIFY_WITH_TIMEOUT((window->pos() - before - offset).manhattanLength() <= 20, kWaitMs);
        QVERIFY(window->isVisible());
    }

    void doubleClickOpensTheMail_data()
    {
        QTest::addColumn<QString>("provider"); // OAuth2 with this provider; empty: a password account
        QTest::addColumn<QStringList>("written"); // by the mail program, or the browser's address
        QTest::newRow("desktop's mail program, timed") << "" << QStringList { "started", "-mail" };
        QTest::newRow("Google webmail in the browser")
            << "Google" << QStringList { "https://mail.google.com/mail/u/?authuser=taro%40gmail.com" };
    }

    void doubleClickOpensTheMail()
    {
        QFETCH(QString, provider);
        QFETCH(QStringList, written);
        // The desktop's own services start the browser: the scripted one comes first.
        qputenv("PATH", TANDREL_SOURCE_DIR "/tests/support/browser:" + qgetenv("PATH"));
        DesktopMailProgram desktop;
        QVERIFY(desktop.SetDefault(QStringLiteral("-mail %U")));
        Accounts.push_back(TestAccount(110, 10));
        Accounts.back().PopAccount = QStringLiteral("taro@gmail.com");
        Accounts.back().OAuthProvider = provider;
        if (!provider.isEmpty())
            Accounts.back().Secret = SecretState::OAuth2;
        frmArrival window;
        window.MailArraival(0, QStringLiteral("Bob"), QString(), QStringLiteral("Hi"));
        window.ShowForm();
        QVERIFY(OnScreen(&window));
        QElapsedTimer sinceDoubleClick;
        connect(window.lvArrival, &FlatListView::ItemDblClick, this, [&] { sinceDoubleClick.start(); });
        const QRect row = window.lvArrival->visualRect(window.lvArrival->model()->index(0, 1));
        QVERIFY(SyntheticInput::DoubleClick(window.lvArrival->viewport()->mapToGlobal(row.center())));

        QCOMPARE(desktop.Written(provider.isEmpty() ? "started" : "browsed"), written);
        if (provider.isEmpty())
            qInfo("ms from the double-click to the mail program started: %lld", sinceDoubleClick.elapsed());
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), kWaitMs);
        QVERIFY(m_boxes->shown().isEmpty());
    }

    void openFromTheTrayReturnsTheFocus_data()
    {
        QTest::addColumn<bool>("fromMenu"); // else a left click on the icon
        QTest::newRow("開く from the tray menu") << true;
        QTest::newRow("left click on the icon") << false;
    }

    void openFromTheTrayReturnsTheFocus()
    {
        QFETCH(bool, fromMenu);
        m_tray.reset(); // the display's own notification area
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), kWaitMs);
        CommonSettings.FormClosedIsMinimized = true;
        frmTandrel w;
        w.Form_Load();
        QVERIFY(QTest::qWaitForWindowActive(&w, kWaitMs));
        QVERIFY(SyntheticInput::Click(PastTheText(w.txtPopServer)));
        QTRY_VERIFY_WITH_TIMEOUT(w.txtPopServer->hasFocus(), kWaitMs);

        QVERIFY(w.Form_QueryUnload(frmTandrel::CloseReason::FormControlMenu));
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), kWaitMs);

        QWidget* icon = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((icon = TrayIconWidget()) && icon->isVisible(), kWaitMs);
        // Exposed only once the tray host has taken the icon into its bar.
        QVERIFY(OnScreen(icon));
        const QPoint middle(icon->width() / 2, icon->height() / 2);
        if (fromMenu) {
            QVERIFY(SyntheticInput::ClickInWindow(icon->winId(), middle, Button::Right));
            QTRY_VERIFY_WITH_TIMEOUT(w.mnuTaskTray->isVisible(), kWaitMs);
            QVERIFY(OnScreen(w.mnuTaskTray));
            QVERIFY(SyntheticInput::Click(ActionCentre(w.mnuTaskTray, w.mnuTTOpen)));
        } else {
            QVERIFY(SyntheticInput::ClickInWindow(icon->winId(), middle));
        }
        // The window manager hands the window the X input focus; what the user
        // types from then on must reach a control.
        QTRY_VERIFY_WITH_TIMEOUT(w.isVisible() && SyntheticInput::FocusWindow() == w.winId(), kWaitMs);

        QVERIFY(SyntheticInput::Type(QStringLiteral("pop.example")));
        QTRY_COMPARE_WITH_TIMEOUT(w.txtPopServer->text(), QStringLiteral("pop.example"), kWaitMs);
        w.EndProgram(frmTandrel::CloseReason::ProgramRequest);
    }

private:
    std::unique_ptr<TempSettingsFile> m_settings;
    std::unique_ptr<ScriptedMessageBoxService> m_boxes;
    std::unique_ptr<RecordingTrayIconService> m_tray;
};

TANDREL_TEST_MAIN_ON_X11(tst_InputOnX11)

#include "tst_InputOnX11.moc"
