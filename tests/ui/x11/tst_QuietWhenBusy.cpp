// New mail while the user is busy, against what a desktop really publishes:
// a notification service on a session bus of the test's own that turns
// do-not-disturb on and off, and a full-screen window made active by the
// window manager of a real X server.

#include "PrivateNotificationService.h"
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
#include "ui/TrayPictures.h"
#include "ui/frmArrival.h"
#include "ui/frmTandrel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <memory>
#include <optional>

namespace {

// Only a fault waits this long: on a busy machine the window manager and the
// bus can each take seconds to answer.
constexpr int kWaitMs = 60000;

QList<NewMailItem> TwoMessages()
{
    return { { 0, QStringLiteral("a@example.jp"), QStringLiteral("26/12/09 20:00:00"),
                 QStringLiteral("会議") },
        { 0, QStringLiteral("b@example.jp"), QStringLiteral("26/12/09 20:01:00"), QStringLiteral("昼食") } };
}

using Desktop = PrivateNotificationService::Desktop;

// The desktop whose do-not-disturb a row turns on; none for a full-screen window.
std::optional<Desktop> DoNotDisturbOf(const QString& busyBy)
{
    if (busyBy.startsWith(u"Plasma"))
        return Desktop::Plasma;
    if (busyBy.startsWith(u"Xfce"))
        return Desktop::Xfce;
    if (busyBy.startsWith(u"GNOME"))
        return Desktop::Gnome;
    return std::nullopt;
}

bool ArrivalShown(const frmTandrel& w) { return w.ArrivalForm() && w.ArrivalForm()->isVisible(); }

} // namespace

class tst_QuietWhenBusy : public QObject {
    Q_OBJECT

public:
    explicit tst_QuietWhenBusy(PrivateNotificationService& notifications)
        : m_notifications(notifications)
    {
    }

private Q_SLOTS:
    void init()
    {
        m_settings = std::make_unique<TempSettingsFile>();
        m_boxes = std::make_unique<ScriptedMessageBoxService>();
        m_tray = std::make_unique<RecordingTrayIconService>();
        m_sound = std::make_unique<RecordingSoundService>();
        m_busy = std::make_unique<DesktopBusyService>();
        BusyService::Install(m_busy.get());
        Accounts.clear();
        SetOptionDefaults();
        CommonSettings.SoundFolder = m_settings->folder();
        CommonSettings.ArrivalSound = QStringLiteral("chime.wav");
        QFile sound(m_settings->folder() + QStringLiteral("/chime.wav"));
        QVERIFY(sound.open(QIODevice::WriteOnly));
        Accounts.push_back(TestAccount(110, 10));
        Accounts.back().UserTitle = QStringLiteral("home");
        // Never checked: only the mail handed to the window below arrives.
        Accounts.back().Enabled = false;
    }

    void cleanup()
    {
        for (const Desktop desktop : { Desktop::Plasma, Desktop::Xfce, Desktop::Gnome })
            QVERIFY(m_notifications.SetDoNotDisturb(desktop, false));
        m_fullScreen.reset();
        BusyService::Install(nullptr);
        m_busy.reset();
        Accounts.clear();
        m_sound.reset();
        m_tray.reset();
        m_boxes.reset();
        m_settings.reset();
    }

    void newMailWhileBusy_data()
    {
        QTest::addColumn<QString>("busyBy"); // a desktop's do-not-disturb, or "full screen"
        QTest::addColumn<bool>("quiet"); // the option
        QTest::addColumn<bool>("busyEnds");
        QTest::addColumn<bool>("shownAtOnce");

        QTest::newRow("Plasma's do-not-disturb holds the window and the sound back, the tray says mail waits")
            << "Plasma's do-not-disturb" << true << false << false;
        QTest::newRow("Plasma's do-not-disturb ends: the window comes without the sound")
            << "Plasma's do-not-disturb" << true << true << false;
        QTest::newRow("Xfce's do-not-disturb holds the window back until it ends")
            << "Xfce's do-not-disturb" << true << true << false;
        QTest::newRow("GNOME's banners off hold the window back until they are on")
            << "GNOME's banners off" << true << true << false;
        QTest::newRow("full-screen active window holds the window and the sound back")
            << "full screen" << true << false << false;
        QTest::newRow("full-screen window closed: the window comes without the sound")
            << "full screen" << true << true << false;
        QTest::newRow("option off: window and sound at once during do-not-disturb")
            << "Plasma's do-not-disturb" << false << false << true;
    }

