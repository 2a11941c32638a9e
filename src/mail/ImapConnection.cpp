#include "mail/ImapConnection.h"

#include "accounts/OAuthTokens.h"
#include "app/AccountTable.h"
#include "mail/HeaderFields.h"
#include "mail/ImapSeenList.h"
#include "mail/Pop3Replies.h"
#include "mail/SpamVerdict.h"
#include "platform/SocketControl.h"
#include "platform/TimerControl.h"

#include <QPointer>

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

using ImapResponses::Condition;

// UIDs asked for in one FETCH: a command line of a few KB, far under any
// server's limit, and few round trips for a large first check.
constexpr qsizetype kFetchBatch = 500;
// In IDLE the server only tells of changes: status lines and the FETCH of a
// changed flag, all short.
constexpr qsizetype kMaxIdleResponse = 64 * 1024;
// A server may tell of a lot during one IDLE (another program marking a
// thousand messages read), but not without end; past this the connection is
// dropped and comes back after the back-off.
constexpr int kMaxUntaggedInIdle = 1000;

// The server's words for a STATUS: control characters out, cut short.
QString reasonOf(const ImapResponses::Status& status)
{
    QString text = QString::fromUtf8(status.text).trimmed();
    text.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
    return text.left(Pop3Replies::MaxReasonLength);
}

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

QByteArray uidSet(const QList<quint32>& uids)
{
    QByteArray set;
    set.reserve(uids.size() * 11);
    for (const quint32 uid : uids) {
        if (!set.isEmpty())
            set += ',';
        set += QByteArray::number(uid);
    }
    return set;
}

// A failure the next check may well not meet: the network, or the server
// between two states. A refused sign-in would only be refused again, and
// could lock the account.
bool passing(CheckFailure::Step step)
{
    using Step = CheckFailure::Step;
    return step == Step::Connection || step == Step::HungUp || step == Step::ImapIdle || step == Step::Token;
}

} // namespace

ImapConnection::ImapConnection(qint32 tag, const Timers& timers, QObject* parent)
    : QObject(parent)
    , m_tag(tag)
    , m_timers(timers)
    , m_socket(new SocketControl(this))
{
    m_timers.renew.setInterval(RenewMs);
    m_timers.floor.setInterval(FloorMs);
    m_timers.settle.setInterval(SettleMs);
    connect(m_socket, &SocketControl::DataArrival, this, &ImapConnection::onData);
    connect(m_socket, &SocketControl::Encrypted, this, &ImapConnection::onEncrypted);
    connect(m_socket, &SocketControl::Error, this, [this](const QString& description) {
        if (m_phase != Phase::Off)
            m_checking ? fail({ Step::Connection, description }) : lost();
    });
    connect(m_socket, &SocketControl::Closed, this, [this] {
        if (m_phase == Phase::Off)
            return;
        if (m_phase == Phase::Logout || !m_checking)
            return lost();
        fail({ Step::HungUp, m_pending ? QString::fromLatin1(m_pending->name) : QString() });
    });
    connect(&m_timers.silence, &TimerControl::Timer, this, &ImapConnection::onSilence);
    connect(&m_timers.length, &TimerControl::Timer, this, [this] {
        m_timers.length.setEnabled(false);
        if (m_checking)
            fail({ Step::CheckTooLong, {} });
    });
    connect(&m_timers.renew, &TimerControl::Timer, this, [this] {
        if (m_phase == Phase::Idling)
            done();
    });
    connect(&m_timers.retry, &TimerControl::Timer, this, [this] {
        m_timers.retry.setEnabled(false);
        if (m_pushed && !m_checking && !m_asked) {
            m_asked = true;
            later([this] { Q_EMIT CheckWanted(m_tag); });
        }
    });
    connect(&m_timers.floor, &TimerControl::Timer, this, [this] {
        m_timers.floor.setEnabled(false);
        askForCheck();
    });
    connect(&m_timers.settle, &TimerControl::Timer, this, [this] {
        // This connection has idled long enough to count as sound.
        m_timers.settle.setEnabled(false);
        m_backOffMs = FirstRetryMs;
    });
}

