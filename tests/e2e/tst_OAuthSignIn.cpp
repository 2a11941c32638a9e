#include "../ui/MainWindowProbe.h"
#include "accounts/OAuthTokens.h"
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
#include "TlsTestSeam.h"
#include "VirtualDisplayMain.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>

#include <utility>

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
            DovecotFixture::Transport::Tls, m_provider.url(QStringLiteral("/introspect")).toString())) {
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
    // A token never goes out without TLS: the server's port stands in for 995.
    TlsTestSeam::TrustAuthorities({ m_server.authority() });
    TlsTestSeam::SetExtraTlsPort(m_server.port());
}

void tst_OAuthSignIn::signInThenCheck_data()
{
    QTest::addColumn<QString>("provider"); // chosen in the dialog; the local server keeps its rules
    // What the provider is told first (/control/set); port= is the account's
    // port, else the TLS server's.
    QTest::addColumn<QString>("set");
    QTest::addColumn<QString>("afterSignIn"); // what the provider does before the check
    QTest::addColumn<QString>("status"); // of the last account; else the dialog's message holds this

    const QString ok = QStringLiteral("成功(新着1件)");
    const auto row = [](const char* name, const char* provider, const char* set, const char* afterSignIn,
                         const QString& status) {
        QTest::newRow(name) << QString::fromLatin1(provider) << QString::fromLatin1(set)
                            << QString::fromLatin1(afterSignIn) << status;
    };
    // Every row signs in as an address with a "+", which must reach the provider as typed.
    row("sign-in, then a successful check", "Custom", "", "", ok);
    row("Microsoft, token about to expire: refreshed with its scope", "Microsoft", "lifetime=90",
        "expire-access", ok);
    row("refresh token revoked: the account fails until signed in again", "Custom", "lifetime=30",
        "revoke-refresh", QStringLiteral("ｴﾗｰ(ｻｲﾝｲﾝが必要です: invalid_grant)"));
    row("new multi-factor rule: the account signs in again", "Microsoft",
        "lifetime=30&error=interaction_required", "",
        QStringLiteral("ｴﾗｰ(ｻｲﾝｲﾝが必要です: interaction_required)"));
    row("client registration refused: the STATUS names the registration", "Google",
        "lifetime=30&error=invalid_client", "", QStringLiteral("ｴﾗｰ(ｸﾗｲｱﾝﾄ登録 ｴﾗｰ: invalid_client)"));
    row("token answer without a content type: the check waits no longer than its time-out", "Custom",
        "lifetime=30&shape=untyped", "", QStringLiteral("ｴﾗｰ(ﾄｰｸﾝ ｴﾗｰ: no token within 2 s)"));
    row("Google, signed in before elsewhere: a refresh token all the same", "Google", "consented=1", "", ok);
    // Kept through the network error, the token is refused, then forgotten and renewed.
    row("access token kept through a network error, forgotten once the server refuses it", "Custom", "",
        "network-error", ok);
    row("IMAP account: the token through AUTHENTICATE", "Microsoft", "protocol=imap", "", ok);
    row("browser signed in to another account: refused, naming both", "Google", "account=jiro@example.jp", "",
        QStringLiteral("(jiro@example.jp) が入力したアドレス (taro+news@example.jp)"));
    row("custom provider on a plain port: no token goes out", "Custom", "port=110", "",
        QStringLiteral("ｴﾗｰ(OAUTH2 は TLS のみ)"));
    row("browser closed without consenting: nothing registered", "Custom", "", "close",
        QStringLiteral("お待ちください"));
}

