#include "mail/Pop3CheckSession.h"

#include "mail/CheckBudget.h"
#include "mail/HeaderFields.h"
#include "mail/Pop3Framing.h"
#include "mail/Pop3Replies.h"
#include "mail/SaslResponses.h"
#include "mail/SpamMaildir.h"
#include "mail/clsWinSockOperate.h"

#include <QSet>

#include <deque>
#include <functional>

namespace {

using Shape = clsWinSockOperate::ReplyShape;

// Bytes of commands sent ahead and not yet answered, at most: far under any
// server's receive buffer, so a server that reads one command at a time
// never holds our writes back, yet some 370 commands a round trip, so that a
// distant server with thousands of messages is asked in a few round trips.
constexpr qsizetype kPipelineBytes = 4096;

const QString kCrLf = QStringLiteral("\r\n");

CheckFailure failedAt(CheckFailure::Step step, const QString& reason = {}) { return { step, reason }; }

// A line break or NUL inside a typed value would end the command early and
// smuggle a second one onto the wire.
QString lineSafe(QString value)
{
    value.remove(QLatin1Char('\r'));
    value.remove(QLatin1Char('\n'));
    value.remove(QChar(0));
    return value;
}

// The commands of the listing, spelled once for both ways of talking.
QString uidlLine(qsizetype message) { return QStringLiteral("UIDL ") + QString::number(message); }

QString topLine(qsizetype message)
{
    return QStringLiteral("TOP ") + QString::number(message) + QStringLiteral(" 0");
}

// A command line as it goes out ahead of its reply.
QByteArray ahead(const QString& line) { return (line + kCrLf).toLatin1(); }

std::optional<QByteArray> identifierOf(const QByteArray& reply)
{
    const QByteArray status = Pop3Framing::StatusLine(reply);
    if (!Pop3Framing::IsPositive(status))
        return std::nullopt;
    return Pop3Replies::UidlIdentifier(status);
}

// Read out of a pipeline, a positive UIDL reply is known to answer its own
// command only by the message number it names. A "-ERR" names none, and is
// judged as the one-by-one dialogue judges it.
bool answersUidl(const QByteArray& reply, qsizetype message)
{
    const QByteArray status = Pop3Framing::StatusLine(reply);
    return !Pop3Framing::IsPositive(status) || Pop3Replies::UidlAnswers(status, message);
}

// The header block of a TOP reply, when it is one.
std::optional<QByteArray> headerBlockOf(const QByteArray& reply, bool pipelined)
{
    if (!Pop3Framing::IsPositive(Pop3Framing::StatusLine(reply)))
        return std::nullopt;
    QByteArray block = Pop3Framing::MultiLineBody(reply);
    // In a pipeline, a line nobody asked for is framed as the status line of
    // the TOP reply it precedes, and that reply's own status line then opens
    // the header block, where no header can.
    if (pipelined && Pop3Framing::OpensWithStatus(block))
        return std::nullopt;
    return block;
}

// The header lines of a message or header block, up to its empty line.
QByteArrayView headerSection(QByteArrayView text)
{
    if (text.startsWith("\r\n"))
        return {};
    const qsizetype end = text.indexOf("\r\n\r\n");
    return end < 0 ? text : text.first(end + 2);
}

QString retrLine(qsizetype message) { return QStringLiteral("RETR ") + QString::number(message); }

QString deleLine(qsizetype message) { return QStringLiteral("DELE ") + QString::number(message); }

} // namespace

// What the check has found, taken in dialogue order (UIDL 1, TOP 1, UIDL 2,
// ...) whatever order the replies were read in, so that both ways of talking
// fail at the same step. Identifiers are kept once, as they are listed, and
// taken from there. What is held counts every identifier from its listing:
// sent ahead, a whole list of them is held before any header is, so at the
// memory bound that way may stop at an earlier step (failing all the same).
class Pop3CheckSession::Listing {
public:
    explicit Listing(const CheckRequest& request)
        : m_seen(request.seen.cbegin(), request.seen.cend())
        , m_announceAll(request.announceAll)
        , m_account(request.nAccountIdx)
        , m_budget(request.memoryBound, request.arrival)
        , m_spam(request.spam)
        , m_keepSpam(request.keepSpamIn != nullptr)
    {
        for (const QString& identifier : request.seen)
            m_budget.Charge(CheckBudget::SeenCost(identifier));
    }

