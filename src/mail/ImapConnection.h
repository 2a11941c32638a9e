#pragma once

#include "mail/CheckRequest.h"
#include "mail/ImapCommands.h"
#include "mail/ImapFraming.h"
#include "mail/ImapResponses.h"
#include "mail/ImapSeenList.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>

class SocketControl;
class TimerControl;

// The one connection of one IMAP account, from greeting to LOGOUT, read-only
// from start to end: TLS (implicit on 993, else STARTTLS, without which no
// credential leaves), sign-in, EXAMINE INBOX, and each check (UID SEARCH
// UNSEEN, then UID FETCH of the new messages' headers with BODY.PEEK). Where
// the server offers IDLE (RFC 2177) the connection stays and idles after its
// check; a later check, timed or asked for by a change the server told of,
// leaves IDLE with DONE and runs on the same connection, which then idles
// again. Without IDLE it logs out after each check.
//
// Everything waits on the socket's and the timers' signals; nothing here runs
// a loop of its own. What it emits is queued, so that a handler never runs
// inside the connection's own.
//
// What counts as new, and the seen list kept, follow ImapSeenList.
class ImapConnection : public QObject {
    Q_OBJECT

public:
    // The caller's, so that a test can step them; they must outlive the
    // connection. `silence` is the longest wait for a reply, `length` bounds a
    // whole check, `renew` renews IDLE, `retry` is the back-off before a lost
    // connection is checked again, `floor` the least time between two checks
    // that changes ask for, and `settle` the time in IDLE after which a
    // connection counts as sound again.
    struct Timers {
        TimerControl& silence;
        TimerControl& length;
        TimerControl& renew;
        TimerControl& retry;
        TimerControl& floor;
        TimerControl& settle;
    };

    // Renewed before the 30 minutes after which a server may log out an idle client.
    static constexpr qint32 RenewMs = 29 * 60 * 1000;
    static constexpr qint32 FirstRetryMs = 5 * 1000;
    static constexpr qint32 LongestRetryMs = 5 * 60 * 1000;
    static constexpr qint32 FloorMs = 5 * 1000;
    static constexpr qint32 SettleMs = 60 * 1000;
    // One response of a check, its literals included: a header block as large
    // as a POP3 one may be, with room for the FETCH around it.
    static constexpr qsizetype MaxResponse = 2 * 1024 * 1024;

    ImapConnection(qint32 tag, const Timers& timers, QObject* parent = nullptr);
    ~ImapConnection() override;

    // Checks the account: on the open connection when it idles, else on a new
    // one. Checked follows once, unless Stop comes first.
    void Check(const CheckRequest& request);
    // Closes at once and gives up every wait; nothing is emitted after it.
    void Stop();
    // Leaves IDLE and logs out politely (before the machine sleeps); Closed
    // follows once the connection is gone, within the silence bound.
    void Close();
    // Whether the account is served by push: its connection is up and has
    // reached IDLE (a check on it in progress included).
    bool IsIdling() const;
    // A check runs: Checked is still to come.
    bool IsChecking() const { return m_checking; }
    // The account has been served by push, and comes back to it after a loss.
    bool WantsPush() const { return m_pushed; }
    // Drops the connection and asks for a check at once, which opens a new
    // one (after the machine slept, or the network came back).
    void Reopen();

Q_SIGNALS:
    // How the check ended. Emitted at once, from inside the connection's
    // handlers: a receiver only takes the outcome.
    void Checked(qint32 tag, const CheckOutcome& outcome);
    // The account wants a check: the server told of a change while the
    // connection idled, or a lost push connection is due to come back.
    void CheckWanted(qint32 tag);
    // IsIdling changed.
    void PushChanged(qint32 tag);
    // After Close: the connection is gone.
    void Closed(qint32 tag);

private:
    using Step = CheckFailure::Step;
    // Gives whether the dialogue goes on.
    using Untagged = std::function<bool(const QByteArray& response)>;
    using Completion = std::function<void(const ImapResponses::Status& status, const QByteArray& response)>;