void tst_OAuthSignIn::signInThenCheck()
{
    QFETCH(QString, provider);
    QFETCH(QString, set);
    QFETCH(QString, afterSignIn);
    QFETCH(QString, status);
    m_provider.post(QStringLiteral("/control/set?mode=%1&%2").arg(provider.toLower(), set));
    const bool imap = QUrlQuery(set).queryItemValue(QStringLiteral("protocol")) == u"imap";
    const QString port = imap ? QString::number(m_server.imapTlsPort())
                              : QUrlQuery(set).queryItemValue(QStringLiteral("port"));
    TlsTestSeam::SetExtraTlsPort(imap ? m_server.imapTlsPort() : m_server.port());
    const auto tlsPort = qScopeGuard([this] { TlsTestSeam::SetExtraTlsPort(m_server.port()); });
    const QByteArray url = m_provider.url({}).toEncoded();
    // Each provider of the dialog, played by the local server.
    QByteArray common = "[Common]\r\nPopTimeOut=2\r\nOAuthCustomScope=pop\r\n";
    for (const QByteArray name : { "Microsoft", "Google", "Custom" })
        common += "OAuth" + name + "ClientId=tandrel-" + name + "\r\nOAuth" + name
            + "ClientSecret=" + (name == "Google" ? "s3cret" : "") + "\r\nOAuth" + name
            + "AuthorizeUrl=" + url + "/authorize\r\nOAuth" + name + "TokenUrl=" + url + "/token\r\nOAuth"
            + name + "Server=" + DovecotFixture::tlsHost().toLatin1() + "\r\nOAuth" + name
            + "Port=" + (port.isEmpty() ? QByteArray::number(m_server.port()) : port.toLatin1()) + "\r\n";
    TempSettingsFile settings;
    settings.write(common);
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
    qputenv("TANDREL_BROWSER", afterSignIn == u"close" ? "close" : "consent");
    qputenv("TANDREL_BROWSER_DONE", done.toLocal8Bit());
    const SingleInstance instance(settings.path());
    QVERIFY(AppMain::StartUp(instance));
    frmTandrel w;
    w.Form_Load();
    w.txtChkInterval->setText(QStringLiteral("5"));
    w.cmbProtocol->setCurrentIndex(imap ? 1 : 0);
    const bool registers = status.startsWith(u"ｴﾗｰ(") || status.startsWith(u"成功(");

    QElapsedTimer sinceOk;
    QTimer::singleShot(0, &w, [&] {
        auto* dialog = w.findChild<frmSignIn*>();
        dialog->cboProvider->setCurrentIndex(provider == u"Microsoft" ? 0 : provider == u"Google" ? 1 : 2);
        dialog->txtMailAddress->setText(QStringLiteral("taro+news@example.jp"));
        sinceOk.start();
        dialog->btnAction[0]->click();
        if (registers)
            return;
        QFileSystemWatcher watcher({ m_browserDir.path() });
        QSignalSpy changed(&watcher, &QFileSystemWatcher::directoryChanged);
        while (!QFile::exists(done))
            QVERIFY(changed.wait(30'000));
        QTRY_VERIFY(dialog->lblMessage->text().contains(status));
        dialog->btnAction[1]->click();
    });
    w.mnuSignIn_Click();
    if (!registers) {
        QVERIFY(Accounts.empty());
        QVERIFY(!settings.read().contains("OAuth2"));
        return;
    }
    QVERIFY(
        settings.read().contains("\r\nAuthMethod=OAuth2\r\nOAuthProvider=" + provider.toLatin1() + "\r\n"));
    QCOMPARE(settings.read().contains("\r\nProtocol=IMAP\r\n"), imap);
    if (afterSignIn == u"network-error") {
        // TLS's own port, where nothing listens here: refused before the token goes out.
        const qint32 port = std::exchange(Accounts[0].PopPort, 995);
        w.Checker().MailCheck(0);
        QVERIFY(MainWindowProbe::Cell(w, 0, 2).startsWith(u"ｴﾗｰ("));
        Accounts[0].PopPort = port;
        m_provider.post(QStringLiteral("/control/expire-access"));
        w.Checker().MailCheck(0);
        QVERIFY(MainWindowProbe::Cell(w, 0, 2).startsWith(u"ｴﾗｰ(OAUTH2 ｻｲﾝｲﾝ ｴﾗｰ"));
    } else if (!afterSignIn.isEmpty()) {
        m_provider.post(QStringLiteral("/control/") + afterSignIn);
    }
    // Half a minute on, a token of 90 s has less left than the renewal's margin.
    const auto clock = qScopeGuard([] { OAuthTokens::SetClock({}); });
    if (afterSignIn == u"expire-access")
        OAuthTokens::SetClock([] { return QDateTime::currentDateTimeUtc().addSecs(31); });
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
