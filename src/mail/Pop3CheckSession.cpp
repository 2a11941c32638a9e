#include "mail/Pop3CheckSession.h"

#include "mail/CheckBudget.h"
#include "mail/HeaderFields.h"
#include "mail/Pop3Framing.h"
#include "mail/Pop3Pipeline.h"
#include "mail/Pop3Replies.h"
#include "mail/PopTimeOut.h"
#include "mail/SaslResponses.h"
#include "mail/SpamDeletion.h"
#include "mail/clsWinSockOperate.h"

#include <QScopeGuard>
#include <QSet>

namespace {

using Shape = clsWinSockOperate::ReplyShape;

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

} // namespace

// What the check has found, taken in dialogue order (UIDL 1, TOP 1, UIDL 2,
// ...) whatever order the replies were read in, so that both ways of talking
// fail at the same step. Identifiers are kept once, as they are listed, and
// taken from there. What is held counts every identifier from its listing:
// sent ahead, a whole list of them is held before any header is, so at the
// memory bound that way may stop at an earlier step (failing all the same).
class Pop3CheckSession::Listing {
public:
    Listing(const CheckRequest& request, bool keepSpam)
        : m_seen(request.seen.cbegin(), request.seen.cend())
        , m_announceAll(request.announceAll)
        , m_account(request.nAccountIdx)
        , m_budget(request.memoryBound, request.arrival)
        , m_spam(request.spam)
        , m_keepSpam(keepSpam)
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

    // The messages judged spam, to be kept and deleted.
    const QList<SpamDeletion::Message>& spamToDelete() const { return m_spamToDelete; }

    CheckBudget& budget() { return m_budget; }

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
    QList<SpamDeletion::Message> m_spamToDelete;
};

Pop3CheckSession::Pop3CheckSession(clsWinSockOperate& session, ISpamFolder* spamFolder)
    : m_session(session)
    , m_spamFolder(spamFolder)
{
}

CheckOutcome Pop3CheckSession::Run(const CheckRequest& request)
{
    m_session.RemoteHost(request.server);
    m_session.RemotePort(QString::number(request.port));
    m_session.TimeOutSecond(request.timeOutMs);
    m_session.AllowFor(request.longestMs);

    Listing listing(request, m_spamFolder != nullptr);
    // What waits to be read counts with what the listing holds, for as long
    // as there is a listing.
    m_session.Budget(&listing.budget());
    const auto unbudgeted = qScopeGuard([this] { m_session.Budget(nullptr); });
    qint32 messageCount = 0;
    bool pipelined = false;
    if (const std::optional<CheckFailure> failure = converse(request, listing, messageCount, pipelined)) {
        CheckOutcome outcome;
        // Whatever step the check was at, the bound that ended it is what the user must hear of.
        outcome.failure = m_session.BoundPassed().value_or(*failure);
        return outcome;
    }
    if (!m_spamFolder || listing.spamToDelete().isEmpty()) {
        // The goodbye is not waited for: the answer would change nothing.
        m_session.SendData(QStringLiteral("QUIT") + kCrLf, false);
        return listing.success();
    }
    // The mail found stands whatever becomes of the spam: a deletion that
    // fails leaves the spam on the server, and the check still counts.
    SpamDeletion deletion(m_session, *m_spamFolder);
    const bool deleted = deletion.Run(listing.spamToDelete(), messageCount, pipelined);
    CheckOutcome outcome = listing.success();
    outcome.spamKept = deletion.Kept();
    outcome.spamDeleted = deleted;
    return outcome;
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
    // The listing's own time, after however long the sign-in took.
    m_session.AllowFor(ListingLengthMilliseconds(request.longestMs, messageCount));
    pipelined = Pop3Replies::ListsPipelining(capabilities);
    return pipelined ? listPipelined(messageCount, listing) : listOneByOne(messageCount, listing);
}

Pop3CheckSession::Answer Pop3CheckSession::ask(const QString& line, Shape shape)
{
    if (!m_session.SendData(line + kCrLf, false)
        || m_session.WaitReply(shape) != clsWinSockOperate::ResultArrived)
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
    Pop3Pipeline uidl(m_session, Shape::SingleLine, messageCount,
        [](qsizetype k) { return Pop3Pipeline::Line(uidlLine(k + 1)); });
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
    Pop3Pipeline top(m_session, Shape::MultiLine, toFetch,
        [&listing, asked = qsizetype(-1), place = qsizetype(-1)](qsizetype i) mutable {
            if (i != asked) {
                asked = i;
                do
                    ++place;
                while (!listing.announces(place));
            }
            return Pop3Pipeline::Line(topLine(place + 1));
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
