#include "mail/ImapIdleWatch.h"

#include "accounts/OAuthTokens.h"
#include "app/AccountTable.h"
#include "mail/ImapCommands.h"
#include "mail/ImapResponses.h"
#include "platform/SocketControl.h"
#include "platform/TimerControl.h"

#include <QPointer>

#include <algorithm>
#include <utility>

namespace {

// RFC 2177: a server may log out a client that has idled for 30 minutes.
constexpr qint32 kRenewMs = 29 * 60 * 1000;
constexpr qint32 kFirstRetryMs = 5 * 1000;
constexpr qint32 kLongestRetryMs = 5 * 60 * 1000;
// The watch never fetches a message: status lines, capability lists and the
// FETCH of a changed flag are all it is told, and all are short.
constexpr qsizetype kMaxResponse = 64 * 1024;
// A server may say a lot before a command's completion (a flag change on
// every message of a large mailbox), but not without end.
constexpr int kMaxUntagged = 10000;
// The provider's answer, when the caller has set no time-out of its own.
constexpr int kTokenTimeOutMs = 30 * 1000;

// Whether an untagged response tells of a change to the mailbox:
// "* 4 EXISTS", "* 2 RECENT", "* 3 EXPUNGE", "* 5 FETCH (FLAGS (\Seen))".
// Empty when it names one of these but strays from its grammar.
std::optional<bool> isChange(const QByteArray& response)
{
    if (ImapResponses::Exists(response) || ImapResponses::ReadFetch(response))
        return true;
    const QByteArrayList words = response.chopped(2).split(' ');
    bool numbered = false;
    if (words.size() < 3 || words[1].toUInt(&numbered) == 0 || !numbered)
        return false;
    const QByteArray name = words[2].toUpper();
    if (name == "EXISTS" || name == "FETCH")
        return std::nullopt;
    if (name == "RECENT" || name == "EXPUNGE")
        return words.size() == 3 ? std::optional(true) : std::nullopt;
    return false;
}

} // namespace

ImapIdleWatch::ImapIdleWatch(
    qint32 tag, TimerControl& renew, TimerControl& retry, TimerControl& silence, QObject* parent)
    : QObject(parent)
    , m_tag(tag)
    , m_renew(renew)
    , m_retry(retry)
    , m_silence(silence)
    , m_socket(new SocketControl(this))
    , m_backOffMs(kFirstRetryMs)
{
    m_renew.setInterval(kRenewMs);
    connect(m_socket, &SocketControl::DataArrival, this, &ImapIdleWatch::onData);
    connect(m_socket, &SocketControl::Encrypted, this, &ImapIdleWatch::onEncrypted);
    connect(m_socket, &SocketControl::Error, this, [this](const QString& description) {
        if (m_phase != Phase::Off && m_phase != Phase::Waiting)
            fail({ CheckFailure::Step::Connection, description });
    });
    connect(m_socket, &SocketControl::Closed, this, [this] {
        if (m_phase != Phase::Off && m_phase != Phase::Waiting)
            failHere();
    });
    connect(&m_renew, &TimerControl::Timer, this, [this] {
        if (m_phase == Phase::Idling)
            done();
    });
    connect(&m_retry, &TimerControl::Timer, this, [this] {
        if (m_phase == Phase::Waiting)
            connectNow();
    });
    connect(&m_silence, &TimerControl::Timer, this, &ImapIdleWatch::onSilence);
}

ImapIdleWatch::~ImapIdleWatch()
{
    // The timers are the caller's and may already be gone.
    m_socket->disconnect(this);
    m_socket->Close();
}

void ImapIdleWatch::Start()
{
    Stop();
    m_missed = false;
    connectNow();
}

void ImapIdleWatch::Stop()
{
    ++m_run;
    closeConnection();
    m_phase = Phase::Off;
    m_backOffMs = kFirstRetryMs;
}

bool ImapIdleWatch::IsIdling() const
{
    return m_idled && (m_phase == Phase::IdleStart || m_phase == Phase::Idling || m_phase == Phase::Done);
}

void ImapIdleWatch::connectNow()
{
    closeConnection();
    if (!IsAccountIndex(m_tag) || Accounts[m_tag].Deleted || Accounts[m_tag].Protocol != MailProtocol::Imap) {
        m_phase = Phase::Off;
        return;
    }
    const AccountEntry& account = Accounts[m_tag];
    m_socket->setRemoteHost(account.PopServer);
    m_socket->setRemotePort(account.PopPort);
    m_tls = SocketControl::IsTlsPort(account.PopPort);
    m_oauth = account.IsOAuth2();
    m_signedIn = false;
    m_idled = false;
    m_changed = false;
    m_capabilities.clear();
    m_lastTag = 0;
    m_untagged = 0;
    m_phase = Phase::Greeting;
    if (!m_socket->Connect())
        return fail({ CheckFailure::Step::Connection, m_socket->LastErrorDescription() });
    m_silence.setEnabled(true);
}

void ImapIdleWatch::closeConnection()
{
    ++m_connection;
    m_socket->Close();
    m_renew.setEnabled(false);
    m_retry.setEnabled(false);
    m_silence.setEnabled(false);
    m_buffer.clear();
    m_frame = {};
    m_waitingTag.clear();
    m_continuations.clear();
}

