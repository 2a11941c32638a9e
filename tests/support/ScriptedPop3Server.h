#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QTcpServer>

#include <memory>

class QSslCertificate;
class QSslKey;
class QTcpSocket;

// A POP3 server in the test's own thread that plays one dialogue per
// connection: it sends the greeting, then for every line the client sends
// checks it against the next expected line and answers with the canned reply.
// Replies can be cut into pieces written one after another (down to one byte
// per write), and a step can leave the client waiting or hang up on it.
// With UseTls the whole dialogue runs inside implicit TLS, or from the step
// that ends in After::StartTls on (Handshake::OnStartTls).
//
// IMAP dialogues are played the same way: tags are part of the expected
// lines, and a command that carries a literal is one step per line the client
// sends (the line ending in "{n}", answered with "+ ...", then the line that
// starts with the literal's bytes). Push() writes what a server sends
// unasked, such as "* 5 EXISTS" to a client in IDLE.
class ScriptedPop3Server : public QObject {
    Q_OBJECT

public:
    // What the server does once a step's reply is written.
    // StartTls: the server's side of the handshake begins behind the reply.
    enum class After { Continue, Silence, Close, StartTls };
    // How a TLS server treats the client's handshake.
    enum class Handshake {
        Complete, // finishes it, then plays the dialogue
        Silent, // never answers it (emits Silenced once connected)
        HangUp, // hangs up once the client's first handshake bytes arrive
        OnStartTls, // plays the dialogue in plain text until After::StartTls, then completes it
    };

    struct Step {
        QByteArray
            expectedLine; // the client line that starts this step, without CR LF; null for the greeting
        QByteArrayList pieces; // the reply, written piece by piece (subject to the chunk size)
        After after = After::Continue;
    };

    // The greeting, sent on connect.
    static Step Greeting(const QByteArray& reply, After after = After::Continue);
    // One exchange: the expected client line and the reply to it.
    static Step Exchange(
        const QByteArray& expectedLine, const QByteArray& reply, After after = After::Continue);
    // One exchange whose reply is written as the given separate pieces.
    static Step Pieces(
        const QByteArray& expectedLine, const QByteArrayList& pieces, After after = After::Continue);

    explicit ScriptedPop3Server(QObject* parent = nullptr);
    ~ScriptedPop3Server() override;

    // Listens on loopback, on a free port unless one is given.
    bool Listen(quint16 port = 0);
    quint16 Port() const;

    // The dialogue played on every new connection.
    void SetDialogue(const QList<Step>& steps);
    // Writes every reply in pieces of at most this many bytes (0: as given).
    void SetChunkSize(qsizetype bytes);
    // Waits this long between two pieces of a reply (a slow line; 0: at once).
    void SetPieceDelay(int milliseconds);
    // The lines of the positive answer to CAPA; with none (the default) CAPA
    // gets "-ERR", as from an older server. A CAPA the dialogue does not
    // script is answered from this list and kept out of ReceivedLines.
    void SetCapabilities(const QByteArrayList& capabilities);
    // Serves later connections over TLS with this certificate.
    void UseTls(
        const QSslCertificate& certificate, const QSslKey& key, Handshake handshake = Handshake::Complete);

    // Every line received on every connection, in order (without CR LF).
    QByteArrayList ReceivedLines() const;
    // Answers each line from the first step not yet played that expects it,
    // and a UIDL or TOP line that no step expects with a plain good reply: the
    // same server, met by a client that sends its commands in another order.
    void SetAnswerAnyOrder(bool anyOrder);
    // The lines that got such a plain reply.
    QByteArrayList DefaultedLines() const;
    // Every line received, CAPA included, in order.
    QByteArrayList WireLines() const;
    // The most client lines that were waiting for their answer at once: above
    // 1 only when the client sent commands ahead of the replies.
    int MaxLinesAhead() const;
    // The same in bytes, line ends included.
    qsizetype MaxBytesAhead() const;
    // True when each received line was the expected one, nothing followed the
    // last step, and no partial line was left behind.
    bool ClientSentNothingElse() const;
    int ConnectionCount() const;
    // True when no client connection is open.
    bool IsIdle() const;
    // Drops what was received so far (between two checks of one test).
    void ClearReceived();
    // Writes these bytes to the connected client now, cut into pieces like a
    // reply; behind the rest of a reply that is still being written, never
    // inside it. False when no client is connected.
    bool Push(const QByteArray& bytes);

Q_SIGNALS:
    // The server has reached a step after which it stays silent; the client is waiting.
    void Silenced();
    // A line arrived from the client (before it is answered).
    void LineReceived(const QByteArray& line);

private:
    void onNewConnection();
    void startDialogue();
    void onReadyRead();
    void answerWaitingLines();
    void takeStepFor(const QByteArray& line);
    void playStep(int index);
    void queuePieces(const QByteArrayList& pieces);
    void writeNext();

    std::unique_ptr<QTcpServer> m_server;
    bool m_tls = false;
    QSslConfiguration m_tlsConfiguration;
    Handshake m_handshake = Handshake::Complete;
    QList<Step> m_script;
    QList<Step> m_dialogue; // the script as this connection plays it
    qsizetype m_chunkSize = 0;
    int m_pieceDelayMs = 0;

    QPointer<QTcpSocket> m_client;
    QByteArray m_lineBuffer;
    QByteArrayList m_waitingLines; // complete lines not yet answered
    bool m_writing = false; // a step's reply is still being written
    bool m_silenced = false; // a step ended in silence or a close: no more answers
    QByteArrayList m_capabilities;
    QByteArrayList m_wire;
    bool m_anyOrder = false;
    QByteArrayList m_defaulted;
    int m_maxLinesAhead = 0;
    qsizetype m_maxBytesAhead = 0;
    // The size of the line whose answer is being written.
    qsizetype m_answeringBytes = 0;
    int m_nextStep = 0;
    QByteArrayList m_outbox; // pieces still to write for the current step
    After m_afterOutbox = After::Continue;

    QByteArrayList m_received;
    bool m_unexpected = false;
    int m_connections = 0;
};
