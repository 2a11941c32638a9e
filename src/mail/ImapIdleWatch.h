#pragma once

#include "app/StatusText.h"
#include "mail/ImapFraming.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QObject>
#include <QString>
#include <QtGlobal>

#include <functional>

class SocketControl;
class TimerControl;

// Keeps one connection of one IMAP account open in IDLE on INBOX (RFC 2177)
// and says when the server tells of a change. It never fetches nor announces
// anything: the account's own check does that, on a connection of its own.
// Every step waits on the socket's signals, so the checks of other accounts
// run meanwhile on the same thread; what it emits is queued, so that a check
// started from one of its signals never runs inside its handlers.
class ImapIdleWatch : public QObject {
    Q_OBJECT

public:
    // The timers belong to the caller, so that a test can step them, and must
    // outlive the watch. `renew` gets the 29 minutes after which IDLE is
    // renewed, `retry` the back-off between reconnects; `silence` keeps the
    // caller's interval, the longest wait for a reply (the check's time-out).
    ImapIdleWatch(qint32 tag, TimerControl& renew, TimerControl& retry, TimerControl& silence,
        QObject* parent = nullptr);
    ~ImapIdleWatch() override;

    // Connects now, reading Accounts[tag] afresh at this and every reconnect.
    void Start();
    // Closes the connection and gives up every wait; nothing is emitted after.
    void Stop();
    // The connection has reached IDLE and is up (a renewal in flight included).
    bool IsIdling() const;

Q_SIGNALS:
    // The server told of new, removed or changed mail (EXISTS, RECENT,
    // EXPUNGE, FETCH); also once a lost connection is back in IDLE, since
    // mail may have come while it was down.
    void Changed(qint32 tag);
    // A connection has reached IDLE: once per connection, not per renewal.
    void Idling(qint32 tag);
    // A connection failed before it reached IDLE; the next one follows after
    // the back-off. A connection lost after IDLE just comes back.
    void Failed(qint32 tag, const CheckFailure& failure);
    // The server offers no IDLE, or refused it: the watch has stopped, and
    // the timed check alone serves the account.
    void Unsupported(qint32 tag);

private:
    enum class Phase { // in the order of the dialogue: a change counts from IdleStart on
        Off,
        Waiting, // for the retry timer
        Greeting, // the connect, the TLS handshake of an implicit-TLS port, and the greeting
        Capability,
        StartTls,
        Handshake, // STARTTLS's
        Token, // the OAuth2 access token
        SignIn,
        Examine,
        IdleStart, // IDLE sent, its continuation awaited
        Idling,
        Done, // DONE sent, IDLE's completion awaited
    };

    void connectNow();
    void closeConnection();
    void onData();
    void onEncrypted();
    void take(const QByteArray& response);
    void onTagged(bool ok, const QByteArray& text, bool carriedCapabilities);
    void onContinuation();
    void afterCapabilities();
    void signIn();
    void command(Phase next, const QByteArray& text, const QByteArrayList& continuations = {});
    void send(const QByteArray& bytes);
    void enterIdle();
    void done();
    void onSilence();
    // Closes and tries again after the back-off.
    void fail(const CheckFailure& failure);
    // The same, for a reply that strays from the dialogue or a refusal in it.
    void failHere(const QString& reason = {});
    void later(std::function<void()> emission);

    const qint32 m_tag;
    TimerControl& m_renew;
    TimerControl& m_retry;
    TimerControl& m_silence;
    SocketControl* m_socket;

    Phase m_phase = Phase::Off;
    quint64 m_run = 0; // counts Start and Stop: emissions queued before either are dropped
    quint64 m_connection = 0; // counts connects and closes: a late answer finds its connection gone
    qint32 m_backOffMs;
    bool m_missed = false; // a connection was lost since Start: mail may have come meanwhile

    QByteArray m_buffer;
    ImapFraming::Frame m_frame;
    int m_lastTag = 0;
    QByteArray m_waitingTag; // of the command whose completion is awaited
    QByteArrayList m_continuations; // what each "+" of the server invites next
    int m_untagged = 0; // untagged responses since the last command
    QByteArrayList m_capabilities;
    bool m_tls = false;
    bool m_oauth = false; // signs in with a token, not a password
    bool m_signedIn = false;
    bool m_idled = false; // this connection has reached IDLE
    bool m_changed = false; // told of a change not yet reported
};
