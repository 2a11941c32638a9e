// A real check over implicit TLS: Dovecot on loopback with TLS required and a
// certificate from the test authority, the mail engine unchanged.

#include "DovecotFixture.h"
#include "FakeMailCheckHost.h"
#include "TestAccount.h"

#include "TlsTestSeam.h"
#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "mail/MailChecker.h"
#include "platform/TimerControl.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QtTest>

class tst_MailCheckDovecotTls : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!m_server.start(DovecotFixture::Transport::Tls)) {
            if (!m_server.skipReason().isEmpty())
                QSKIP(qPrintable(u"no private Dovecot here: "_qs + m_server.skipReason()));
            QFAIL(qPrintable(m_server.error()));
        }
        QJsonArray messages;
        for (const QString& subject : { u"暗号化された接続"_qs, u"second"_qs, u"third"_qs })
            messages << QJsonObject { { QStringLiteral("charset"), QStringLiteral("utf-8") },
                { QStringLiteral("fromName"), u"山田 花子"_qs },
                { QStringLiteral("fromAddr"), QStringLiteral("hanako@example.jp") },
                { QStringLiteral("subject"), subject },
                { QStringLiteral("date"), QStringLiteral("Tue, 15 Apr 2003 10:20:30 +0900") } };
        QVERIFY2(m_server.deliverMessages(messages), qPrintable(m_server.error()));

        // The server's port stands in for 995, and its authority for the system's.
        TlsTestSeam::TrustAuthorities({ m_server.authority() });
        TlsTestSeam::SetExtraTlsPort(m_server.port());
        SetOptionDefaults();
        Accounts.clear();
        // The fixture's user and password are the test account's.
        Accounts.push_back(TestAccount(m_server.port(), 1));
        Accounts[0].PopServer = DovecotFixture::tlsHost();
        m_host.AddRow(0, true, QStringLiteral("1"));
        m_checker = std::make_unique<MailChecker>(m_host);
        m_host.Watch(*m_checker);
        m_checker->tmrMailCheck().setEnabled(false);
    }

    // All new on the first check, nothing new on the second, as over plain TCP.
    void checks_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("announced");
        QTest::newRow("first check: every message new") << u"成功(新着3件)"_qs << 3;
        QTest::newRow("second check: nothing new") << u"成功(新着0件)"_qs << 0;
    }

    void checks()
    {
        QFETCH(QString, status);
        QFETCH(int, announced);
        CommonSettings.RecheckMailChecked = false;
        m_host.arrival.calls.clear();

        m_checker->MailCheck(0);

        QCOMPARE(m_host.Status(0), status);
        QCOMPARE(m_host.arrival.calls.size(), announced == 0 ? 0 : announced + 2);
        if (announced > 0)
            QCOMPARE(m_host.arrival.calls.at(1),
                u"MailArraival 0| 山田 花子 <hanako@example.jp>|03/04/15 10:20:30| 暗号化された接続"_qs);
        QCOMPARE(Accounts.at(0).UIDL, m_server.serverUidls());
    }

    void serverLoggedEncryptedLogins()
    {
        static const QRegularExpression login(QStringLiteral("Login: user=<taro>.*"));
        QStringList logins;
        for (auto it = login.globalMatch(m_server.log()); it.hasNext();)
            logins << it.next().captured();
        // Two checks and the fixture's own listings.
        QVERIFY2(logins.size() >= 2, qPrintable(m_server.log()));
        for (const QString& line : std::as_const(logins))
            QVERIFY2(line.contains(QStringLiteral(", TLS,")), qPrintable(line));
    }

    void cleanupTestCase()
    {
        m_checker.reset();
        m_server.stop();
        TlsTestSeam::Reset();
    }

private:
    DovecotFixture m_server;
    FakeMailCheckHost m_host;
    std::unique_ptr<MailChecker> m_checker;
};

QTEST_GUILESS_MAIN(tst_MailCheckDovecotTls)
#include "tst_MailCheckDovecotTls.moc"