    enum class Phase {
        Off,
        Greeting, // the connect, an implicit-TLS handshake, and the greeting
        Command, // a tagged command awaits its completion
        Handshake, // STARTTLS's
        Token, // the OAuth2 access token
        IdleStart, // IDLE sent, its continuation awaited
        Idling,
        Done, // DONE sent, IDLE's completion awaited
        Logout,
    };

    struct Pending {
        QByteArray tag;
        QByteArray name; // the command's name, for a STATUS that names where it broke
        Step step;
        QByteArrayList continuations; // what each "+" of the server invites next
        Untagged untagged;
        Completion done;
        qsizetype bound; // the most one response to it may hold
    };

    void connectNow();
    void closeSocket();
    void onData();
    void readBuffer();
    void onEncrypted();
    void onSilence();
    void take(const QByteArray& response);
    void takeGreeting(const QByteArray& response);
    bool takeUntagged(const QByteArray& response);
    void command(const QByteArray& name, Step step, const QByteArray& text, Untagged untagged,
        Completion done, const QByteArrayList& continuations = {}, Phase phase = Phase::Command,
        qsizetype bound = MaxResponse);
    void send(const QByteArray& bytes);

    // The dialogue, in its order.
    void afterCapabilities();
    void askCapabilities(std::function<void()> then);
    void signIn();
    void signInWith(const ImapCommands::Command& signIn, bool token);
    void examine();
    void noteNewest();
    void search();
    void arrivalsFrom(qsizetype start);
    void fetchNew();
    void fetchMore();
    void finishCheck();
    // Forgets the check's state once its outcome is known.
    void endCheck();
    void idle();
    void enterIdle();
    void done();
    void afterIdle();
    void logout();

    // The check ends here, and the connection with it.
    void fail(const CheckFailure& failure);
    // The connection broke at the pending command: its step, with the reason.
    void failHere(const QString& reason = {});
    // The connection is lost outside a check.
    void lost();
    void changeTold();
    void askForCheck();
    void later(std::function<void()> emission);
    void updateIdling();
    void retryLater();

    const qint32 m_tag;
    Timers m_timers;
    SocketControl* m_socket;

    Phase m_phase = Phase::Off;
    quint64 m_run = 0; // counts Stops: emissions queued before one are dropped
    quint64 m_connection = 0; // counts closes: a late answer finds its connection gone
    qint32 m_backOffMs = FirstRetryMs;

    // The connection.
    QByteArray m_buffer;
    bool m_reading = false;
    bool m_readAgain = false;
    ImapFraming::Frame m_frame;
    int m_lastTag = 0;
    // Shared, so that a handler may end the connection while it runs.
    std::shared_ptr<Pending> m_pending;
    // Sent while m_pending awaited its answer (the next FETCH of a large
    // check); the server may complete the two in either order.
    std::shared_ptr<Pending> m_behind;
    QByteArrayList m_capabilities;
    bool m_tls = false;
    bool m_signedIn = false;
    std::optional<quint32> m_validity;
    quint32 m_exists = 0; // messages in the mailbox, as the server last told
    bool m_idled = false; // this connection has reached IDLE
    int m_untagged = 0; // untagged responses during this IDLE
    bool m_closing = false; // Close: LOGOUT, then Closed

    // The check.
    std::optional<CheckRequest> m_request; // the check in progress, or the one waiting for DONE
    bool m_checking = false;
    qint64 m_received = 0;
    std::optional<CheckBudget> m_budget;
    ImapSeenList::Seen m_seen;
    std::optional<qint64> m_newest; // noted for the next check
    QList<quint32> m_unseen;
    QList<quint32> m_fresh; // to be fetched, in order
    qsizetype m_fetchNext = 0; // the first of m_fresh no FETCH has asked for yet
    QList<quint32> m_came; // fetched: found, or judged spam
    QMap<quint32, NewMailItem> m_found;
    CheckOutcome m_outcome;

    // Push.
    bool m_pushed = false; // the account idled on this connection or the one before it
    bool m_told = false; // the server told of a change no check has answered yet
    bool m_asked = false; // CheckWanted was emitted and no check came yet
    bool m_idlingShown = false;
};