ImapConnection::~ImapConnection()
{
    m_socket->disconnect(this);
    m_socket->Close();
}

bool ImapConnection::IsIdling() const { return m_idled && m_phase != Phase::Off && m_phase != Phase::Logout; }

void ImapConnection::Check(const CheckRequest& request)
{
    m_request = request;
    m_checking = true;
    m_received = 0;
    m_budget.emplace(request.memoryBound, request.arrival);
    m_outcome = {};
    m_found.clear();
    m_told = false;
    m_asked = false;
    m_timers.retry.setEnabled(false);
    m_timers.silence.setInterval(request.timeOutMs);
    m_timers.length.setInterval(request.longestMs);
    m_timers.length.setEnabled(false);
    m_timers.length.setEnabled(true);
    switch (m_phase) {
    case Phase::Idling:
        return done();
    case Phase::IdleStart: // the check follows IDLE's continuation
    case Phase::Done: // and its completion
        return;
    default:
        return connectNow();
    }
}

void ImapConnection::Stop()
{
    ++m_run;
    closeSocket();
    m_timers.retry.setEnabled(false);
    m_timers.floor.setEnabled(false);
    m_timers.length.setEnabled(false);
    m_request.reset();
    m_checking = false;
    m_pushed = false;
    m_told = false;
    m_asked = false;
    m_closing = false;
    m_backOffMs = FirstRetryMs;
    m_idlingShown = false;
}

void ImapConnection::Close()
{
    m_timers.retry.setEnabled(false);
    m_closing = true;
    switch (m_phase) {
    case Phase::Off:
        m_closing = false;
        return later([this] { Q_EMIT Closed(m_tag); });
    case Phase::Idling:
        return done();
    default:
        // A check runs, or IDLE or LOGOUT is on its way: LOGOUT follows it.
        return;
    }
}

void ImapConnection::Reopen()
{
    if (m_checking)
        return; // a check is opening or using a connection right now
    closeSocket();
    m_closing = false;
    m_backOffMs = FirstRetryMs;
    m_timers.retry.setEnabled(false);
    m_asked = true;
    later([this] { Q_EMIT CheckWanted(m_tag); });
}

void ImapConnection::connectNow()
{
    closeSocket();
    m_socket->setRemoteHost(m_request->server);
    m_socket->setRemotePort(m_request->port);
    m_tls = SocketControl::IsTlsPort(m_request->port);
    m_phase = Phase::Greeting;
    if (!m_socket->Connect())
        return fail({ Step::Connection, m_socket->LastErrorDescription() });
    m_timers.silence.setEnabled(false);
    m_timers.silence.setEnabled(true);
}

void ImapConnection::closeSocket()
{
    ++m_connection;
    m_socket->Close();
    m_timers.silence.setEnabled(false);
    m_timers.renew.setEnabled(false);
    m_timers.settle.setEnabled(false);
    m_phase = Phase::Off;
    m_buffer.clear();
    m_frame = {};
    m_lastTag = 0;
    m_pending.reset();
    m_behind.reset();
    m_capabilities.clear();
    m_signedIn = false;
    m_validity.reset();
    m_exists = 0;
    m_idled = false;
    updateIdling();
}

void ImapConnection::onData()
{
    if (m_phase == Phase::Off) {
        m_socket->GetBytes();
        return;
    }
    // Sending a command runs the TLS layer, which may announce more bytes
    // while a response is still being handled: they are read after it, in
    // their order, never from inside it.
    if (m_reading) {
        m_readAgain = true;
        return;
    }
    const quint64 connection = m_connection;
    m_reading = true;
    do {
        m_readAgain = false;
        m_buffer += m_socket->GetBytes();
        readBuffer();
    } while (m_readAgain && connection == m_connection);
    m_reading = false;
}

