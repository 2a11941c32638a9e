// New mail while the user is busy, against what desktops really publish: a
// session bus of the test's own on which tests/support/notification_service.py
// turns each desktop's do-not-disturb on and off, and a full-screen window
// made active by the window manager of a real X server.

#include "PrivateBus.h"
#include "RecordingSoundService.h"
#include "RecordingTrayIconService.h"
#include "ScriptedMessageBoxService.h"
#include "TempSettingsFile.h"
#include "TestAccount.h"
#include "VirtualDisplay.h"
#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "mail/MailChecker.h"
#include "platform/gui/DesktopBusyService.h"
#include "platform/gui/FlatListView.h"
#include "ui/TrayPictures.h"
#include "ui/frmArrival.h"
#include "ui/frmTandrel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <memory>

namespace {

// Only a fault waits this long: on a busy machine the window manager and the
// bus can each take seconds to answer.
constexpr int kWaitMs = 60000;

// The bus and GNOME's settings folder of the whole test, made before the
// application, which connects to its bus once.
class DesktopSettings {
public:
    DesktopSettings()
    {
        qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", m_home.path().toLocal8Bit());
        if (m_bus.Start(QStringLiteral("notification_service.py")))
            qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.Address());
    }
    bool IsReady() const { return m_bus.Address().startsWith("unix:"); }

    // Returns once the change is on the bus.
    bool SetDoNotDisturb(const QByteArray& desktop, bool on)
    {
        const QByteArray line = desktop + (on ? " on" : " off");
        return m_bus.Ask(line) == line;
    }

private:
    QTemporaryDir m_home;
    PrivateBus m_bus;
};

bool ArrivalShown(const frmTandrel& w) { return w.ArrivalForm() && w.ArrivalForm()->isVisible(); }

} // namespace

class tst_QuietWhenBusy : public QObject {
    Q_OBJECT

public:
    explicit tst_QuietWhenBusy(DesktopSettings& desktop)
        : m_desktop(desktop)
    {
    }

private Q_SLOTS:
    void init()
    {
        m_settings = std::make_unique<TempSettingsFile>();
        m_busy = std::make_unique<DesktopBusyService>();
        BusyService::Install(m_busy.get());
        SetOptionDefaults();
        CommonSettings.SoundFolder = m_settings->folder();
        CommonSettings.ArrivalSound = QStringLiteral("chime.wav");
        QFile sound(m_settings->folder() + QStringLiteral("/chime.wav"));
        QVERIFY(sound.open(QIODevice::WriteOnly));
        Accounts.clear();
        Accounts.push_back(TestAccount(110, 10));
        // Its start-up check fails at once, without the network, and the
        // tray names it: its line must stay beside the mail that waits.
        Accounts.back().Secret = SecretState::OAuth2;
    }

    void cleanup()
    {
        for (const char* desktop : { "plasma", "xfce", "gnome" })
            QVERIFY(m_desktop.SetDoNotDisturb(desktop, false));
        m_fullScreen.reset();
        BusyService::Install(nullptr);
        m_busy.reset();
        Accounts.clear();
        m_settings.reset();
    }

    void newMailWhileBusy_data()
    {
        QTest::addColumn<QByteArray>("desktop"); // whose do-not-disturb; none: a full-screen window
        QTest::addColumn<bool>("quiet"); // the option
        QTest::addColumn<bool>("busyEnds");

        QTest::newRow("Plasma's do-not-disturb holds the window and the sound back, the tray names the mail "
                      "waiting above the failing account")
            << QByteArray("plasma") << true << false;
        QTest::newRow("Plasma's do-not-disturb ends: the window comes without the sound")
            << QByteArray("plasma") << true << true;
        QTest::newRow("Xfce's do-not-disturb holds the window back until it ends")
            << QByteArray("xfce") << true << true;
        QTest::newRow("GNOME's banners off hold the window back until they are on")
            << QByteArray("gnome") << true << true;
        QTest::newRow("full-screen active window holds the window and the sound back")
            << QByteArray() << true << false;
        QTest::newRow("full-screen window closed: the window comes without the sound")
            << QByteArray() << true << true;
        QTest::newRow("option off: window and sound at once during do-not-disturb")
            << QByteArray("plasma") << false << false;
    }

