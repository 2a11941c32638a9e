// The program itself on a Wayland desktop of the test's own: GNOME's
// compositor with XWayland, with or without the D-Bus tray of Plasma, GNOME's
// indicator extension and most Wayland panels. What counts is what the
// desktop shows, asked from outside by tests/support/desktop_probe.py.

#include "ScriptedMailbox.h"
#include "TestAccount.h"
#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "platform/FormPositionCode.h"
#include "settings/API_IniFileAccess.h"
#include "settings/AppSettings.h"
#include "ui/TrayPictures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using S = ScriptedPop3Server;
using Dialogue = QList<S::Step>;
Q_DECLARE_METATYPE(Dialogue)

namespace {

// Generous, yet a failing row and its clean-up stay within a function's time.
constexpr int kWaitMs = 60'000;
const QString kTitle = QStringLiteral("タンドレル");

// tests/support/desktop-session.sh, and on it the program with the settings
// in memory, from a folder of its own; both end with the object.
class Desktop {
public:
    Desktop(bool tray, bool withDisplay = true)
    {
        // A session that cannot start says why there, and IsReady alone would not.
        m_session.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_session.start(QStringLiteral(TANDREL_SOURCE_DIR "/tests/support/desktop-session.sh"),
            { tray ? QStringLiteral("--tray") : QString() });
        for (QByteArray line; (line = m_session.readLine().trimmed()) != "ready";) {
            const qsizetype equals = line.indexOf('=');
            if (equals > 0)
                m_environment.insert(line.left(equals), line.mid(equals + 1));
            else if (!m_session.canReadLine() && !m_session.waitForReadyRead(kWaitMs))
                return;
        }
        m_environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        QFile::copy(
            QStringLiteral(TANDREL_BINARY_DIR "/tandrel"), m_folder.filePath(QStringLiteral("tandrel")));
        API_IniFileAccess::SetIniFilePathForTests(m_folder.filePath(QStringLiteral("tandrel.ini")));
        SaveSettings();
        QProcessEnvironment environment = m_environment;
        if (!withDisplay)
            environment.remove(QStringLiteral("DISPLAY"));
        m_program.setProcessEnvironment(environment);
        m_program.start(m_folder.filePath(QStringLiteral("tandrel")), {});
        m_program.waitForStarted(kWaitMs);
    }
    ~Desktop()
    {
        m_program.terminate();
        m_program.waitForFinished(kWaitMs);
        m_session.closeWriteChannel();
        m_session.waitForFinished(kWaitMs);
    }
    bool IsReady() const { return m_program.state() == QProcess::Running; }