void ImapIdleWatch::onData()
{
    if (m_phase == Phase::Off || m_phase == Phase::Waiting) {
        m_socket->GetBytes();
        return;
    }
    m_buffer += m_socket->GetBytes();
    // The silence is the longest pause, not a budget for a whole reply.
    if (m_silence.Enabled()) {
        m_silence.setEnabled(false);
        m_silence.setEnabled(true);
    }
    const quint64 connection = m_connection;
    qsizetype used = 0;
    while (connection == m_connection && used < m_buffer.size()) {
        const ImapFraming::Frame frame
            = ImapFraming::ScanResponse(QByteArrayView(m_buffer).sliced(used), kMaxResponse, m_frame);
        if (frame.state == ImapFraming::FrameState::Incomplete) {
            m_frame = frame;
            break;
        }
        if (frame.state != ImapFraming::FrameState::Complete)
            return failHere();
        m_frame = {};
        const QByteArray response = m_buffer.mid(used, frame.length);
        used += frame.length;
        take(response);
        // Bytes behind STARTTLS's completion came before the handshake, in
        // plain text, and would pass for the server's words inside TLS.
        if (connection == m_connection && m_phase == Phase::Handshake && used < m_buffer.size())
            return failHere();
    }
    if (connection == m_connection)
        m_buffer.remove(0, used);
}

void ImapIdleWatch::onEncrypted()
{
    if (m_phase != Phase::Handshake)
        return;
    // What the server listed before the handshake may have been forged.
    m_tls = true;
    m_capabilities.clear();
    command(Phase::Capability, "CAPABILITY\r\n");
}

void ImapIdleWatch::take(const QByteArray& response)
{
    using ImapResponses::Condition;
    if (ImapResponses::IsContinuation(response))
        return onContinuation();
    const std::optional<ImapResponses::Status> status = ImapResponses::ReadStatus(response);
    const std::optional<QByteArrayList> capabilities = ImapResponses::Capabilities(response);
    if (status && !status->tag.isEmpty()) {
        // One command is in flight at a time: any other tag, an old one
        // included, is a server out of step.
        if (status->tag != m_waitingTag)
            return failHere();
        if (capabilities)
            m_capabilities = *capabilities;
        return onTagged(status->condition == Condition::Ok, status->text, capabilities.has_value());
    }
    if (!response.startsWith("* ") || ++m_untagged > kMaxUntagged)
        return failHere();
    if (capabilities)
        m_capabilities = *capabilities;
    if (status && status->condition == Condition::Bye)
        return failHere(QString::fromUtf8(status->text));
    if (m_phase == Phase::Greeting) {
        if (!status || status->condition == Condition::No || status->condition == Condition::Bad)
            return failHere(status ? QString::fromUtf8(status->text) : QString());
        m_signedIn = status->condition == Condition::PreAuth;
        return capabilities ? afterCapabilities() : command(Phase::Capability, "CAPABILITY\r\n");
    }
    const std::optional<bool> change = isChange(response);
    if (!change)
        return failHere();
    // The counts that EXAMINE reports are no news.
    if (!*change || m_phase < Phase::IdleStart)
        return;
    m_changed = true;
    if (m_phase == Phase::Idling)
        done();
}

void ImapIdleWatch::onTagged(bool ok, const QByteArray& text, bool carriedCapabilities)
{
    m_waitingTag.clear();
    m_continuations.clear();
    const QString reason = QString::fromUtf8(text);
    if (!ok && m_phase == Phase::IdleStart) {
        closeConnection();
        m_phase = Phase::Off;
        return later([this] { Q_EMIT Unsupported(m_tag); });
    }
    // A token the server refused is not offered again.
    if (!ok && m_phase == Phase::SignIn && m_oauth)
        OAuthTokens::Drop(Accounts[m_tag]);
    if (!ok || m_phase == Phase::IdleStart || m_phase == Phase::Idling)
        return failHere(reason);
    switch (m_phase) {
    case Phase::Capability:
        return afterCapabilities();
    case Phase::StartTls:
        m_phase = Phase::Handshake;
        if (!m_socket->StartTls())
            return fail({ CheckFailure::Step::Connection, m_socket->LastErrorDescription() });
        return;
    case Phase::SignIn:
        m_signedIn = true;
        // A server may offer more once the user is known; most say so in
        // their completion, the others are asked.
        if (carriedCapabilities)
            return afterCapabilities();
        m_capabilities.clear();
        return command(Phase::Capability, "CAPABILITY\r\n");
    case Phase::Examine:
        if (!m_capabilities.contains("IDLE")) {
            closeConnection();
            m_phase = Phase::Off;
            return later([this] { Q_EMIT Unsupported(m_tag); });
        }
        return command(Phase::IdleStart, "IDLE\r\n");
    case Phase::Done:
        if (m_changed)
            later([this] { Q_EMIT Changed(m_tag); });
        m_changed = false;
        return command(Phase::IdleStart, "IDLE\r\n");
    default:
        return failHere();
    }
}