    void newMailWhileBusy()
    {
        QFETCH(QByteArray, desktop);
        QFETCH(bool, quiet);
        QFETCH(bool, busyEnds);
        CommonSettings.QuietWhenBusy = quiet;
        ScriptedMessageBoxService boxes;
        RecordingTrayIconService tray;
        RecordingSoundService sound;
        frmTandrel w;
        w.Form_Load();

        if (!desktop.isEmpty()) {
            QVERIFY(m_desktop.SetDoNotDisturb(desktop, true));
        } else {
            m_fullScreen = std::make_unique<QWidget>();
            m_fullScreen->showFullScreen();
            QTRY_VERIFY_WITH_TIMEOUT(
                (m_fullScreen->activateWindow(), m_fullScreen->isActiveWindow()), kWaitMs);
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_busy->IsBusy(), kWaitMs);

        Q_EMIT w.Checker().MailArrived(0,
            { { 0, QStringLiteral("a@example.jp"), QStringLiteral("26/12/09 20:00:00"),
                  QStringLiteral("会議") },
                { 0, QStringLiteral("b@example.jp"), {}, QStringLiteral("昼食") } });
        QCOMPARE(ArrivalShown(w), !quiet);
        QCOMPARE(sound.played.size(), quiet ? 0 : 1);
        const QString failing = QStringLiteral("ｴﾗｰ(OAUTH2 は TLS のみ)");
        // The account is named once, its waiting mail first.
        const QString said = quiet ? QStringLiteral("新着2件(保留中)、") + failing : failing;
        const NotifyIconRecord& shown = tray.calls.back().record;
        const QIcon picture = quiet ? TrayPictures::Waiting() : TrayPictures::Failing();
        QCOMPARE(shown.hIcon.pixmap(16).toImage(), picture.pixmap(16).toImage());
        QCOMPARE(shown.TipText(), QStringLiteral("タンドレル\nhome: ") + said);
        // STATUS tells of the last check only; the row itself says that mail waits.
        QCOMPARE(w.lvPopList->ToolTipText(0, 2).startsWith(u"新着2件を保留中です"), quiet);
        if (!busyEnds)
            return;

        QElapsedTimer sinceBusyEnded;
        sinceBusyEnded.start();
        if (!desktop.isEmpty())
            QVERIFY(m_desktop.SetDoNotDisturb(desktop, false));
        else
            m_fullScreen.reset();
        QTRY_VERIFY_WITH_TIMEOUT(ArrivalShown(w), kWaitMs);
        QVERIFY(QTest::qWaitForWindowExposed(w.ArrivalForm(), kWaitMs));
        qInfo("busy ended, arrival window on screen after %lld ms", sinceBusyEnded.elapsed());
        QCOMPARE(w.ArrivalForm()->lvArrival->RowCount(), 2);
        QVERIFY(sound.played.isEmpty());
        QCOMPARE(tray.calls.back().record.TipText(), QStringLiteral("タンドレル\nhome: ") + failing);
        QCOMPARE(w.lvPopList->ToolTipText(0, 2), QString());
        QCOMPARE(tray.calls.back().record.hIcon.pixmap(16).toImage(),
            TrayPictures::Failing().pixmap(16).toImage());
    }

private:
    DesktopSettings& m_desktop;
    std::unique_ptr<TempSettingsFile> m_settings;
    std::unique_ptr<DesktopBusyService> m_busy;
    std::unique_ptr<QWidget> m_fullScreen;
};

int main(int argc, char* argv[])
{
    // Both before the application, which connects to its display and bus once;
    // the display first, so that its server and window manager start in the
    // environment every display test gives them, not in the private desktop's.
    const VirtualDisplay display;
    DesktopSettings desktop;
    if (!desktop.IsReady() || !display.IsReady()) {
        qCritical("no private bus, or %s", qPrintable(display.Error()));
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    tst_QuietWhenBusy test(desktop);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_QuietWhenBusy.moc"
