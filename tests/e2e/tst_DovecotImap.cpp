// IMAP checks against Dovecot's IMAP server on loopback: the first check, one
// with nothing new, push while the account idles, a UIDVALIDITY that changed
// between checks, and STARTTLS on a port without implicit TLS. A check never
// sets a flag on the server.

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

namespace {

QJsonObject message(const QString& subject)
{
    return { { QStringLiteral("fromName"), QStringLiteral("Hanako") },
        { QStringLiteral("fromAddr"), QStringLiteral("hanako@example.jp") },
        { QStringLiteral("subject"), subject },
        { QStringLiteral("date"), QStringLiteral("Tue, 15 Apr 2003 10:20:30 +0900") } };
}

} // namespace

class tst_DovecotImap : public QObject {
    Q_OBJECT

    DovecotFixture m_server;
    FakeMailCheckHost m_host;
    std::unique_ptr<MailChecker> m_checker;

    // What the program signed in with, less the fixture's own sessions that read the flags.
    qsizetype m_signInsAfterFirstCheck = 0;
    qsizetype signIns() const { return m_server.log().count(QStringLiteral("Login: user=<taro>")); }

    // The subjects the arrival window was given by the last check.
    QStringList check()
    {
        m_host.arrival.calls.clear();
        m_checker->MailCheck(0);
        QStringList subjects;
        for (const QString& call : m_host.arrival.calls)
            if (call.startsWith(u"MailArraival"))
                subjects << call.section(u'|', 3).trimmed();
        return subjects;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!m_server.start()) {
            if (!m_server.skipReason().isEmpty())
                QSKIP(qPrintable(u"no private Dovecot here: "_qs + m_server.skipReason()));
            QFAIL(qPrintable(m_server.error()));
        }
        if (m_server.imapPort() == 0)
            QSKIP("dovecot-imapd is not installed (tools/setup.sh installs it)");
        TlsTestSeam::SetExtraTlsPort(m_server.imapTlsPort());
        TlsTestSeam::TrustAuthorities({ m_server.authority() });
        CommonSettings = CommonSettingsRecord();
        CommonSettings.RecheckMailChecked = false;
        Accounts.push_back(TestAccount(m_server.imapTlsPort()));
        Accounts[0].PopServer = DovecotFixture::tlsHost();
        Accounts[0].Protocol = MailProtocol::Imap;
        m_host.AddRow(0, true, QStringLiteral("5"));
        m_checker = std::make_unique<MailChecker>(m_host);
        m_host.Watch(*m_checker);
        m_checker->tmrMailCheck().setEnabled(false);
        QVERIFY2(m_server.deliverMessages({ message(u"一通目"_qs), message(u"二通目"_qs) }),
            qPrintable(m_server.error()));
    }

    void firstCheckAnnouncesTheUnseenAndChangesNoFlag()
    {
        QCOMPARE(check(), (QStringList { u"一通目"_qs, u"二通目"_qs }));
        QCOMPARE(m_host.Status(0), u"成功(新着2件)"_qs);
        QCOMPARE(Accounts[0].UIDL.size(), 4); // the validity, the newest arrival, two UIDs
        QCOMPARE(signIns(), 1);
        QCOMPARE(m_server.imapFlags(), (QList<QByteArrayList> { {}, {} }));
        m_signInsAfterFirstCheck = signIns();
    }

    void nothingChangedAnnouncesNothing()
    {
        const QStringList seen = Accounts[0].UIDL;
        QCOMPARE(check(), QStringList());
        QCOMPARE(Accounts[0].UIDL, seen);
    }

    // The account idles after its check; a delivery is announced without
    // any timer of the program firing, on the connection of the first check:
    // two checks and the one that the push brings, one sign-in in all.
    void deliveryWhileIdlingIsAnnounced()
    {
        QTRY_VERIFY(m_host.trayToolTip.contains(u"ﾌﾟｯｼｭ"));
        m_host.arrival.calls.clear();
        QVERIFY2(m_server.deliverMessages({ message(u"三通目"_qs) }), qPrintable(m_server.error()));
        QTRY_VERIFY_WITH_TIMEOUT(m_host.arrival.calls.filter(u"三通目"_qs).size() == 1, 10000);
        QCOMPARE(signIns(), m_signInsAfterFirstCheck);
        QCOMPARE(m_server.imapFlags(), (QList<QByteArrayList> { {}, {}, {} }));
    }

    void changedUidValidityFloodsNothing()
    {
        m_checker->AbortAll(); // no push meanwhile
        QVERIFY2(m_server.changeUidValidity(), qPrintable(m_server.error()));
        QCOMPARE(check(), QStringList());
        QCOMPARE(Accounts[0].UIDL.first(), QString::number(m_server.uidValidity()) + QStringLiteral(":0"));
        QVERIFY2(m_server.deliverMessages({ message(u"四通目"_qs) }), qPrintable(m_server.error()));
        QCOMPARE(check(), QStringList { u"四通目"_qs });
    }

    void startTlsOnAnotherPort()
    {
        Accounts[0].PopPort = m_server.imapPort();
        Accounts[0].UIDL.clear();
        QCOMPARE(check().size(), 4);
        static const QRegularExpression encryptedLogins(
            QStringLiteral("imap-login: .*Login: user=<taro>.*, TLS,"));
        QCOMPARE(m_server.log().count(encryptedLogins),
            m_server.log().count(QStringLiteral("Login: user=<taro>")));
    }

    void cleanupTestCase()
    {
        m_checker.reset();
        m_server.stop();
        TlsTestSeam::Reset();
    }
};

QTEST_GUILESS_MAIN(tst_DovecotImap)
#include "tst_DovecotImap.moc"
