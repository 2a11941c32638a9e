#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSslSocket;

// A TCP client with the surface the mail check is written against: a peer set
// before connecting, a numeric state, sends that report failure instead of
// queueing into a dead connection, and received bytes handed over in one piece.
// Ports 995 and 993 are implicit TLS: the connection counts as connected only once the
// server's certificate has been verified, and a failed verification is a
// connection error like a refused connect. Every other port is plain TCP.
class SocketControl : public QObject {
    Q_OBJECT

public:
    // State values.
    enum : int {
        StateClosed = 0,
        StateConnectionPending = 3,
        StateResolvingHost = 4,
        StateConnecting = 6,
        StateConnected = 7,
        StateClosing = 8, // the peer closed the connection
        StateError = 9,
    };

    explicit SocketControl(QObject* parent = nullptr);
    ~SocketControl() override;

    // Whether a connection to this port is TLS from its first byte.
    static bool IsTlsPort(qint32 port);

    QString RemoteHost() const;
    void setRemoteHost(const QString& host);
    qint32 RemotePort() const;
    void setRemotePort(qint32 port);

    int State() const;

    // Starts an asynchronous connect (TLS on port 995); false when the request itself is refused
    // (no host, a port outside 1..65535), with the reason in LastErrorDescription.
    bool Connect();
    void Close();

    // Sends text as code page 932; false when the socket cannot send.
    bool SendData(const QString& text);
    bool SendBytes(const QByteArray& bytes);

    // Everything received since the last call, as text (code page 932).
    QString GetData();
    // The same as raw bytes, for readers that frame replies themselves.
    QByteArray GetBytes();
    // Turns a connected plain connection into TLS (STARTTLS), with the same
    // checks as implicit TLS; until Encrypted the state is Connecting and
    // nothing can be sent. False when the connection cannot switch.
    bool StartTls();

    QString LastErrorDescription() const;

Q_SIGNALS:
    // Bytes arrived; the argument is how many are waiting.
    void DataArrival(qint64 bytesTotal);
    // The connection failed; the state is now Error.
    void Error(const QString& Description);
    // The TLS handshake is done and the certificate verified.
    void Encrypted();
    // The peer closed the connection (after the last DataArrival); the state
    // is now Closing. A reader that waits without polling learns it here.
    void Closed();

private:
    void drainSocket();
    void onErrorOccurred();

    QSslSocket* m_socket;
    QString m_host;
    qint32 m_port = 0;
    QByteArray m_received;
    QString m_errorDescription;
    bool m_failed = false;
    bool m_peerClosed = false;
    bool m_tls = false; // this connection is implicit TLS
};