    void newMailWhileBusy()
    {
        QFETCH(QString, busyBy);
        QFETCH(bool, quiet);
        QFETCH(bool, busyEnds);
        QFETCH(bool, shownAtOnce);
        CommonSettings.QuietWhenBusy = quiet;
        frmTandrel w;
        w.Form_Load();

        const std::optional<Desktop> desktop = DoNotDisturbOf(busyBy);
        if (desktop) {
            QVERIFY(m_notifications.SetDoNotDisturb(*desktop, true));
        } else {
            m_fullScreen = std::make_unique<QWidget>();
            m_fullScreen->showFullScreen();
            QTRY_VERIFY_WITH_TIMEOUT(
                [this] {
                    m_fullScreen->activateWindow();
                    return m_fullScreen->isActiveWindow();
                }(),
                kWaitMs);
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_busy->IsBusy(), kWaitMs);

        Q_EMIT w.Checker().MailArrived(0, TwoMessages());
        QCOMPARE(ArrivalShown(w), shownAtOnce);
        QCOMPARE(m_sound->played.size(), shownAtOnce ? 1 : 0);
        const NotifyIconRecord& tray = m_tray->calls.back().record;
        const QIcon picture = shownAtOnce ? TrayPictures::Idle() : TrayPictures::Waiting();
        QCOMPARE(tray.hIcon.pixmap(16).toImage(), picture.pixmap(16).toImage());
        QCOMPARE(tray.TipText(),
            shownAtOnce ? QStringLiteral("タンドレル") : QStringLiteral("タンドレル\nhome: 新着2件(保留中)"));
        if (!busyEnds)
            return;

        QElapsedTimer sinceBusyEnded;
        sinceBusyEnded.start();
        if (desktop)
            QVERIFY(m_notifications.SetDoNotDisturb(*desktop, false));
        else
            m_fullScreen.reset();
        QTRY_VERIFY_WITH_TIMEOUT(ArrivalShown(w), kWaitMs);
        QVERIFY(QTest::qWaitForWindowExposed(w.ArrivalForm(), kWaitMs));
        qInfo(
            "%s ended, arrival window on screen after %lld ms", qPrintable(busyBy), sinceBusyEnded.elapsed());
        QCOMPARE(w.ArrivalForm()->lvArrival->RowCount(), 2);
        QVERIFY(m_sound->played.isEmpty());
        QCOMPARE(m_tray->calls.back().record.TipText(), QStringLiteral("タンドレル"));
    }

private:
    PrivateNotificationService& m_notifications;
    std::unique_ptr<TempSettingsFile> m_settings;
    std::unique_ptr<ScriptedMessageBoxService> m_boxes;
    std::unique_ptr<RecordingTrayIconService> m_tray;
    std::unique_ptr<RecordingSoundService> m_sound;
    std::unique_ptr<DesktopBusyService> m_busy;
    std::unique_ptr<QWidget> m_fullScreen;
};

int main(int argc, char* argv[])
{
    // Both before the application, which connects to its display and bus once.
    PrivateNotificationService notifications;
    if (!notifications.IsReady()) {
        qCritical("%s", qPrintable(notifications.Error()));
        return 1;
    }
    const VirtualDisplay display;
    if (!display.IsReady()) {
        qCritical("%s", qPrintable(display.Error()));
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    tst_QuietWhenBusy test(notifications);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_QuietWhenBusy.moc"