    // Keeps the next identifier listed; false when there is none, or when
    // holding it would pass the bound. Either way the check fails at this
    // message's UIDL step, where takeIdentifier() stops.
    bool list(const std::optional<QByteArray>& uid)
    {
        if (!uid || !m_budget.Charge(CheckBudget::IdentifierCost(uid->size())))
            return false;
        m_identifiers.append(QString::fromLatin1(*uid));
        return true;
    }

    // Takes the next identifier listed into the dialogue; false when the UIDL
    // step fails there.
    bool takeIdentifier()
    {
        if (m_taken == m_identifiers.size())
            return false;
        ++m_taken;
        return true;
    }

    qsizetype listed() const { return m_identifiers.size(); }

    // True when the message listed at this place (from 0) is to be announced.
    bool announces(qsizetype place) const { return m_announceAll || !m_seen.contains(m_identifiers[place]); }

    bool announcesLast() const { return announces(m_taken - 1); }

    // False when the TOP step fails.
    bool takeHeaders(const std::optional<QByteArray>& block)
    {
        if (!block)
            return false;
        const NewMailItem item = ExtractHeaderFields(*block);
        const bool spam = m_spam && SpamVerdict::IsSpam(*block, item, *m_spam);
        if (!m_budget.Charge(CheckBudget::NewMailCost(item), spam ? 0 : 1))
            return false;
        if (spam) {
            ++m_spamFound;
            // Its headers are what a RETR of the same message must begin with.
            if (m_keepSpam) {
                if (!m_budget.Charge(block->size()))
                    return false;
                m_spamToDelete.append({ m_taken, m_identifiers[m_taken - 1], *block });
            }
            return true;
        }
        m_newMail.append(item);
        m_newMail.last().nAccountIdx = m_account;
        return true;
    }

    // A message judged spam, to be kept and deleted.
    struct Spam {
        qsizetype message; // its number in this session
        QString identifier;
        QByteArray headers;
    };
    const QList<Spam>& spamToDelete() const { return m_spamToDelete; }

    CheckOutcome success()
    {
        CheckOutcome outcome;
        outcome.identifiers = std::move(m_identifiers);
        outcome.newMail = std::move(m_newMail);
        outcome.spamFound = m_spamFound;
        return outcome;
    }

private:
    QSet<QString> m_seen;
    bool m_announceAll;
    qint32 m_account;
    // The seen test, the identifiers listed, the headers taken and their rows.
    CheckBudget m_budget;
    QStringList m_identifiers;
    qsizetype m_taken = 0;
    QList<NewMailItem> m_newMail;
    std::optional<SpamVerdict::Lists> m_spam;
    bool m_keepSpam;
    qsizetype m_spamFound = 0;
    QList<Spam> m_spamToDelete;
};

// Commands sent ahead of their replies, at most kPipelineBytes of them
// unanswered, and their replies read back one by one in order.
class Pop3CheckSession::Pipeline {
public:
    Pipeline(clsWinSockOperate& session, Shape shape, qsizetype count,
        std::function<QByteArray(qsizetype)> commandAt)
        : m_session(session)
        , m_shape(shape)
        , m_count(count)
        , m_commandAt(std::move(commandAt))
    {
    }

    // Reads the next reply into the session's Reply(), sending more commands
    // first when the window has room; false when the connection ended.
    bool next()
    {
        // Refilling a quarter of the window at a time keeps the writes few and
        // large, and the window full enough that a long round trip is not idle.
        if (m_sent < m_count && m_unansweredBytes <= kPipelineBytes * 3 / 4) {
            QByteArray batch;
            while (m_sent < m_count) {
                const QByteArray command = m_commandAt(m_sent);
                if (m_unansweredBytes + command.size() > kPipelineBytes)
                    break;
                batch += command;
                m_unansweredBytes += command.size();
                m_unanswered.push_back(command.size());
                ++m_sent;
            }
            if (!batch.isEmpty() && !m_session.SendAhead(batch))
                return false;
        }
        return readReply();
    }

    // Reads the replies still owed for commands already sent.
    bool drain()
    {
        while (!m_unanswered.empty())
            if (!readReply())
                return false;
        return true;
    }

private:
    bool readReply()
    {
        if (m_unanswered.empty() || m_session.WaitReply(m_shape) != clsWinSockOperate::ResultArrived)
            return false;
        m_unansweredBytes -= m_unanswered.front();
        m_unanswered.pop_front();
        return true;
    }

