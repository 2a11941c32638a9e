#include "../ui/MainWindowProbe.h"
#include "app/AccountTable.h"
#include "mail/MailChecker.h"
#include "platform/SingleInstance.h"
#include "startup/AppMain.h"
#include "ui/frmArrival.h"
#include "ui/frmTandrel.h"

#include "RecordingSoundService.h"
#include "RecordingTrayIconService.h"
#include "ScriptedMessageBoxService.h"
#include "TempSettingsFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kServerScript = QStringLiteral(TANDREL_SOURCE_DIR "/tools/demo/server.sh");
// Generous: Dovecot's first start on a loaded machine takes seconds.
constexpr int kLimitMs = 180'000;

QJsonObject demoMessage(const char* file, int number)
{
    QFile json(QStringLiteral(TANDREL_SOURCE_DIR "/tools/demo/") + QLatin1StringView(file));
    json.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(json.readAll()).array().at(number).toObject();
}

} // namespace

// The demo's server script and settings with the whole program: the start-up
// check announces the demo inbox as the user reads it, the next delivery shows
// up at the next minute tick, and the server goes away with the demo.
class tst_DemoMailbox : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void startUpCheckShowsInbox_data();
    void startUpCheckShowsInbox();
    void minuteTickShowsNextDelivery();
    void endOfDemoStopsServer();

private:
    QByteArray serverLine();
    const FlatListView& arrivalRows() const { return *m_window->ArrivalForm()->lvArrival; }
    QString statusText() const { return MainWindowProbe::Cell(*m_window, 0, 2); }

    QTemporaryDir m_dir;
    QProcess m_server;
    quint16 m_port = 0;
    ScriptedMessageBoxService m_boxes;
    RecordingTrayIconService m_tray;
    RecordingSoundService m_sound;
    TempSettingsFile m_settings;
    std::unique_ptr<frmTandrel> m_window;
};

QByteArray tst_DemoMailbox::serverLine()
{
    while (!m_server.canReadLine()) {
        if (!m_server.waitForReadyRead(kLimitMs))
            return {};
    }
    return m_server.readLine().trimmed();
}

void tst_DemoMailbox::initTestCase()
{
    // The server's unprivileged processes must reach their folder inside.
    QFile::setPermissions(m_dir.path(), QFile::permissions(m_dir.path()) | QFile::ExeGroup | QFile::ExeOther);
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server.start(
        QStringLiteral("bash"), { kServerScript, QStringLiteral("serve"), m_dir.filePath("server") });
    const QByteArray first = serverLine();
    if (!first.startsWith("port ")) {
        m_server.waitForFinished(kLimitMs);
        if (m_server.exitCode() == 77)
            QSKIP("this machine cannot run a private Dovecot server");
        QFAIL("the demo server did not start");
    }
    m_port = static_cast<quint16>(first.mid(5).toUInt());

    QProcess settings;
    settings.start(
        QStringLiteral("bash"), { kServerScript, QStringLiteral("settings"), QString::number(m_port) });
    QVERIFY(settings.waitForFinished(kLimitMs));
    m_settings.write(settings.readAllStandardOutput());
    Accounts.clear();
    const SingleInstance instance(m_settings.path());
    QVERIFY(AppMain::StartUp(instance));

    m_window = std::make_unique<frmTandrel>();
    m_window->Form_Load(); // returns once the start-up check is over
    QCOMPARE(statusText(), QStringLiteral("成功(新着8件)"));
    QTRY_VERIFY(m_window->ArrivalForm() && m_window->ArrivalForm()->isVisible());
}

void tst_DemoMailbox::cleanupTestCase()
{
    m_window.reset();
    // Never killed: only its own end stops Dovecot.
    m_server.closeWriteChannel();
    m_server.waitForFinished(kLimitMs);
}

void tst_DemoMailbox::startUpCheckShowsInbox_data()
{
    QTest::addColumn<int>("message");
    QTest::addColumn<QString>("date");

    QTest::newRow("ISO-2022-JP subject and sender") << 0 << QStringLiteral("26/12/07 09:12:40");
    QTest::newRow("UTF-8 subject and sender") << 1 << QStringLiteral("26/12/07 10:03:05");
    QTest::newRow("subject folded over four lines") << 4 << QStringLiteral("26/12/07 15:00:00");
    QTest::newRow("no Date header") << 5 << QString();
}

void tst_DemoMailbox::startUpCheckShowsInbox()
{
    QFETCH(int, message);
    QFETCH(QString, date);

    const QJsonObject sent = demoMessage("inbox.json", message);
    const FlatListView::Row& row = arrivalRows().RowAt(message);
    QCOMPARE(row.cells[1].trimmed(), sent["subject"].toString());
    QVERIFY2(row.cells[2].contains(sent["fromName"].toString()), qPrintable(row.cells[2]));
    QCOMPARE(row.cells[3], date);
}

void tst_DemoMailbox::minuteTickShowsNextDelivery()
{
    m_server.write("next\n");
    QCOMPARE(serverLine(), QByteArray("delivered 1"));

    m_window->Checker().tmrMailCheck_Timer(); // interval 1: every tick checks
    QCOMPARE(statusText(), QStringLiteral("成功(新着1件)"));
    QCOMPARE(arrivalRows().RowCount(), 1);
    QCOMPARE(arrivalRows().CellText(0, 1).trimmed(), demoMessage("later.json", 0)["subject"].toString());
}

void tst_DemoMailbox::endOfDemoStopsServer()
{
    m_window->mnuExit->trigger();
    // The demo ends the server by closing its input, even when the demo itself is killed.
    m_server.closeWriteChannel();
    QVERIFY(m_server.waitForFinished(kLimitMs));
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), m_port);
    QVERIFY(!socket.waitForConnected(5000));
    QVERIFY(!QFile::exists(m_dir.filePath("server")));
}

QTEST_MAIN(tst_DemoMailbox)
#include "tst_DemoMailbox.moc"