void ImapConnection::readBuffer()
{
    // The silence is the longest pause, not a budget for a whole reply.
    if (m_timers.silence.Enabled()) {
        m_timers.silence.setEnabled(false);
        m_timers.silence.setEnabled(true);
    }
    const quint64 connection = m_connection;
    qsizetype used = 0;
    while (connection == m_connection && used < m_buffer.size()) {
        // Whatever a check reads counts against what it may hold, the
        // responses it has no use for included, or a flood of them would
        // keep it reading for ever.
        const qint64 room = m_checking ? m_request->memoryBound - m_received : kMaxIdleResponse;
        const qsizetype most = m_pending ? m_pending->bound : MaxResponse;
        const qsizetype bound = m_checking ? qsizetype(std::min<qint64>(most, room)) : qsizetype(room);
        const ImapFraming::Frame frame
            = ImapFraming::ScanResponse(QByteArrayView(m_buffer).sliced(used), bound, m_frame);
        if (frame.state == ImapFraming::FrameState::Incomplete) {
            m_frame = frame;
            break;
        }
        if (frame.state == ImapFraming::FrameState::TooLarge)
            return m_checking
                ? fail({ Step::Oversized, m_pending ? QString::fromLatin1(m_pending->name) : QString() })
                : lost();
        if (frame.state != ImapFraming::FrameState::Complete)
            return failHere();
        m_frame = {};
        const QByteArray response = m_buffer.mid(used, frame.length);
        used += frame.length;
        if (m_checking)
            m_received += frame.length;
        take(response);
        // Bytes behind STARTTLS's completion came before the handshake, in
        // plain text, and would pass for the server's words inside TLS.
        if (connection == m_connection && m_phase == Phase::Handshake && used < m_buffer.size())
            return fail({ Step::ImapStartTls, QStringLiteral("暗号化前のﾃﾞｰﾀ") });
    }
    if (connection == m_connection)
        m_buffer.remove(0, used);
}

void ImapConnection::onEncrypted()
{
    if (m_phase != Phase::Handshake)
        return;
    // What the server listed before the handshake may have been forged.
    m_tls = true;
    askCapabilities([this] { afterCapabilities(); });
}

void ImapConnection::onSilence()
{
    if (m_phase == Phase::Off || m_phase == Phase::Token || m_phase == Phase::Idling)
        return;
    if (m_phase == Phase::Logout || !m_checking)
        return lost();
    failHere();
}

void ImapConnection::take(const QByteArray& response)
{
    if (m_phase == Phase::Greeting)
        return takeGreeting(response);
    if (ImapResponses::IsContinuation(response)) {
        if (m_pending && !m_pending->continuations.isEmpty())
            return send(m_pending->continuations.takeFirst());
        if (m_phase == Phase::IdleStart)
            return enterIdle();
        return failHere();
    }
    const std::optional<ImapResponses::Status> status = ImapResponses::ReadStatus(response);
    if (status && !status->tag.isEmpty()) {
        // Only the commands in flight may complete: any other tag, an old
        // one included, is a server out of step.
        std::shared_ptr<Pending>& answered = m_behind && status->tag == m_behind->tag ? m_behind : m_pending;
        if (!answered || status->tag != answered->tag)
            return failHere();
        const Completion completion = std::move(answered->done);
        answered.reset();
        if (!m_pending)
            m_pending = std::move(m_behind);
        return completion(*status, response);
    }
    if (!response.startsWith("* "))
        return failHere();
    if (m_phase == Phase::Logout)
        return;
    // The message count, for the arrival time of the newest message.
    if (const std::optional<quint32> count = ImapResponses::Exists(response))
        m_exists = *count;
    else if (m_exists > 0 && response.size() > 10
        && QByteArrayView(response).last(10).compare(" EXPUNGE\r\n", Qt::CaseInsensitive) == 0)
        --m_exists;
    if (status && status->condition == Condition::Bye)
        return failHere(reasonOf(*status));
    if (m_phase == Phase::IdleStart || m_phase == Phase::Idling || m_phase == Phase::Done) {
        if (!takeUntagged(response))
            lost();
        return;
    }
    const quint64 connection = m_connection;
    const std::shared_ptr<Pending> pending = m_pending;
    if (pending && pending->untagged && !pending->untagged(response) && connection == m_connection)
        failHere();
}

