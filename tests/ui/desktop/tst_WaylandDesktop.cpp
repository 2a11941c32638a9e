// The program itself on a Wayland desktop of the test's own: GNOME's
// compositor with XWayland beside it, with or without the D-Bus tray that
// Plasma, GNOME's indicator extension and most Wayland panels have. What
// counts is what the desktop shows, read from outside the program.

#include "DesktopSession.h"
#include "ScriptedMailbox.h"
#include "ScriptedPop3Server.h"
#include "TestAccount.h"
#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "platform/FormPositionCode.h"
#include "settings/API_IniFileAccess.h"
#include "settings/AppSettings.h"
#include "ui/TrayPictures.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <functional>

using S = ScriptedPop3Server;
using Dialogue = QList<S::Step>;
Q_DECLARE_METATYPE(Dialogue)
Q_DECLARE_METATYPE(QIcon)

namespace {

// Generous, yet short enough that a failing row and the end of its desktop
// stay within a test function's time.
constexpr int kWaitMs = 60'000;

// Waits until the condition holds; unlike QTRY, the time the probe itself
// takes counts towards the limit.
bool WaitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, kWaitMs); }
const QString kTitle = QStringLiteral("タンドレル");

// A copy of the program in a folder of its own, beside its settings file.
class Program {
public:
    Program(const DesktopSession& session, bool withDisplay)
    {
        QVERIFY(QFile::copy(QStringLiteral(TANDREL_BINARY_DIR "/tandrel"), m_folder.filePath("tandrel")));
        API_IniFileAccess::SetIniFilePathForTests(m_folder.filePath("tandrel.ini"));
        SaveSettings();
        QProcessEnvironment environment = session.Environment();
        if (!withDisplay)
            environment.remove(QStringLiteral("DISPLAY"));
        m_process.setProcessEnvironment(environment);
        m_process.start(m_folder.filePath("tandrel"), {});
        QVERIFY(m_process.waitForStarted());
    }
    ~Program()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(kWaitMs))
            m_process.kill();
        m_process.waitForFinished();
    }

private:
    QTemporaryDir m_folder;
    QProcess m_process;
};

// The program's X window that passes the test, with its place and state.
QJsonObject XWindow(const DesktopSession& session, const std::function<bool(const QJsonObject&)>& which)
{
    for (const QJsonValue window : session.Probe(QStringLiteral("windows"))[u"windows"].toArray()) {
        if (which(window.toObject()))
            return window.toObject();
    }
    return {};
}

bool IsMainWindow(const QJsonObject& window) { return window[u"name"] == kTitle; }

// The picture as the D-Bus tray carries it: ARGB32 in network byte order.
bool SamePicture(const QJsonArray& sent, const QIcon& icon)
{
    for (const QJsonValue size : sent) {
        const QJsonArray entry = size.toArray();
        QImage image = icon.pixmap(entry[0].toInt(), entry[1].toInt()).toImage();
        image = image.convertToFormat(QImage::Format_ARGB32);
        QByteArray expected;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const quint32 pixel = qToBigEndian<quint32>(image.pixel(x, y));
                expected.append(reinterpret_cast<const char*>(&pixel), sizeof pixel);
            }
        }
        if (QByteArray::fromBase64(entry[2].toString().toLatin1()) != expected)
            return false;
    }
    return !sent.isEmpty();
}

} // namespace

