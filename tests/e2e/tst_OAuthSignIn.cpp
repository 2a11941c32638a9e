#include "../ui/MainWindowProbe.h"
#include "app/AccountTable.h"
#include "mail/MailChecker.h"
#include "platform/SingleInstance.h"
#include "platform/keyring/QtKeychainService.h"
#include "platform/oauth/QtOAuthService.h"
#include "startup/AppMain.h"
#include "ui/frmSignIn.h"
#include "ui/frmTandrel.h"

#include "DovecotFixture.h"
#include "OAuthProvider.h"
#include "RecordingTrayIconService.h"
#include "ScriptedMessageBoxService.h"
#include "TempSettingsFile.h"
#include "VirtualDisplayMain.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

// The OAuth2 sign-in as a user goes through it: the command in the tools
// menu, the browser (a script in its place) and the local authorization
// server, the refresh token in a real GNOME Keyring, then checks against a
// real Dovecot that asks that server about every token.
class tst_OAuthSignIn : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void signInThenCheck_data();
    void signInThenCheck();
    void cleanupTestCase();

private:
    DovecotFixture m_server;
    OAuthProvider m_provider;
    QProcess m_keyringBus;
    QTemporaryDir m_browserDir;
};

void tst_OAuthSignIn::initTestCase()
{
    QVERIFY2(m_provider.start(), qPrintable(m_provider.error()));
    if (!m_server.start(
            DovecotFixture::Transport::Plain, m_provider.url(QStringLiteral("/introspect")).toString())) {
        if (!m_server.skipReason().isEmpty())
            QSKIP(qPrintable(m_server.skipReason()));
        QFAIL(qPrintable(m_server.error()));
    }
    QVERIFY(m_server.deliverMessages(QJsonArray { QJsonObject { { "charset", "us-ascii" },
        { "fromName", "Hanako" }, { "fromAddr", "hanako@example.jp" }, { "subject", "token" },
        { "date", "Tue, 15 Apr 2003 10:20:30 +0900" } } }));
    m_keyringBus.start(QStringLiteral("dbus-run-session"),
        { QStringLiteral("--config-file=" TANDREL_SOURCE_DIR "/tests/support/keyring-bus.conf"),
            QStringLiteral("--"), QStringLiteral(TANDREL_SOURCE_DIR "/tests/support/keyring-fixture.sh") });
    m_keyringBus.write("keyring-password\nunused unused\n");
    QVERIFY2(m_keyringBus.waitForReadyRead(60'000), m_keyringBus.readAllStandardError().constData());
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_keyringBus.readLine().trimmed());
    qputenv("PATH", TANDREL_SOURCE_DIR "/tests/support/browser:" + qgetenv("PATH"));
}

void tst_OAuthSignIn::signInThenCheck_data()
{
    QTest::addColumn<QByteArray>("browser");
    QTest::addColumn<int>("lifetime"); // seconds of the tokens the sign-in gets
    QTest::addColumn<QString>("afterSignIn"); // what the provider does before the check
    QTest::addColumn<QString>("status"); // empty: no account was registered

    QTest::newRow("sign-in, then a successful check")
        << QByteArray("consent") << 3600 << QString() << QStringLiteral("成功(新着1件)");
    QTest::newRow("access token about to expire: refreshed before the check")
        << QByteArray("consent") << 30 << QStringLiteral("expire-access") << QStringLiteral("成功(新着1件)");
    QTest::newRow("refresh token revoked: the account fails until signed in again") << QByteArray(
        "consent") << 30 << QStringLiteral("revoke-refresh") << QStringLiteral("ｴﾗｰ(ｻｲﾝｲﾝが必要です)");
    QTest::newRow("browser closed without consenting: nothing registered")
        << QByteArray("close") << 3600 << QString() << QString();
}

void tst_OAuthSignIn::signInThenCheck()
{
    QFETCH(QByteArray, browser);
    QFETCH(int, lifetime);
    QFETCH(QString, afterSignIn);
    QFETCH(QString, status);
    m_provider.post(QStringLiteral("/control/lifetime?seconds=%1").arg(lifetime));
    const QByteArray provider = m_provider.url({}).toEncoded();
    TempSettingsFile settings;
    settings.write("[Common]\r\nOAuthCustomClientId=tandrel-test\r\nOAuthCustomAuthorizeUrl=" + provider
        + "/authorize\r\nOAuthCustomTokenUrl=" + provider + "/token\r\nOAuthCustomScope=pop\r\n"
        + "OAuthCustomServer=" + DovecotFixture::host().toLatin1()
        + "\r\nOAuthCustomPort=" + QByteArray::number(m_server.port()) + "\r\n");
    ScriptedMessageBoxService boxes;
    RecordingTrayIconService tray;
    QtKeychainService keyring;
    KeyringService::Install(&keyring);
    QtOAuthService oauth;
    OAuthService::Install(&oauth);
    const auto uninstall = qScopeGuard([] {
        KeyringService::Install(nullptr);
        OAuthService::Install(nullptr);
    });
    const QString done = m_browserDir.filePath(QString::fromLatin1(QTest::currentDataTag()).left(8));
    qputenv("TANDREL_BROWSER", browser);
    qputenv("TANDREL_BROWSER_DONE", done.toLocal8Bit());
    const SingleInstance instance(settings.path());
    QVERIFY(AppMain::StartUp(instance));
    frmTandrel w;
    w.Form_Load();
    w.txtChkInterval->setText(QStringLiteral("5"));

    QElapsedTimer sinceOk;
    QTimer::singleShot(0, &w, [&] {
        auto* dialog = w.findChild<frmSignIn*>();
        dialog->cboProvider->setCurrentIndex(2); // the custom provider of the settings file
        dialog->txtMailAddress->setText(DovecotFixture::user());
        sinceOk.start();
        dialog->btnAction[0]->click();
        if (browser == "close") {
            QFileSystemWatcher watcher({ m_browserDir.path() });
            QSignalSpy changed(&watcher, &QFileSystemWatcher::directoryChanged);
            while (!QFile::exists(done))
                QVERIFY(changed.wait(30'000));
            dialog->btnAction[1]->click();
        }
    });
    w.mnuSignIn_Click();
    if (status.isEmpty()) {
        QVERIFY(Accounts.empty());
        QVERIFY(!settings.read().contains("OAuth2"));
        return;
    }
    QVERIFY(settings.read().contains("\r\nAuthMethod=OAuth2\r\nOAuthProvider=Custom\r\n"));
    if (!afterSignIn.isEmpty())
        m_provider.post(QStringLiteral("/control/") + afterSignIn);
    w.Checker().MailCheck(0);
    QCOMPARE(MainWindowProbe::Cell(w, 0, 2), status);
    if (afterSignIn.isEmpty())
        qInfo("ms from OK to the first successful check: %lld", sinceOk.elapsed());
    w.mnuExit->trigger();
}

void tst_OAuthSignIn::cleanupTestCase()
{
    m_keyringBus.closeWriteChannel();
    m_keyringBus.waitForFinished();
}

// The browser is started through the desktop's services, which the
// offscreen platform does not have: a private X server gives them.
TANDREL_TEST_MAIN_ON_X11(tst_OAuthSignIn)

#include "tst_OAuthSignIn.moc"