    QJsonObject Probe(const QString& command) const
    {
        QProcess probe;
        probe.setProcessEnvironment(m_environment);
        probe.start(QStringLiteral(TANDREL_SOURCE_DIR "/tests/support/desktop_probe.py"), { command });
        probe.waitForFinished(kWaitMs);
        return QJsonDocument::fromJson(probe.readAllStandardOutput()).object();
    }
    // Asks until the answer passes; unlike QTRY, the time the probe takes counts.
    QJsonObject WaitFor(const QString& command, const std::function<bool(const QJsonObject&)>& passes) const
    {
        QJsonObject seen;
        // The caller judges the last answer, which names what was wrong.
        static_cast<void>(QTest::qWaitFor([&] { return passes(seen = Probe(command)); }, kWaitMs));
        return seen;
    }

private:
    QProcess m_session;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    QTemporaryDir m_folder;
    QProcess m_program;
};

// The pictures as the D-Bus tray carries them: ARGB32 in network byte order.
bool SamePicture(const QJsonArray& sent, const QIcon& icon)
{
    for (const QJsonValue size : sent) {
        const QImage image
            = icon.pixmap(size[0].toInt(), size[1].toInt()).toImage().convertToFormat(QImage::Format_ARGB32);
        QByteArray expected(image.sizeInBytes(), 0);
        qToBigEndian<quint32>(image.constBits(), image.width() * image.height(), expected.data());
        if (QByteArray::fromBase64(size[2].toString().toLatin1()) != expected)
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
        CommonSettings.PopTimeOut = 600; // a silent server keeps the check running while a row looks
        m_server = std::make_unique<ScriptedPop3Server>();
        QVERIFY(m_server->Listen());
    }

    void arrivalWindowInItsCorner_data()
    {
        QTest::addColumn<bool>("withDisplay");
        QTest::newRow("Wayland session with XWayland: X windows, placed as on X11") << true;
        QTest::newRow("Wayland alone: runs natively") << false;
    }

    void arrivalWindowInItsCorner()
    {
        QFETCH(bool, withDisplay);
        m_server->SetDialogue(ScriptedMailbox(1));
        Accounts.push_back(TestAccount(m_server->Port()));
        CommonSettings.ArrivalFormPosition = FormPositionCode::TopRight;
        CommonSettings.StartMinimizedWindow = false;
        const Desktop desktop(false, withDisplay);
        QVERIFY(desktop.IsReady());
        QTRY_VERIFY_WITH_TIMEOUT(m_server->ReceivedLines().contains("QUIT"), kWaitMs);

        const QJsonObject seen = desktop.WaitFor("windows",
            [&](const QJsonObject& x) { return !withDisplay || x[u"arrival"][u"viewable"].toBool(); });
        QCOMPARE(seen.contains(u"main"), withDisplay);
        if (withDisplay) {
            const QJsonValue area = seen[u"area"], rect = seen[u"arrival"][u"rect"];
            QCOMPARE(rect[0].toInt() + rect[2].toInt(), area[0].toInt() + area[2].toInt());
            QCOMPARE(rect[1].toInt(), area[1].toInt());
        }
    }

    void trayItemShowsTheState_data()
    {
        QTest::addColumn<Dialogue>("dialogue");
        QTest::addColumn<QByteArray>("seen"); // what the server has had when the picture counts
        QTest::addColumn<QIcon>("picture");
        QTest::addColumn<QString>("tip");
        QTest::newRow("idle after a check that went through")
            << ScriptedMailbox(0) << QByteArray("QUIT") << TrayPictures::Idle() << kTitle;
        QTest::newRow("checking while the server keeps silent")
            << Dialogue { S::Greeting("", S::After::Silence) } << QByteArray() << TrayPictures::Checking()
            << kTitle;
        QTest::newRow("failing account named in the tip")
            << Dialogue { S::Greeting("+OK\r\n"), S::Exchange("USER taro", "-ERR\r\n", S::After::Close) }
            << QByteArray("USER taro") << TrayPictures::Failing()
            << kTitle + QStringLiteral("\nhome: ｴﾗｰ(ACCOUNT ｴﾗｰ)");
    }

    void trayItemShowsTheState()
    {
        QFETCH(Dialogue, dialogue);
        QFETCH(QByteArray, seen);
        QFETCH(QIcon, picture);
        QFETCH(QString, tip);
        m_server->SetDialogue(dialogue);
        Accounts.push_back(TestAccount(m_server->Port()));
        const Desktop desktop(true);
        QVERIFY(desktop.IsReady());
        QTRY_VERIFY_WITH_TIMEOUT(
            m_server->ConnectionCount() == 1 && (seen.isEmpty() || m_server->ReceivedLines().contains(seen)),
            kWaitMs);

        const QJsonObject item = desktop.WaitFor(
            "tray", [&](const QJsonObject& item) { return SamePicture(item[u"icon"].toArray(), picture); });
        QVERIFY(SamePicture(item[u"icon"].toArray(), picture));
        QCOMPARE(item[u"tip"].toString(), tip);
    }

    void startedMinimised_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::newRow("D-Bus tray: hidden there with the menu, back on activation") << true;
        QTest::newRow("no tray at all: minimised on the taskbar") << false;
    }

    void startedMinimised()
    {
        QFETCH(bool, tray);
        const Desktop desktop(tray);
        QVERIFY(desktop.IsReady());
        if (!tray) {
            const auto minimised
                = [](const QJsonObject& x) { return x[u"main"][u"state"].toString() == u"Iconic"; };
            QVERIFY(minimised(desktop.WaitFor("windows", minimised)));
            return;
        }
        const QJsonObject item
            = desktop.WaitFor("tray", [](const QJsonObject& item) { return item.contains(u"menu"); });
        QCOMPARE(item[u"menu"].toArray(),
            (QJsonArray { "開く(_O)", "-", "ﾒｰﾙﾁｪｯｸ(_M)", "保存したｽﾊﾟﾑ(_D)...", "-", "閉じる(_X)" }));
        QVERIFY(!desktop.Probe("windows")[u"main"][u"viewable"].toBool());
        desktop.Probe("activate");
        const auto shown = [](const QJsonObject& x) { return x[u"main"][u"viewable"].toBool(); };
        QVERIFY(shown(desktop.WaitFor("windows", shown)));
    }

private:
    std::unique_ptr<ScriptedPop3Server> m_server;
};

QTEST_MAIN(tst_WaylandDesktop)
#include "tst_WaylandDesktop.moc"
