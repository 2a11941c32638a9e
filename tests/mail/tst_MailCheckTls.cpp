#include "FakeMailCheckHost.h"
#include "ScriptedPop3Server.h"
#include "TestAccount.h"
#include "TestCertificates.h"

#include "TlsTestSeam.h"
#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "mail/MailChecker.h"
#include "platform/TimerControl.h"

#include <QSslError>
#include <QTest>

using S = ScriptedPop3Server;
using Handshake = ScriptedPop3Server::Handshake;

Q_DECLARE_METATYPE(Handshake)

namespace {

const QList<ScriptedPop3Server::Step>& oneNewMessage()
{
    static const QList<ScriptedPop3Server::Step> dialogue {
        S::Greeting("+OK POP3 ready\r\n"),
        S::Exchange("USER taro", "+OK\r\n"),
        S::Exchange("PASS secret", "+OK logged in\r\n"),
        S::Exchange("STAT ", "+OK 1 300\r\n"),
        S::Exchange("UIDL 1", "+OK 1 tls-1\r\n"),
        S::Exchange("TOP 1 0", "+OK\r\nFrom: hanako@example.jp\r\nSubject: over TLS\r\n\r\n.\r\n"),
        S::Exchange("QUIT", "+OK bye\r\n", S::After::Close),
    };
    return dialogue;
}

QString failedWith(QSslError::SslError error)
{
    return QStringLiteral("ｴﾗｰ(") + QSslError(error).errorString() + QStringLiteral(")");
}

} // namespace

// A check on the implicit-TLS port: the same dialogue inside a verified
// connection, and every way the connection can fail to be trustworthy ending
// as a connection error before any credential leaves.
class tst_MailCheckTls : public QObject {
    Q_OBJECT

private:
    TestCertificates certificates;

private Q_SLOTS:
    void initTestCase() { QVERIFY2(certificates.Make(), qPrintable(certificates.Error())); }

    void cleanup()
    {
        TlsTestSeam::Reset();
        Accounts.clear();
    }

    void check_data()
    {
        QTest::addColumn<QString>("certificate"); // empty: the server speaks plain text
        QTest::addColumn<Handshake>("handshake");
        QTest::addColumn<bool>("onPort995"); // the real port, without the test's extra TLS port
        QTest::addColumn<QString>("status"); // empty: "ｴﾗｰ(" with any description

        const QString ok = QStringLiteral("成功(新着1件)");
        const auto complete = Handshake::Complete;
        QTest::newRow("certificate trusted") << "localhost" << complete << false << ok;
        QTest::newRow("port 995 itself means TLS") << "localhost" << complete << true << ok;
        QTest::newRow("certificate for another host")
            << "wrong-host" << complete << false << failedWith(QSslError::HostNameMismatch);
        QTest::newRow("certificate expired")
            << "expired" << complete << false << failedWith(QSslError::CertificateExpired);
        QTest::newRow("certificate signed by an unknown authority")
            << "unknown-ca" << complete << false << failedWith(QSslError::UnableToGetLocalIssuerCertificate);
        QTest::newRow("certificate self-signed")
            << "self-signed" << complete << false << failedWith(QSslError::SelfSignedCertificate);
        QTest::newRow("plain server on the TLS port") << QString() << complete << false << QString();
        QTest::newRow("server silent after the connect (time-out)")
            << "localhost" << Handshake::Silent << false << QStringLiteral("ｴﾗｰ()");
        QTest::newRow("connection dropped during the handshake")
            << "localhost" << Handshake::HangUp << false << QString();
    }

    void check()
    {
        QFETCH(QString, certificate);
        QFETCH(Handshake, handshake);
        QFETCH(bool, onPort995);
        QFETCH(QString, status);

        ScriptedPop3Server server;
        if (onPort995 && !server.Listen(995))
            QSKIP("cannot listen on port 995 here (needs root and a free port)");
        if (!onPort995) {
            QVERIFY(server.Listen());
            TlsTestSeam::SetExtraTlsPort(server.Port());
        }
        if (!certificate.isEmpty())
            server.UseTls(certificates.Certificate(certificate), certificates.Key(certificate), handshake);
        server.SetDialogue(oneNewMessage());
        TlsTestSeam::TrustAuthorities({ certificates.Authority() });

        FakeMailCheckHost host;
        host.AddRow(0, true, QStringLiteral("5"));
        MailChecker checker(host);
        host.Watch(checker);
        checker.tmrMailCheck().setEnabled(false);
        // Time-outs are stepped by the test; the real one must never come first.
        CommonSettings = CommonSettingsRecord();
        CommonSettings.PopTimeOut = 3600;
        CommonSettings.RecheckMailChecked = false;
        connect(&server, &ScriptedPop3Server::Silenced, &checker,
            [&] { Q_EMIT checker.tmrPopTimeOut().Timer(); });
        Accounts.push_back(TestAccount(server.Port()));
        Accounts[0].PopServer = QStringLiteral("localhost");
        Accounts[0].UIDL = QStringList { "seen-before" };

        checker.MailCheck(0);
        QTRY_VERIFY(server.IsIdle());

        const QString shown = host.Status(0);
        if (status.isEmpty())
            QVERIFY2(
                shown.startsWith(u"ｴﾗｰ("_qs) && shown.endsWith(u')') && shown.size() > 5, qPrintable(shown));
        else
            QCOMPARE(shown, status);
        if (status == u"成功(新着1件)"_qs) {
            QByteArrayList sent;
            for (const auto& step : oneNewMessage())
                if (!step.expectedLine.isNull())
                    sent << step.expectedLine;
            QCOMPARE(server.ReceivedLines(), sent);
            QCOMPARE(Accounts[0].UIDL, QStringList { "tls-1" });
            QCOMPARE(host.arrival.calls.size(), 3);
        } else {
            // Handshake bytes on a plain server may happen to hold a line end,
            // so what matters is that no credential got there.
            for (const QByteArray& line : server.ReceivedLines())
                QVERIFY2(!line.startsWith("USER") && !line.startsWith("PASS"), line.constData());
            QCOMPARE(Accounts[0].UIDL, QStringList { "seen-before" });
            QVERIFY(host.arrival.calls.isEmpty());
        }
        QVERIFY(!checker.tmrPopTimeOut().Enabled());

        // The same socket then checks a plain account as if TLS had never been.
        ScriptedPop3Server plain;
        QVERIFY(plain.Listen());
        plain.SetDialogue(oneNewMessage());
        Accounts[0] = TestAccount(plain.Port());
        checker.MailCheck(0);
        QCOMPARE(host.Status(0), u"成功(新着1件)"_qs);
    }
};

QTEST_GUILESS_MAIN(tst_MailCheckTls)
#include "tst_MailCheckTls.moc"
