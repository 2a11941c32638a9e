// The private Dovecot's IMAP side, which the IMAP checks are tested against:
// STARTTLS with the test authority, a delivery seen in IDLE, flags left alone
// by a read-only session, and a UIDVALIDITY that can change between checks.

#include "DovecotFixture.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QtTest>

namespace {

constexpr int kReplyLimitMs = 10'000;

// Reads lines up to one that starts with `until`; false when none comes.
bool readUntil(QSslSocket& socket, const QByteArray& until)
{
    for (;;) {
        while (!socket.canReadLine()) {
            if (!socket.waitForReadyRead(kReplyLimitMs))
                return false;
        }
        if (socket.readLine().startsWith(until))
            return true;
    }
}

bool exchange(QSslSocket& socket, const QByteArray& command, const QByteArray& until)
{
    socket.write(command + "\r\n");
    return readUntil(socket, until);
}

} // namespace

class tst_DovecotImap : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startTlsIdleFlagsAndUidValidity()
    {
        DovecotFixture server;
        if (!server.start()) {
            if (!server.skipReason().isEmpty())
                QSKIP(qPrintable(u"no private Dovecot here: "_qs + server.skipReason()));
            QFAIL(qPrintable(server.error()));
        }
        if (server.imapPort() == 0)
            QSKIP("dovecot-imapd is not installed (tools/setup.sh installs it)");

        QSslSocket socket;
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.addCaCertificate(server.authority());
        socket.setSslConfiguration(configuration);
        socket.setPeerVerifyName(DovecotFixture::tlsHost());
        socket.connectToHost(DovecotFixture::host(), server.imapPort());
        QVERIFY(readUntil(socket, "* OK"));
        QVERIFY(exchange(socket, "a STARTTLS", "a OK"));
        socket.startClientEncryption();
        QVERIFY2(socket.waitForEncrypted(kReplyLimitMs), qPrintable(socket.errorString()));
        QVERIFY(exchange(socket, "b LOGIN taro secret", "b OK"));
        QVERIFY(exchange(socket, "c EXAMINE INBOX", "c OK"));
        QVERIFY(exchange(socket, "d IDLE", "+ "));

        const QJsonObject message { { QStringLiteral("fromName"), QStringLiteral("Hanako") },
            { QStringLiteral("fromAddr"), QStringLiteral("hanako@example.jp") },
            { QStringLiteral("subject"), QStringLiteral("idle") },
            { QStringLiteral("date"), QStringLiteral("Tue, 15 Apr 2003 10:20:30 +0900") } };
        QVERIFY2(server.deliverMessages({ message }), qPrintable(server.error()));
        QElapsedTimer delivered;
        delivered.start();
        QVERIFY(readUntil(socket, "* 1 EXISTS"));
        qInfo("IDLE reported the delivery after %lld ms", delivered.elapsed());
        QVERIFY(exchange(socket, "DONE", "d OK"));
        QVERIFY(exchange(socket, "e LOGOUT", "e OK"));
        static const QRegularExpression encryptedLogin(
            QStringLiteral("imap-login: .*Login: user=<taro>.*, TLS,"));
        QVERIFY2(server.log().contains(encryptedLogin), qPrintable(server.log()));

        // The session above was read-only: the message is still unseen.
        QCOMPARE(server.imapFlags(), QList<QByteArrayList> { {} });
        const quint32 before = server.uidValidity();
        QVERIFY2(server.changeUidValidity(), qPrintable(server.error()));
        QVERIFY(server.uidValidity() != before);
    }
};

QTEST_GUILESS_MAIN(tst_DovecotImap)
#include "tst_DovecotImap.moc"