void ImapConnection::takeGreeting(const QByteArray& response)
{
    const std::optional<ImapResponses::Status> hello = ImapResponses::ReadStatus(response);
    if (!hello || !hello->tag.isEmpty()
        || (hello->condition != Condition::Ok && hello->condition != Condition::PreAuth))
        return fail({ Step::Connection, hello ? reasonOf(*hello) : QString() });
    m_phase = Phase::Command;
    m_signedIn = hello->condition == Condition::PreAuth;
    if (const std::optional<QByteArrayList> listed = ImapResponses::Capabilities(response)) {
        m_capabilities = *listed;
        return afterCapabilities();
    }
    askCapabilities([this] { afterCapabilities(); });
}

bool ImapConnection::takeUntagged(const QByteArray& response)
{
    if (++m_untagged > kMaxUntaggedInIdle)
        return false;
    const std::optional<bool> change = isChange(response);
    if (!change)
        return false;
    // A check waiting for IDLE to end searches after this, so it sees the
    // change itself: a server that looks at the mailbox only when a command
    // comes (Mailutils) tells of new mail in its answer to DONE, and taking
    // that as news would follow each check that finds mail with another.
    if (*change && !m_checking)
        changeTold();
    return true;
}

void ImapConnection::command(const QByteArray& name, Step step, const QByteArray& text, Untagged untagged,
    Completion done, const QByteArrayList& continuations, Phase phase, qsizetype bound)
{
    m_phase = phase;
    const QByteArray tag = 'A' + QByteArray::number(++m_lastTag);
    // Sent while another awaits its answer, it is answered after that one or before.
    (m_pending ? m_behind : m_pending) = std::make_shared<Pending>(
        Pending { tag, name, step, continuations, std::move(untagged), std::move(done), bound });
    send(tag + ' ' + text);
}

void ImapConnection::send(const QByteArray& bytes)
{
    const quint64 connection = m_connection;
    if (!m_socket->SendBytes(bytes))
        return m_checking ? fail({ Step::Connection, m_socket->LastErrorDescription() }) : lost();
    // Sending runs the TLS layer, which may tell of an error or a close there and then.
    if (connection != m_connection)
        return;
    m_timers.silence.setEnabled(false);
    m_timers.silence.setEnabled(true);
}

void ImapConnection::askCapabilities(std::function<void()> then)
{
    m_capabilities.clear();
    command(
        "CAPABILITY", Step::Connection, "CAPABILITY\r\n",
        [this](const QByteArray& response) {
            if (const std::optional<QByteArrayList> listed = ImapResponses::Capabilities(response))
                m_capabilities += *listed;
            return true;
        },
        [this, then = std::move(then)](const ImapResponses::Status& status, const QByteArray&) {
            if (status.condition != Condition::Ok)
                return fail({ Step::Connection, reasonOf(status) });
            then();
        });
}

void ImapConnection::afterCapabilities()
{
    // No credential and no token ever goes out in plain text.
    if (!m_tls) {
        // A server that signs in by itself cannot start TLS any more.
        if (m_signedIn || !m_capabilities.contains("STARTTLS"))
            return fail({ Step::ImapNoTls, {} });
        return command("STARTTLS", Step::ImapStartTls, "STARTTLS\r\n", {},
            [this](const ImapResponses::Status& status, const QByteArray&) {
                if (status.condition != Condition::Ok)
                    return fail({ Step::ImapStartTls, reasonOf(status) });
                m_phase = Phase::Handshake;
                if (!m_socket->StartTls())
                    fail({ Step::Connection, m_socket->LastErrorDescription() });
            });
    }
    if (!m_signedIn)
        return signIn();
    examine();
}