    clsWinSockOperate& m_session;
    Shape m_shape;
    qsizetype m_count;
    std::function<QByteArray(qsizetype)> m_commandAt;
    qsizetype m_sent = 0;
    // The sizes of the commands sent and not yet answered, oldest first.
    std::deque<qsizetype> m_unanswered;
    qsizetype m_unansweredBytes = 0;
};

Pop3CheckSession::Pop3CheckSession(clsWinSockOperate& session)
    : m_session(session)
{
}

CheckOutcome Pop3CheckSession::Run(const CheckRequest& request)
{
    m_session.RemoteHost(request.server);
    m_session.RemotePort(QString::number(request.port));
    m_session.TimeOutSecond(request.timeOutMs);

    Listing listing(request);
    qint32 messageCount = 0;
    bool pipelined = false;
    if (const std::optional<CheckFailure> failure = converse(request, listing, messageCount, pipelined)) {
        CheckOutcome outcome;
        outcome.failure = failure;
        return outcome;
    }
    if (!request.keepSpamIn || listing.spamToDelete().isEmpty()) {
        // The goodbye is not waited for: the answer would change nothing.
        m_session.SendData(QStringLiteral("QUIT") + kCrLf, false);
        return listing.success();
    }
    // The mail found stands whatever becomes of the spam: a deletion that
    // fails leaves the spam on the server, and the check still counts.
    QStringList kept;
    const bool commit = deleteSpam(request, messageCount, pipelined, listing, kept);
    CheckOutcome outcome = listing.success();
    outcome.spamKept = kept;
    // Without QUIT the server forgets every DELE of the session.
    if (commit && ask(QStringLiteral("QUIT"), Shape::SingleLine, true) == Answer::Positive) {
        request.keepSpamIn->MarkDeleted(kept);
        outcome.spamDeleted = true;
    }
    return outcome;
}

bool Pop3CheckSession::deleteSpam(
    const CheckRequest& request, qint32 messageCount, bool pipelined, Listing& listing, QStringList& kept)
{
    const QList<Listing::Spam>& spam = listing.spamToDelete();
    // A whole message is taken as the one judged only when it begins with
    // the very headers that TOP gave for that number in this session.
    const auto keep = [&](const Listing::Spam& message) {
        const QByteArray reply = m_session.Reply();
        if (!Pop3Framing::IsPositive(Pop3Framing::StatusLine(reply)))
            return false;
        const QByteArray whole = Pop3Framing::MultiLineBody(reply);
        if (headerSection(whole) != headerSection(message.headers))
            return false;
        const QString name = request.keepSpamIn->Keep(request.mailbox, message.identifier, whole);
        if (name.isEmpty())
            return false;
        kept.append(name);
        return true;
    };
    if (pipelined) {
        Pipeline retr(m_session, Shape::Message, spam.size(),
            [&spam](qsizetype i) { return ahead(retrLine(spam[i].message)); });
        for (const Listing::Spam& message : spam)
            if (!retr.next() || !keep(message))
                return false;
    }
    // Each DELE is followed by a STAT that must count one message less: a
    // reply out of place (a line nobody asked for, a shifted pipeline) cannot
    // pass for a STAT reply, and no further DELE goes out after it. Nothing
    // received is dropped here, as it is before other commands, so a line
    // nobody asked for always shifts the replies behind it into view.
    qint32 remaining = messageCount;
    const auto counted = [this, &remaining] {
        const std::optional<qint32> count
            = Pop3Replies::StatMessageCount(Pop3Framing::StatusLine(m_session.Reply()));
        return count && *count == --remaining;
    };
    for (const Listing::Spam& message : spam) {
        if (pipelined) {
            if (!m_session.SendAhead(ahead(deleLine(message.message)) + ahead(QStringLiteral("STAT")))
                || m_session.WaitReply(Shape::SingleLine) != clsWinSockOperate::ResultArrived
                || !Pop3Framing::IsPositive(Pop3Framing::StatusLine(m_session.Reply()))
                || m_session.WaitReply(Shape::SingleLine) != clsWinSockOperate::ResultArrived
                || !Pop3Framing::IsPositive(Pop3Framing::StatusLine(m_session.Reply())) || !counted())
                return false;
            continue;
        }
        if (ask(retrLine(message.message), Shape::Message, true) != Answer::Positive || !keep(message)
            || ask(deleLine(message.message), Shape::SingleLine, true) != Answer::Positive
            || ask(QStringLiteral("STAT"), Shape::SingleLine, true) != Answer::Positive || !counted())
            return false;
    }
    return true;
}

