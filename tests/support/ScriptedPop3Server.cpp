#include "ScriptedPop3Server.h"

#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTimer>

#include <csignal>

namespace {

// Hands out TLS-capable sockets; one left in plain mode is plain TCP.
class SslCapableServer : public QTcpServer {
protected:
    void incomingConnection(qintptr handle) override
    {
        auto* socket = new QSslSocket(this);
        if (socket->setSocketDescriptor(handle))
            addPendingConnection(socket);
        else
            delete socket;
    }
};

} // namespace

ScriptedPop3Server::Step ScriptedPop3Server::Greeting(const QByteArray& reply, After after)
{
    return { QByteArray(), { reply }, after };
}

ScriptedPop3Server::Step ScriptedPop3Server::Exchange(
    const QByteArray& expectedLine, const QByteArray& reply, After after)
{
    return { expectedLine.isNull() ? QByteArray("") : expectedLine, { reply }, after };
}

ScriptedPop3Server::Step ScriptedPop3Server::Pieces(
    const QByteArray& expectedLine, const QByteArrayList& pieces, After after)
{
    return { expectedLine.isNull() ? QByteArray("") : expectedLine, pieces, after };
}

ScriptedPop3Server::ScriptedPop3Server(QObject* parent)
    : QObject(parent)
    , m_server(std::make_unique<SslCapableServer>())
{
    // A client may hang up while a reply is still being written to it, as
    // after QUIT; that must end the write, not the test program.
    std::signal(SIGPIPE, SIG_IGN);
    connect(m_server.get(), &QTcpServer::newConnection, this, &ScriptedPop3Server::onNewConnection);
}

ScriptedPop3Server::~ScriptedPop3Server()
{
    if (m_client)
        m_client->abort();
}

bool ScriptedPop3Server::Listen(quint16 port) { return m_server->listen(QHostAddress::LocalHost, port); }

quint16 ScriptedPop3Server::Port() const { return m_server->serverPort(); }

void ScriptedPop3Server::SetDialogue(const QList<Step>& steps)
{
    m_script = steps;
    m_dialogue = steps;
}

void ScriptedPop3Server::SetChunkSize(qsizetype bytes) { m_chunkSize = bytes; }

void ScriptedPop3Server::UseTls(const QSslCertificate& certificate, const QSslKey& key, Handshake handshake)
{
    m_tls = true;
    m_handshake = handshake;
    m_tlsConfiguration = QSslConfiguration::defaultConfiguration();
    m_tlsConfiguration.setLocalCertificate(certificate);
    m_tlsConfiguration.setPrivateKey(key);
    // The client is not asked for a certificate.
    m_tlsConfiguration.setPeerVerifyMode(QSslSocket::VerifyNone);
}

void ScriptedPop3Server::SetAnswerAnyOrder(bool anyOrder) { m_anyOrder = anyOrder; }

QByteArrayList ScriptedPop3Server::DefaultedLines() const { return m_defaulted; }

void ScriptedPop3Server::SetPieceDelay(int milliseconds) { m_pieceDelayMs = milliseconds; }

void ScriptedPop3Server::SetCapabilities(const QByteArrayList& capabilities)
{
    m_capabilities = capabilities;
}

QByteArrayList ScriptedPop3Server::WireLines() const { return m_wire; }

int ScriptedPop3Server::MaxLinesAhead() const { return m_maxLinesAhead; }

qsizetype ScriptedPop3Server::MaxBytesAhead() const { return m_maxBytesAhead; }

QByteArrayList ScriptedPop3Server::ReceivedLines() const { return m_received; }

bool ScriptedPop3Server::ClientSentNothingElse() const { return !m_unexpected && m_lineBuffer.isEmpty(); }

int ScriptedPop3Server::ConnectionCount() const { return m_connections; }

bool ScriptedPop3Server::IsIdle() const
{
    return !m_client || m_client->state() == QAbstractSocket::UnconnectedState;
}

void ScriptedPop3Server::ClearReceived()
{
    m_received.clear();
    m_wire.clear();
    m_defaulted.clear();
    m_unexpected = false;
    m_maxLinesAhead = 0;
    m_maxBytesAhead = 0;
}

void ScriptedPop3Server::onNewConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        ++m_connections;
        if (m_client) {
            // One client at a time, as a check never holds two connections.
            m_unexpected = true;
            m_client->abort();
            m_client->deleteLater();
        }
        m_client = socket;
        m_client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_lineBuffer.clear();
        m_waitingLines.clear();
        m_dialogue = m_script;
        m_outbox.clear();
        m_writing = false;
        m_silenced = false;
        m_nextStep = 0;
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto* tlsSocket = qobject_cast<QSslSocket*>(socket);
        if (!m_tls || !tlsSocket || m_handshake == Handshake::OnStartTls) {
            connect(socket, &QTcpSocket::readyRead, this, &ScriptedPop3Server::onReadyRead);
            startDialogue();
            continue;
        }
        switch (m_handshake) {
        case Handshake::Complete:
            connect(socket, &QTcpSocket::readyRead, this, &ScriptedPop3Server::onReadyRead);
            connect(tlsSocket, &QSslSocket::encrypted, this, &ScriptedPop3Server::startDialogue);
            tlsSocket->setSslConfiguration(m_tlsConfiguration);
            tlsSocket->startServerEncryption();
            break;
        case Handshake::Silent:
            Q_EMIT Silenced();
            break;
        case Handshake::HangUp:
            connect(socket, &QTcpSocket::readyRead, socket, &QTcpSocket::abort);
            break;
        case Handshake::OnStartTls:
            break;
        }
    }
}