void ImapConnection::signIn()
{
    if (!IsAccountIndex(m_tag) || !Accounts[m_tag].IsOAuth2()) {
        const std::optional<ImapCommands::Command> signIn
            = ImapCommands::SignIn(m_capabilities, m_request->user, m_request->password, {});
        if (!signIn)
            return fail({ Step::ImapLogin, {} });
        return signInWith(*signIn, false);
    }
    // The token is asked for only now that a sign-in needs it: a check on a
    // connection that idles needs none.
    m_phase = Phase::Token;
    m_timers.silence.setEnabled(false);
    const QPointer<ImapConnection> self(this);
    const quint64 connection = m_connection;
    OAuthTokens::AccessToken(Accounts[m_tag], m_request->timeOutMs,
        [self, connection](const QString& token, const std::optional<CheckFailure>& failure) {
            if (!self || self->m_connection != connection || self->m_phase != Phase::Token)
                return;
            if (failure)
                return self->fail(*failure);
            if (const auto signIn
                = ImapCommands::SignIn(self->m_capabilities, self->m_request->user, {}, token))
                return self->signInWith(*signIn, true);
            self->fail({ Step::OAuthMechanism, {} });
        });
}

void ImapConnection::signInWith(const ImapCommands::Command& signIn, bool token)
{
    const Step step = token ? Step::OAuthSignIn : Step::ImapLogin;
    command(
        signIn.line.left(signIn.line.indexOf(' ')), step, signIn.line, {},
        [this, step](const ImapResponses::Status& status, const QByteArray& response) {
            if (status.condition != Condition::Ok)
                return fail({ step, reasonOf(status) });
            m_signedIn = true;
            // A server may offer more once the user is known (IDLE among
            // it); most say so in their completion, the others are asked.
            if (const std::optional<QByteArrayList> listed = ImapResponses::Capabilities(response)) {
                m_capabilities = *listed;
                return examine();
            }
            askCapabilities([this] { examine(); });
        },
        signIn.continuations);
}

void ImapConnection::examine()
{
    auto validity = std::make_shared<std::optional<quint32>>();
    command(
        "EXAMINE", Step::ImapExamine, "EXAMINE INBOX\r\n",
        [validity](const QByteArray& response) {
            if (const std::optional<quint32> number = ImapResponses::CodeNumber(response, "UIDVALIDITY"))
                *validity = number;
            return true;
        },
        [this, validity](const ImapResponses::Status& status, const QByteArray&) {
            if (status.condition != Condition::Ok || !*validity)
                return fail({ Step::ImapExamine, reasonOf(status) });
            m_validity = *validity;
            noteNewest();
        });
}

void ImapConnection::noteNewest()
{
    m_seen = ImapSeenList::Read(m_request->seen);
    m_newest.reset();
    if (!ImapSeenList::NotesNewest(m_seen, *m_validity))
        return search();
    // Taken before the search, so that whatever arrives from now on is after it.
    m_newest = ImapSeenList::EmptyMailbox;
    if (m_exists == 0)
        return search();
    m_newest.reset();
    command(
        "FETCH", Step::ImapFetch, "FETCH " + QByteArray::number(m_exists) + " (INTERNALDATE)\r\n",
        [this](const QByteArray& response) {
            const std::optional<ImapResponses::Fetch> fetch = ImapResponses::ReadFetch(response);
            if (fetch && fetch->arrived)
                m_newest = std::max(m_newest.value_or(ImapSeenList::EmptyMailbox), *fetch->arrived);
            return fetch || !ImapResponses::IsUntagged(response, "FETCH");
        },
        [this](const ImapResponses::Status& status, const QByteArray&) {
            if (status.condition != Condition::Ok || !m_newest)
                return fail({ Step::ImapFetch, reasonOf(status) });
            search();
        });
}