std::optional<CheckFailure> Pop3CheckSession::converse(
    const CheckRequest& request, Listing& listing, qint32& messageCount, bool& pipelined)
{
    using Step = CheckFailure::Step;
    const auto lost = [this] { return failedAt(Step::Connection, m_session.ErrorDescription()); };
    if (!m_session.Connect(false)
        || m_session.WaitReply(Shape::SingleLine) != clsWinSockOperate::ResultArrived)
        return lost();
    const QByteArray greeting = Pop3Framing::StatusLine(m_session.Reply());
    // A port of an IMAP server (993, 143) answers "* OK": the user has the
    // wrong kind of server, which the socket's words would never say.
    if (greeting.startsWith("* OK") || greeting.startsWith("* PREAUTH"))
        return failedAt(Step::ImapGreeting);
    if (!Pop3Framing::IsPositive(greeting))
        return lost();
    // Many older servers refuse CAPA: they list nothing, and simply get one
    // command at a time.
    const Answer capa = ask(QStringLiteral("CAPA"), Shape::MultiLine);
    if (capa == Answer::None)
        return lost();
    const QByteArray capabilities
        = capa == Answer::Positive ? Pop3Framing::MultiLineBody(m_session.Reply()) : QByteArray();
    if (!request.accessToken.isEmpty()) {
        if (std::optional<CheckFailure> refused = signInWithToken(request, capabilities))
            return refused;
    } else {
        if (ask(QStringLiteral("USER ") + lineSafe(request.user), Shape::SingleLine) != Answer::Positive)
            return failedAt(Step::Account);
        if (ask(QStringLiteral("PASS ") + lineSafe(request.password), Shape::SingleLine) != Answer::Positive)
            return failedAt(Step::Password);
    }
    // Strict servers refuse the blank after STAT that this program has always
    // sent; one that answered with a refusal is asked once more without it.
    Answer stat = ask(QStringLiteral("STAT "), Shape::SingleLine);
    if (stat == Answer::Negative)
        stat = ask(QStringLiteral("STAT"), Shape::SingleLine);
    const std::optional<qint32> counted = stat == Answer::Positive
        ? Pop3Replies::StatMessageCount(Pop3Framing::StatusLine(m_session.Reply()))
        : std::nullopt;
    if (!counted)
        return failedAt(Step::Stat);
    messageCount = *counted;
    pipelined = Pop3Replies::ListsPipelining(capabilities);
    return pipelined ? listPipelined(messageCount, listing) : listOneByOne(messageCount, listing);
}

Pop3CheckSession::Answer Pop3CheckSession::ask(const QString& line, Shape shape, bool keepUnread)
{
    const bool sent = keepUnread ? m_session.SendAhead(ahead(line)) : m_session.SendData(line + kCrLf, false);
    if (!sent || m_session.WaitReply(shape) != clsWinSockOperate::ResultArrived)
        return Answer::None;
    return Pop3Framing::IsPositive(Pop3Framing::StatusLine(m_session.Reply())) ? Answer::Positive
                                                                               : Answer::Negative;
}

