#pragma once

#include <QByteArrayList>
#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtGlobal>

#include <memory>

class QSslCertificate;
class QSslConfiguration;
class QSslSocket;

// A private Dovecot POP3 and IMAP server on loopback with one Maildir account,
// run by tests/support/dovecot-fixture.sh. Stops the server when destroyed, so
// a failing test never leaves one behind.
class DovecotFixture {
public:
    DovecotFixture();
    ~DovecotFixture();
    DovecotFixture(const DovecotFixture&) = delete;
    DovecotFixture& operator=(const DovecotFixture&) = delete;

    // How clients reach the server.
    enum class Transport { Plain, Tls };

    // Starts the server; with Tls its POP3 speaks implicit TLS only (TLS
    // required) with a certificate for localhost signed by authority(); Plain
    // POP3 offers no TLS at all. On false, skipReason() is set when this
    // machine cannot run one (not root, Dovecot missing) and error() otherwise.
    // With an introspection URL it also signs users in with OAuth2 tokens
    // (XOAUTH2, OAUTHBEARER) that the endpoint there vouches for.
    bool start(Transport transport = Transport::Plain, const QString& introspectionUrl = {});
    void stop();
    bool isRunning() const { return m_port != 0; }

    QString skipReason() const { return m_skipReason; }
    QString error() const { return m_error; }

    quint16 port() const { return m_port; }
    static QString host() { return QStringLiteral("127.0.0.1"); }
    // The host name the certificate carries, for TLS.
    static QString tlsHost() { return QStringLiteral("localhost"); }
    static QString user() { return QStringLiteral("taro"); }
    static QString password() { return QStringLiteral("secret"); }

    // IMAP, served with either transport, on ports of its own with the same
    // certificate and account: imapPort() offers STARTTLS, imapTlsPort() is
    // TLS from the first byte (a test names it to the client as its 993).
    // Dovecot counts a loopback client as secured and so accepts a sign-in
    // before STARTTLS too; only an encrypted session's login line in log()
    // says ", TLS,". Both are 0 where dovecot-imapd is missing.
    quint16 imapPort() const { return m_imapPort; }
    quint16 imapTlsPort() const { return m_imapTlsPort; }

    // The test authority that signed the server's certificate (TLS or IMAP).
    QSslCertificate authority() const;
    // What the server has logged so far.
    QString log() const;

    // Makes messages with tests/support/make_messages.py from its JSON element
    // list and delivers them in list order; false with error() on failure.
    // The messages as made, before delivery, go to `made` when given.
    bool deliverMessages(const QJsonArray& messages, QStringList* made = nullptr);
    // Delivers a mixed mailbox of this many generated messages.
    bool deliverBulk(int count);

    // The identifiers the server lists right now, in message order, read in a
    // session of its own so tests compare against the server, not the client.
    QStringList serverUidls();
    // Deletes one message as another mail client would, in a session of its own.
    bool deleteMessage(int number);

    // INBOX's UIDVALIDITY as an IMAP session of its own sees it; 0 on failure.
    quint32 uidValidity();
    // Gives INBOX another UIDVALIDITY, as a server whose index was rebuilt
    // does, and confirms it over IMAP; false with error() on failure.
    bool changeUidValidity();
    // The flags of every INBOX message in message order, read read-only in an
    // IMAP session of its own, so a test can prove a check changed none.
    // \Recent is left out: it describes a session, not the message.
    // Empty for an empty INBOX, and on failure with error() set.
    QList<QByteArrayList> imapFlags();

private:
    // Connects and logs in as user(); the last reply read is left in reply.
    bool logIn(QSslSocket& socket, QByteArray& reply);
    bool runScript(const QString& program, const QStringList& arguments, QByteArray* output = nullptr,
        const QByteArray& input = {});
    bool deliverFiles(const QByteArray& fileList);
    // Connects over implicit TLS, logs in and EXAMINEs INBOX; its untagged
    // replies are left in examined.
    bool imapExamine(QSslSocket& socket, QByteArrayList& examined);
    QSslConfiguration trustingConfiguration() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    quint16 m_port = 0;
    quint16 m_imapPort = 0;
    quint16 m_imapTlsPort = 0;
    Transport m_transport = Transport::Plain;
    int m_batch = 0;
    QString m_skipReason;
    QString m_error;
};