void ScriptedPop3Server::startDialogue()
{
    if (m_client && !m_dialogue.isEmpty() && m_dialogue.first().expectedLine.isNull())
        playStep(0);
}

void ScriptedPop3Server::onReadyRead()
{
    auto* socket = qobject_cast<QTcpSocket*>(sender());
    if (!socket || socket != m_client)
        return;
    m_lineBuffer += socket->readAll();
    for (qsizetype end = m_lineBuffer.indexOf("\r\n"); end >= 0; end = m_lineBuffer.indexOf("\r\n")) {
        m_waitingLines.append(m_lineBuffer.left(end));
        m_lineBuffer.remove(0, end + 2);
    }
    // Lines that wait for an answer were sent before the client could have
    // read the replies to the lines ahead of them.
    m_maxLinesAhead = qMax(m_maxLinesAhead, int(m_waitingLines.size()) + (m_writing ? 1 : 0));
    qsizetype bytes = m_writing ? m_answeringBytes : 0;
    for (const QByteArray& waiting : std::as_const(m_waitingLines))
        bytes += waiting.size() + 2;
    m_maxBytesAhead = qMax(m_maxBytesAhead, bytes);
    answerWaitingLines();
}

void ScriptedPop3Server::answerWaitingLines()
{
    // One reply at a time, in order, like a real server reading its input.
    while (m_client && !m_writing && !m_waitingLines.isEmpty()) {
        const QByteArray line = m_waitingLines.takeFirst();
        m_answeringBytes = line.size() + 2;
        m_wire.append(line);
        if (m_anyOrder)
            takeStepFor(line);
        const bool scripted = m_nextStep < m_dialogue.size() && m_dialogue[m_nextStep].expectedLine == line;
        if (line == "CAPA" && !scripted) {
            // Asked of every server; answered here unless a test scripts it.
            if (m_silenced)
                continue;
            m_client->write(m_capabilities.isEmpty() ? QByteArray("-ERR unknown command\r\n")
                                                     : "+OK\r\n" + m_capabilities.join("\r\n") + "\r\n.\r\n");
            continue;
        }
        m_received.append(line);
        Q_EMIT LineReceived(line);
        if (!m_client)
            continue;
        if (!scripted) {
            m_unexpected = true;
            if (!m_silenced)
                m_client->write("-ERR unexpected\r\n");
            continue;
        }
        if (m_silenced) {
            // Sent ahead before the client knew; taken, never answered.
            ++m_nextStep;
            continue;
        }
        playStep(m_nextStep);
    }
}

void ScriptedPop3Server::takeStepFor(const QByteArray& line)
{
    // The first step not yet played that expects this line becomes the next;
    // steps skipped over stay for later lines.
    for (int i = m_nextStep; i < m_dialogue.size(); ++i) {
        if (m_dialogue[i].expectedLine != line)
            continue;
        m_dialogue.move(i, m_nextStep);
        return;
    }
    // A command the one-by-one dialogue never got to: a plain good answer.
    QByteArray reply;
    if (line.startsWith("UIDL "))
        reply = "+OK " + line.mid(5) + " unasked-" + line.mid(5) + "\r\n";
    else if (line.startsWith("TOP "))
        reply = "+OK\r\nSubject: unasked\r\n\r\n.\r\n";
    else
        return;
    m_dialogue.insert(m_nextStep, Exchange(line, reply));
    m_defaulted.append(line);
}

void ScriptedPop3Server::playStep(int index)
{
    const Step& step = m_dialogue[index];
    m_nextStep = index + 1;
    m_outbox.clear();
    queuePieces(step.pieces);
    m_afterOutbox = step.after;
    m_writing = true;
    writeNext();
}

void ScriptedPop3Server::queuePieces(const QByteArrayList& pieces)
{
    for (const QByteArray& piece : pieces) {
        if (m_chunkSize <= 0) {
            if (!piece.isEmpty())
                m_outbox.append(piece);
            continue;
        }
        for (qsizetype pos = 0; pos < piece.size(); pos += m_chunkSize)
            m_outbox.append(piece.mid(pos, m_chunkSize));
    }
}

bool ScriptedPop3Server::Push(const QByteArray& bytes)
{
    if (!m_client || m_client->state() != QAbstractSocket::ConnectedState)
        return false;
    // A reply being written keeps its bytes together and its ending (silence,
    // close); the pushed bytes follow it.
    queuePieces({ bytes });
    if (m_writing)
        return true;
    m_afterOutbox = After::Continue;
    m_writing = true;
    writeNext();
    return true;
}

void ScriptedPop3Server::writeNext()
{
    if (!m_client)
        return;
    if (!m_outbox.isEmpty()) {
        m_client->write(m_outbox.takeFirst());
        m_client->flush();
        if (!m_outbox.isEmpty()) {
            // Let the client's side run between two writes so they arrive apart.
            QTimer::singleShot(m_pieceDelayMs, this, &ScriptedPop3Server::writeNext);
            return;
        }
    }
    m_writing = false;
    switch (m_afterOutbox) {
    case After::Continue:
        answerWaitingLines();
        break;
    case After::Silence:
        m_silenced = true;
        Q_EMIT Silenced();
        break;
    case After::Close:
        m_silenced = true;
        m_client->disconnectFromHost();
        break;
    case After::StartTls:
        if (auto* tlsSocket = qobject_cast<QSslSocket*>(m_client.data())) {
            tlsSocket->setSslConfiguration(m_tlsConfiguration);
            tlsSocket->startServerEncryption();
        }
        answerWaitingLines();
        break;
    }
}