class tst_WaylandDesktop : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        Accounts.clear();
        SetOptionDefaults();
        CommonSettings.StartMinimizedWindow = true;
        // A silent server keeps the check running for as long as a row looks.
        CommonSettings.PopTimeOut = 600;
        m_server = std::make_unique<ScriptedPop3Server>();
        QVERIFY(m_server->Listen());
    }

    void arrivalWindowInTheChosenCorner_data()
    {
        QTest::addColumn<bool>("withDisplay");
        QTest::newRow("Wayland session with XWayland: X windows, in the corner") << true;
        QTest::newRow("Wayland alone: runs natively") << false;
    }

    void arrivalWindowInTheChosenCorner()
    {
        QFETCH(bool, withDisplay);
        const DesktopSession session(DesktopSession::Tray::None);
        QVERIFY2(session.IsReady(), qPrintable(session.Error()));
        m_server->SetDialogue(ScriptedMailbox(1));
        Accounts.push_back(TestAccount(m_server->Port()));
        CommonSettings.ArrivalFormPosition = FormPositionCode::TopRight;
        CommonSettings.StartMinimizedWindow = false;
        const Program program(session, withDisplay);

        const auto arrival = [](const QJsonObject& window) {
            return window[u"utility"].toBool() && window[u"viewable"].toBool();
        };
        if (!withDisplay) {
            // Started, checked, and the announcement is up: none of it on X.
            QTRY_VERIFY_WITH_TIMEOUT(m_server->ReceivedLines().contains("QUIT"), kWaitMs);
            QVERIFY(session.Probe(QStringLiteral("windows"))[u"windows"].toArray().isEmpty());
            return;
        }
        QVERIFY(WaitFor([&] { return !XWindow(session, arrival).isEmpty(); }));
        QVERIFY(XWindow(session, IsMainWindow)[u"viewable"].toBool());
        const QJsonArray area = session.Probe(QStringLiteral("windows"))[u"workarea"].toArray();
        const QJsonArray rect = XWindow(session, arrival)[u"rect"].toArray();
        QCOMPARE(rect[0].toInt() + rect[2].toInt(), area[0].toInt() + area[2].toInt());
        QCOMPARE(rect[1].toInt(), area[1].toInt());
    }

    void trayItemShowsTheState_data()
    {
        QTest::addColumn<Dialogue>("dialogue");
        QTest::addColumn<QIcon>("picture");
        QTest::addColumn<QString>("tip");
        // What the server must have seen before the picture counts; empty: the connection.
        QTest::addColumn<QByteArray>("seen");

        QTest::newRow("idle after a check that went through")
            << ScriptedMailbox(0) << TrayPictures::Idle() << kTitle << QByteArray("QUIT");
        QTest::newRow("checking while the server keeps silent")
            << Dialogue { S::Greeting("", S::After::Silence) } << TrayPictures::Checking() << kTitle
            << QByteArray();
        QTest::newRow("failing account named in the tip")
            << Dialogue { S::Greeting("+OK\r\n"), S::Exchange("USER taro", "-ERR\r\n", S::After::Close) }
            << TrayPictures::Failing() << kTitle + QStringLiteral("\nhome: ｴﾗｰ(ACCOUNT ｴﾗｰ)")
            << QByteArray("USER taro");
    }

    void trayItemShowsTheState()
    {
        QFETCH(Dialogue, dialogue);
        QFETCH(QIcon, picture);
        QFETCH(QString, tip);
        QFETCH(QByteArray, seen);
        const DesktopSession session(DesktopSession::Tray::StatusNotifier);
        QVERIFY2(session.IsReady(), qPrintable(session.Error()));
        m_server->SetDialogue(dialogue);
        Accounts.push_back(TestAccount(m_server->Port()));
        const Program program(session, true);
        QTRY_VERIFY_WITH_TIMEOUT(
            seen.isEmpty() ? m_server->ConnectionCount() == 1 : m_server->ReceivedLines().contains(seen),
            kWaitMs);

        QJsonObject item;
        QVERIFY(WaitFor([&] {
            item = session.Probe(QStringLiteral("tray"));
            return SamePicture(item[u"icon"].toArray(), picture);
        }));
        QCOMPARE(item[u"tip"].toArray()[0].toString(), tip);
    }

    void trayItemOpensTheWindowAndHoldsTheMenu()
    {
        const DesktopSession session(DesktopSession::Tray::StatusNotifier);
        QVERIFY2(session.IsReady(), qPrintable(session.Error()));
        const Program program(session, true);

        QJsonObject item;
        QVERIFY(
            WaitFor([&] { return (item = session.Probe(QStringLiteral("tray")))[u"items"].toInt() == 1; }));
        QCOMPARE(item[u"menu"].toArray(), (QJsonArray { "開く(_O)", "-", "ﾒｰﾙﾁｪｯｸ(_M)", "-", "閉じる(_X)" }));
        // Started minimised, so the window waits in the tray, off the screen.
        QVERIFY(!XWindow(session, IsMainWindow)[u"viewable"].toBool());
        session.Probe(QStringLiteral("activate"));
        QVERIFY(WaitFor([&] { return XWindow(session, IsMainWindow)[u"viewable"].toBool(); }));
    }

    void withoutATrayTheWindowStaysOnTheTaskbar()
    {
        const DesktopSession session(DesktopSession::Tray::None);
        QVERIFY2(session.IsReady(), qPrintable(session.Error()));
        const Program program(session, true);
        QVERIFY(WaitFor([&] { return XWindow(session, IsMainWindow)[u"state"].toString() == u"Iconic"; }));
    }

private:
    std::unique_ptr<ScriptedPop3Server> m_server;
};

QTEST_MAIN(tst_WaylandDesktop)
#include "tst_WaylandDesktop.moc"
