#pragma once

#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtGlobal>

#include <memory>

class QSslCertificate;
class QSslSocket;

// A private Dovecot POP3 server on loopback with one Maildir account, run by
// tests/support/dovecot-fixture.sh. Stops the server when destroyed, so a
// failing test never leaves one behind.
class DovecotFixture {
public:
    DovecotFixture();
    ~DovecotFixture();
    DovecotFixture(const DovecotFixture&) = delete;
    DovecotFixture& operator=(const DovecotFixture&) = delete;

    // How clients reach the server.
    enum class Transport { Plain, Tls };

    // Starts the server; with Tls it speaks implicit TLS only (TLS required)
    // with a certificate for localhost signed by authority(). On false, skipReason() is set when this machine
    // cannot run one (not root, Dovecot missing) and error() otherwise.
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

    // The test authority that signed the server's certificate (TLS only).
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

private:
    // Connects and logs in as user(); the last reply read is left in reply.
    bool logIn(QSslSocket& socket, QByteArray& reply);
    bool runScript(const QString& program, const QStringList& arguments, QByteArray* output = nullptr,
        const QByteArray& input = {});
    bool deliverFiles(const QByteArray& fileList);

    std::unique_ptr<QTemporaryDir> m_dir;
    quint16 m_port = 0;
    Transport m_transport = Transport::Plain;
    int m_batch = 0;
    QString m_skipReason;
    QString m_error;
};