void ImapIdleWatch::onContinuation()
{
    if (m_phase == Phase::IdleStart && m_continuations.isEmpty())
        return enterIdle();
    if (m_continuations.isEmpty())
        return failHere();
    send(m_continuations.takeFirst());
}

void ImapIdleWatch::afterCapabilities()
{
    // No credential and no token ever goes out in plain text.
    if (!m_tls) {
        if (m_signedIn || !m_capabilities.contains("STARTTLS"))
            return fail({ CheckFailure::Step::ImapNoTls, {} });
        return command(Phase::StartTls, "STARTTLS\r\n");
    }
    if (!m_signedIn)
        return signIn();
    // Read-only: the watch must never change what the check will find.
    command(Phase::Examine, "EXAMINE INBOX\r\n");
}

void ImapIdleWatch::signIn()
{
    const AccountEntry& account = Accounts[m_tag];
    if (m_oauth) {
        m_phase = Phase::Token;
        m_silence.setEnabled(false);
        const QPointer<ImapIdleWatch> self(this);
        const quint64 connection = m_connection;
        const QString user = account.PopAccount;
        const int timeOut = m_silence.Interval() > 0 ? m_silence.Interval() : kTokenTimeOutMs;
        OAuthTokens::AccessToken(account, timeOut,
            [self, connection, user](const QString& token, const std::optional<CheckFailure>& failure) {
                if (!self || self->m_connection != connection || self->m_phase != Phase::Token)
                    return;
                if (failure)
                    return self->fail(*failure);
                if (const auto signIn = ImapCommands::SignIn(self->m_capabilities, user, {}, token))
                    return self->command(Phase::SignIn, signIn->line, signIn->continuations);
                self->fail({ CheckFailure::Step::OAuthMechanism, {} });
            });
        return;
    }
    if (account.Secret == SecretState::InKeyringUnread)
        return fail({ CheckFailure::Step::Keyring, {} });
    const std::optional<ImapCommands::Command> signIn
        = ImapCommands::SignIn(m_capabilities, account.PopAccount, account.PopPasswd, {});
    if (!signIn)
        return fail({ CheckFailure::Step::ImapLogin, {} });
    command(Phase::SignIn, signIn->line, signIn->continuations);
}

void ImapIdleWatch::command(Phase next, const QByteArray& text, const QByteArrayList& continuations)
{
    m_phase = next;
    m_waitingTag = 'W' + QByteArray::number(++m_lastTag);
    m_continuations = continuations;
    m_untagged = 0;
    send(m_waitingTag + ' ' + text);
}

void ImapIdleWatch::send(const QByteArray& bytes)
{
    if (!m_socket->SendBytes(bytes))
        return fail({ CheckFailure::Step::Connection, m_socket->LastErrorDescription() });
    m_silence.setEnabled(false);
    m_silence.setEnabled(true);
}

void ImapIdleWatch::enterIdle()
{
    m_phase = Phase::Idling;
    // Nothing but the renewal may tick while idling.
    m_silence.setEnabled(false);
    m_renew.setEnabled(false);
    m_renew.setEnabled(true);
    if (!m_idled) {
        m_idled = true;
        m_backOffMs = kFirstRetryMs;
        later([this] { Q_EMIT Idling(m_tag); });
        if (std::exchange(m_missed, false))
            later([this] { Q_EMIT Changed(m_tag); });
    }
    // The change came between IDLE and its continuation.
    if (m_changed)
        done();
}

void ImapIdleWatch::done()
{
    m_phase = Phase::Done;
    m_renew.setEnabled(false);
    m_untagged = 0;
    send("DONE\r\n");
}

void ImapIdleWatch::onSilence()
{
    if (m_phase != Phase::Off && m_phase != Phase::Waiting && m_phase != Phase::Token
        && m_phase != Phase::Idling)
        failHere();
}

void ImapIdleWatch::fail(const CheckFailure& failure)
{
    const bool report = !m_idled;
    closeConnection();
    m_phase = Phase::Waiting;
    m_missed = true;
    m_retry.setInterval(m_backOffMs);
    m_retry.setEnabled(true);
    m_backOffMs = std::min(m_backOffMs * 2, kLongestRetryMs);
    if (report)
        later([this, failure] { Q_EMIT Failed(m_tag, failure); });
}

void ImapIdleWatch::failHere(const QString& reason)
{
    using Step = CheckFailure::Step;
    switch (m_phase) {
    case Phase::SignIn:
    case Phase::Token:
        return fail({ m_oauth ? Step::OAuthSignIn : Step::ImapLogin, reason });
    case Phase::Examine:
        return fail({ Step::ImapExamine, reason });
    case Phase::IdleStart:
    case Phase::Idling:
    case Phase::Done:
        return fail({ Step::ImapIdle, reason });
    default:
        return fail({ Step::Connection, reason });
    }
}

void ImapIdleWatch::later(std::function<void()> emission)
{
    QMetaObject::invokeMethod(
        this,
        [this, run = m_run, emission = std::move(emission)] {
            if (run == m_run)
                emission();
        },
        Qt::QueuedConnection);
}