void ImapConnection::search()
{
    m_unseen.clear();
    command(
        "SEARCH", Step::ImapSearch, "UID SEARCH UNSEEN\r\n",
        [this](const QByteArray& response) {
            if (const std::optional<QList<quint32>> found = ImapResponses::SearchResults(response)) {
                m_unseen += *found;
                if (!m_budget->Charge(CheckBudget::IdentifierCost(22) * found->size()))
                    fail({ Step::Oversized, QStringLiteral("SEARCH") });
                return true;
            }
            // Taking a broken answer for "nothing unseen" would forget the seen list.
            if (ImapResponses::IsUntagged(response, "SEARCH"))
                return false;
            // Mail that came after the search ran is for the next check.
            if (ImapResponses::Exists(response))
                m_told = true;
            return true;
        },
        [this](const ImapResponses::Status& status, const QByteArray&) {
            if (status.condition != Condition::Ok)
                return fail({ Step::ImapSearch, reasonOf(status) });
            std::sort(m_unseen.begin(), m_unseen.end());
            m_unseen.erase(std::unique(m_unseen.begin(), m_unseen.end()), m_unseen.end());
            m_fresh.clear();
            const ImapSeenList::Rule rule = ImapSeenList::RuleFor(m_seen, *m_validity);
            if (m_request->announceAll || rule == ImapSeenList::Rule::ByUid) {
                for (const quint32 uid : std::as_const(m_unseen))
                    if (m_request->announceAll || !m_seen.uids.contains(uid))
                        m_fresh.append(uid);
            } else if (rule == ImapSeenList::Rule::ByArrival) {
                return arrivalsFrom(0);
            }
            fetchNew();
        },
        {}, Phase::Command,
        // The answer is held some five times over while it is read
        // (received, taken, numbers), all of it within what the check may hold.
        std::max(MaxResponse, qsizetype(m_budget->Room() / 5)));
}

void ImapConnection::arrivalsFrom(qsizetype start)
{
    if (start >= m_unseen.size())
        return fetchNew();
    const QList<quint32> batch = m_unseen.mid(start, kFetchBatch);
    auto arrivedSince = std::make_shared<QSet<quint32>>();
    command(
        "FETCH", Step::ImapFetch, "UID FETCH " + uidSet(batch) + " (UID INTERNALDATE)\r\n",
        [this, arrivedSince](const QByteArray& response) {
            const std::optional<ImapResponses::Fetch> fetch = ImapResponses::ReadFetch(response);
            if (fetch && fetch->uid && fetch->arrived && ImapSeenList::ArrivedSince(m_seen, *fetch->arrived))
                arrivedSince->insert(*fetch->uid);
            return fetch || !ImapResponses::IsUntagged(response, "FETCH");
        },
        [this, start, batch, arrivedSince](const ImapResponses::Status& status, const QByteArray&) {
            if (status.condition != Condition::Ok)
                return fail({ Step::ImapFetch, reasonOf(status) });
            for (const quint32 uid : batch)
                if (arrivedSince->contains(uid))
                    m_fresh.append(uid);
            arrivalsFrom(start + kFetchBatch);
        });
}

void ImapConnection::fetchNew()
{
    m_came.clear();
    m_came.reserve(m_fresh.size());
    m_fetchNext = 0;
    if (m_fresh.isEmpty())
        return finishCheck();
    fetchMore();
}

