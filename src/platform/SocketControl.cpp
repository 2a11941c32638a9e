#include "platform/SocketControl.h"

#include "platform/Cp932.h"
#include "platform/TlsTrust.h"

#include <QSslConfiguration>
#include <QSslSocket>

#include <utility>

namespace {

// Qt's own buffer is capped so that a flooding peer is read in bounded pieces
// and the reader above decides when enough is enough.
constexpr qint64 kReadBufferSize = 64 * 1024;

// The registered ports of POP3 and IMAP over implicit TLS.
constexpr qint32 kPop3sPort = 995;
constexpr qint32 kImapsPort = 993;

// Qt's defaults: the system's authorities, peer verification, host-name and
// date checks. Only a test adds an authority; nothing ever relaxes a check.
QSslConfiguration tlsConfiguration()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    const QList<QSslCertificate> extra = TlsTrust::ExtraAuthorities();
    if (!extra.isEmpty())
        configuration.addCaCertificates(extra);
    return configuration;
}

} // namespace

SocketControl::SocketControl(QObject* parent)
    : QObject(parent)
    , m_socket(new QSslSocket(this))
{
    m_socket->setReadBufferSize(kReadBufferSize);
    connect(m_socket, &QSslSocket::readyRead, this, &SocketControl::drainSocket);
    connect(m_socket, &QSslSocket::errorOccurred, this, &SocketControl::onErrorOccurred);
    // The last bytes before a close must not be lost with the connection.
    connect(m_socket, &QSslSocket::disconnected, this, &SocketControl::drainSocket);
    connect(m_socket, &QSslSocket::encrypted, this, &SocketControl::Encrypted);
}

bool SocketControl::IsTlsPort(qint32 port)
{
    return port == kPop3sPort || port == kImapsPort
        || (TlsTrust::ExtraImplicitTlsPort() != 0 && port == TlsTrust::ExtraImplicitTlsPort());
}

SocketControl::~SocketControl() = default;

QString SocketControl::RemoteHost() const { return m_host; }

void SocketControl::setRemoteHost(const QString& host) { m_host = host; }

qint32 SocketControl::RemotePort() const { return m_port; }

void SocketControl::setRemotePort(qint32 port) { m_port = port; }

int SocketControl::State() const
{
    if (m_failed)
        return StateError;
    switch (m_socket->state()) {
    case QAbstractSocket::HostLookupState:
        return StateResolvingHost;
    case QAbstractSocket::ConnectingState:
        return StateConnecting;
    case QAbstractSocket::ConnectedState:
        if (m_peerClosed)
            return StateClosing;
        // Until the certificate is verified nothing may be sent, so the
        // handshake still counts as connecting.
        return m_tls && !m_socket->isEncrypted() ? StateConnecting : StateConnected;
    case QAbstractSocket::ClosingState:
        return StateClosing;
    default:
        return m_peerClosed ? StateClosing : StateClosed;
    }
}

bool SocketControl::Connect()
{
    Close();
    if (m_host.trimmed().isEmpty()) {
        m_failed = true;
        m_errorDescription = QStringLiteral("No host name");
        return false;
    }
    if (m_port < 1 || m_port > 65535) {
        m_failed = true;
        m_errorDescription = QStringLiteral("Invalid port %1").arg(m_port);
        return false;
    }
    m_tls = IsTlsPort(m_port);
    if (!m_tls) {
        m_socket->connectToHost(m_host, static_cast<quint16>(m_port));
    } else if (!QSslSocket::supportsSsl()) {
        m_failed = true;
        m_errorDescription = QStringLiteral("TLS is not available");
        return false;
    } else {
        m_socket->setSslConfiguration(tlsConfiguration());
        // The certificate must name the host exactly as the account spells it.
        m_socket->connectToHostEncrypted(m_host, static_cast<quint16>(m_port));
    }
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return true;
}

void SocketControl::Close()
{
    // Whatever was sent has already been pushed to the system (see SendBytes),
    // so dropping the connection at once loses nothing of ours.
    m_socket->abort();
    m_received.clear();
    m_failed = false;
    m_peerClosed = false;
    m_tls = false;
}

bool SocketControl::SendData(const QString& text) { return SendBytes(Cp932::Encode(text)); }

bool SocketControl::SendBytes(const QByteArray& bytes)
{
    if (State() != StateConnected)
        return false;
    if (m_socket->write(bytes) != bytes.size())
        return false;
    // A command written just before a close must still reach the server.
    m_socket->flush();
    return true;
}

QString SocketControl::GetData() { return Cp932::Decode(GetBytes()); }

QByteArray SocketControl::GetBytes()
{
    if (m_socket->bytesAvailable() > 0)
        m_received += m_socket->readAll();
    return std::exchange(m_received, QByteArray());
}

bool SocketControl::StartTls()
{
    if (State() != StateConnected || m_tls || !QSslSocket::supportsSsl())
        return false;
    // Whatever came before the switch was plain text and is not to be read as
    // an answer from inside TLS.
    m_received.clear();
    m_tls = true;
    m_socket->setSslConfiguration(tlsConfiguration());
    m_socket->setPeerVerifyName(m_host);
    m_socket->startClientEncryption();
    return true;
}

QString SocketControl::LastErrorDescription() const { return m_errorDescription; }

void SocketControl::drainSocket()
{
    if (m_socket->bytesAvailable() <= 0)
        return;
    m_received += m_socket->readAll();
    Q_EMIT DataArrival(m_received.size());
}

void SocketControl::onErrorOccurred()
{
    // A hang-up before the handshake is done is a failed handshake, not the
    // end of a dialogue, and must say so.
    const bool handshakeCut = m_tls && !m_socket->isEncrypted();
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError && !handshakeCut) {
        drainSocket();
        m_peerClosed = true;
        Q_EMIT Closed();
        return;
    }
    drainSocket();
    m_failed = true;
    m_errorDescription = m_socket->errorString();
    Q_EMIT Error(m_errorDescription);
}