std::optional<CheckFailure> Pop3CheckSession::signInWithToken(
    const CheckRequest& request, const QByteArray& capabilities)
{
    const QByteArrayList offered = Pop3Replies::SaslMechanisms(capabilities);
    const bool xoauth2 = offered.contains("XOAUTH2");
    if (!xoauth2 && !offered.contains("OAUTHBEARER"))
        return failedAt(CheckFailure::Step::OAuthMechanism);

    const QByteArray response = xoauth2 ? SaslResponses::XOAuth2(request.user, request.accessToken)
                                        : SaslResponses::OAuthBearer(request.user, request.accessToken);
    const auto refused
        = [](const QString& reason) { return failedAt(CheckFailure::Step::OAuthSignIn, reason); };
    const auto reply = [this](const QByteArray& line) -> std::optional<QByteArray> {
        if (!m_session.SendData(QString::fromLatin1(line) + kCrLf, false)
            || m_session.WaitReply(Shape::SingleLine) != clsWinSockOperate::ResultArrived)
            return std::nullopt;
        return Pop3Framing::StatusLine(m_session.Reply());
    };

    // The response goes on a line of its own after the server's "+": one
    // large provider takes it no other way.
    const std::optional<QByteArray> ready = reply(xoauth2 ? "AUTH XOAUTH2" : "AUTH OAUTHBEARER");
    if (!ready)
        return refused({});
    if (!Pop3Replies::IsContinuation(*ready))
        return refused(Pop3Replies::SaslFailureReason(*ready));
    const std::optional<QByteArray> verdict = reply(response.toBase64());
    if (!verdict)
        return refused({});
    if (Pop3Framing::IsPositive(*verdict))
        return std::nullopt;
    // A challenge now carries the reason; the mechanism's answer to it (an
    // empty line, or a lone \x01) lets the server end the exchange, and
    // its "-ERR" may say why where the challenge did not.
    QString reason = Pop3Replies::SaslFailureReason(*verdict);
    if (Pop3Replies::IsContinuation(*verdict)) {
        const std::optional<QByteArray> last = reply(xoauth2 ? QByteArray() : QByteArray("\x01").toBase64());
        if (reason.isEmpty() && last)
            reason = Pop3Replies::SaslFailureReason(*last);
    }
    return refused(reason);
}

std::optional<CheckFailure> Pop3CheckSession::listOneByOne(qint32 messageCount, Listing& listing)
{
    for (qint32 j = 1; j <= messageCount; ++j) {
        if (ask(uidlLine(j), Shape::SingleLine) != Answer::Positive
            || !listing.list(identifierOf(m_session.Reply())) || !listing.takeIdentifier())
            return failedAt(CheckFailure::Step::Uidl);
        if (!listing.announcesLast())
            continue;
        if (ask(topLine(j), Shape::MultiLine) != Answer::Positive
            || !listing.takeHeaders(headerBlockOf(m_session.Reply(), false)))
            return failedAt(CheckFailure::Step::Top);
    }
    return std::nullopt;
}

std::optional<CheckFailure> Pop3CheckSession::listPipelined(qint32 messageCount, Listing& listing)
{
    // Every UIDL first. The list stops at the first reply that the one-by-one
    // dialogue would fail on (or once holding the identifiers passes the bound);
    // what that dialogue would have fetched before it is fetched next.
    qsizetype read = 0;
    Pipeline uidl(
        m_session, Shape::SingleLine, messageCount, [](qsizetype k) { return ahead(uidlLine(k + 1)); });
    while (read < messageCount) {
        if (!uidl.next())
            return failedAt(CheckFailure::Step::Uidl);
        // A reply to another command means the server said something unasked:
        // every reply from here on would belong to the command before it, so
        // nothing more read on this connection can be trusted.
        const QByteArray reply = m_session.Reply();
        if (!answersUidl(reply, read + 1))
            return failedAt(CheckFailure::Step::Uidl);
        ++read;
        if (!listing.list(identifierOf(reply)))
            break;
    }
    if (!uidl.drain())
        return failedAt(CheckFailure::Step::Uidl);

    qsizetype toFetch = 0;
    for (qsizetype k = 0; k < listing.listed(); ++k)
        toFetch += listing.announces(k);
    // The pipeline asks for its commands in order, the one that did not fit
    // once more: command i is for the i-th announced message.
    Pipeline top(m_session, Shape::MultiLine, toFetch,
        [&listing, asked = qsizetype(-1), place = qsizetype(-1)](qsizetype i) mutable {
            if (i != asked) {
                asked = i;
                do
                    ++place;
                while (!listing.announces(place));
            }
            return ahead(topLine(place + 1));
        });

    // Then the replies taken in the order of the one-by-one dialogue.
    for (qsizetype k = 0; k < read; ++k) {
        if (!listing.takeIdentifier())
            return failedAt(CheckFailure::Step::Uidl);
        if (!listing.announcesLast())
            continue;
        if (!top.next() || !listing.takeHeaders(headerBlockOf(m_session.Reply(), true)))
            return failedAt(CheckFailure::Step::Top);
    }
    return std::nullopt;
}