void ImapConnection::fetchMore()
{
    QByteArray fields = "FROM SUBJECT DATE";
    if (m_request->spam)
        fields += ' ' + SpamVerdict::VerdictFields().join(' ').toUpper();
    // The next batch goes out before the answer to the one before it is read,
    // so that the server looks up one while this end reads the other; two in
    // flight at most keep what waits to be read to two batches' headers.
    const quint64 connection = m_connection;
    while (connection == m_connection && m_fetchNext < m_fresh.size() && !m_behind) {
        const QList<quint32> batch = m_fresh.mid(m_fetchNext, kFetchBatch);
        m_fetchNext += batch.size();
        command(
            "FETCH", Step::ImapFetch,
            "UID FETCH " + uidSet(batch) + " (UID BODY.PEEK[HEADER.FIELDS (" + fields + ")])\r\n",
            [this](const QByteArray& response) {
                if (!ImapResponses::IsUntagged(response, "FETCH")) {
                    if (ImapResponses::Exists(response))
                        m_told = true;
                    return true; // RECENT, EXPUNGE and the like: the next check sees them
                }
                const std::optional<ImapResponses::Fetch> fetch = ImapResponses::ReadFetch(response);
                if (!fetch)
                    return false;
                // A flag change of another message, told without being asked.
                // Asked for is whatever went out so far: a server may answer
                // two commands in flight interleaved.
                if (!fetch->uid || !fetch->header
                    || !std::binary_search(m_fresh.cbegin(), m_fresh.cbegin() + m_fetchNext, *fetch->uid))
                    return true;
                NewMailItem item = ExtractHeaderFields(*fetch->header);
                if (m_request->spam && SpamVerdict::IsSpam(*fetch->header, item, *m_request->spam)) {
                    ++m_outcome.spamFound;
                    m_came.append(*fetch->uid);
                    return true;
                }
                item.nAccountIdx = m_request->nAccountIdx;
                if (m_found.contains(*fetch->uid))
                    return false;
                if (!m_budget->Charge(CheckBudget::NewMailCost(item), 1)) {
                    fail({ Step::Oversized, QStringLiteral("FETCH") });
                    return true;
                }
                m_found.insert(*fetch->uid, item);
                m_came.append(*fetch->uid);
                return true;
            },
            [this](const ImapResponses::Status& status, const QByteArray&) {
                if (status.condition != Condition::Ok)
                    return fail({ Step::ImapFetch, reasonOf(status) });
                if (!m_pending && m_fetchNext >= m_fresh.size())
                    return finishCheck();
                fetchMore();
            });
    }
}

void ImapConnection::finishCheck()
{
    CheckOutcome outcome = std::move(m_outcome);
    outcome.newMail = m_found.values();
    // Asked for and not come: kept out of the list, so that the next check asks again.
    std::sort(m_came.begin(), m_came.end());
    QList<quint32> missing;
    std::set_difference(
        m_fresh.cbegin(), m_fresh.cend(), m_came.cbegin(), m_came.cend(), std::back_inserter(missing));
    outcome.identifiers = ImapSeenList::Write(*m_validity, m_newest, m_unseen, missing);
    endCheck();
    const quint64 connection = m_connection;
    Q_EMIT Checked(m_tag, outcome);
    if (connection != m_connection)
        return;
    if (m_closing)
        return logout();
    if (!m_capabilities.contains("IDLE")) {
        m_pushed = false;
        return logout();
    }
    idle();
}

void ImapConnection::idle()
{
    m_untagged = 0;
    command(
        "IDLE", Step::ImapIdle, "IDLE\r\n", {},
        [this](const ImapResponses::Status& status, const QByteArray&) {
            if (m_phase == Phase::IdleStart) {
                // Refused: the timed check alone serves the account.
                m_pushed = false;
                return logout();
            }
            if (status.condition != Condition::Ok)
                return lost();
            afterIdle();
        },
        {}, Phase::IdleStart);
}

void ImapConnection::enterIdle()
{
    m_phase = Phase::Idling;
    // Nothing but the renewal may tick while idling.
    m_timers.silence.setEnabled(false);
    m_timers.renew.setEnabled(false);
    m_timers.renew.setEnabled(true);
    if (!m_idled) {
        m_idled = true;
        m_pushed = true;
        // Lost before this, the connection counts as failed, and the next
        // one waits twice as long.
        m_timers.settle.setEnabled(true);
        updateIdling();
    }
    if (m_checking || m_closing)
        return done();
    askForCheck();
}

void ImapConnection::done()
{
    m_phase = Phase::Done;
    m_timers.renew.setEnabled(false);
    send("DONE\r\n");
}

void ImapConnection::afterIdle()
{
    if (m_closing)
        return logout();
    if (!m_checking)
        return idle(); // renewed
    // A server tells of mail in IDLE only once it has noticed it; a NOOP has
    // it look at the mailbox now, so the search sees what was just delivered.
    command("NOOP", Step::ImapSearch, "NOOP\r\n", {},
        [this](const ImapResponses::Status& status, const QByteArray&) {
            if (status.condition != Condition::Ok)
                return fail({ Step::ImapSearch, reasonOf(status) });
            noteNewest();
        });
}

void ImapConnection::logout()
{
    command(
        "LOGOUT", Step::Connection, "LOGOUT\r\n", {},
        [this](const ImapResponses::Status&, const QByteArray&) { lost(); }, {}, Phase::Logout);
}

void ImapConnection::endCheck()
{
    m_outcome = {};
    m_found.clear();
    m_budget.reset();
    m_request.reset();
    m_checking = false;
    m_timers.length.setEnabled(false);
}

void ImapConnection::fail(const CheckFailure& failure)
{
    if (!m_checking)
        return lost();
    closeSocket();
    endCheck();
    CheckOutcome failed;
    failed.failure = failure;
    const quint64 run = m_run;
    Q_EMIT Checked(m_tag, failed);
    if (run != m_run)
        return;
    if (m_closing) {
        m_closing = false;
        return later([this] { Q_EMIT Closed(m_tag); });
    }
    if (!passing(failure.step))
        m_pushed = false;
    if (m_pushed)
        retryLater();
}

void ImapConnection::failHere(const QString& reason)
{
    if (!m_checking)
        return lost();
    if (!m_pending)
        return fail({ Step::Connection, reason });
    // A command without a STATUS of its own (CAPABILITY) is named, so that a
    // broken answer does not read as the time-out's bare "ｴﾗｰ()".
    const bool named = m_pending->step != Step::Connection || !reason.isEmpty();
    fail({ m_pending->step, named ? reason : QString::fromLatin1(m_pending->name) + QStringLiteral(" ｴﾗｰ") });
}

void ImapConnection::lost()
{
    const bool logout = m_phase == Phase::Logout;
    closeSocket();
    if (m_closing) {
        m_closing = false;
        return later([this] { Q_EMIT Closed(m_tag); });
    }
    if (m_pushed && !logout) {
        m_asked = false;
        retryLater();
    }
}

void ImapConnection::retryLater()
{
    m_timers.retry.setInterval(m_backOffMs);
    m_timers.retry.setEnabled(true);
    m_backOffMs = std::min(m_backOffMs * 2, LongestRetryMs);
}

void ImapConnection::changeTold()
{
    m_told = true;
    askForCheck();
}

void ImapConnection::askForCheck()
{
    // Whatever the server tells while a check runs, or within the floor
    // after the last check it asked for, folds into one check, asked for once
    // the connection idles again.
    if (!m_told || m_asked || m_checking || m_timers.floor.Enabled() || m_phase != Phase::Idling)
        return;
    m_told = false;
    m_asked = true;
    m_timers.floor.setEnabled(true);
    later([this] { Q_EMIT CheckWanted(m_tag); });
}

void ImapConnection::updateIdling()
{
    if (IsIdling() == m_idlingShown)
        return;
    m_idlingShown = IsIdling();
    later([this] { Q_EMIT PushChanged(m_tag); });
}

void ImapConnection::later(std::function<void()> emission)
{
    QMetaObject::invokeMethod(
        this,
        [this, run = m_run, emission = std::move(emission)] {
            if (run == m_run)
                emission();
        },
        Qt::QueuedConnection);
}
