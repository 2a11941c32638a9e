#include "mail/Pop3CheckSession.h"

#include "app/StatusText.h"
#include "mail/HeaderFields.h"
#include "mail/Pop3Framing.h"
#include "mail/Pop3Replies.h"
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

const QString& uidlError()
{
    static const QString text = StatusText::Error(QStringLiteral("UIDL ｴﾗｰ"));
    return text;
}

const QString& topError()
{
    static const QString text = StatusText::Error(QStringLiteral("TOP ｴﾗｰ"));
    return text;
}

// What holding a server's answers really costs, counted against the bound.
// Counting the bytes received would let the program hold twice as much: a
// character takes two bytes in a text, every block has the allocator's and
// Qt's headers, a list that grows by doubling may have as many places free
// as filled, and each announced message becomes a row of the arrival window.
namespace Cost {

    // glibc hands out 16-byte steps, 8 bytes of each block its own, 32 at least.
    qint64 block(qint64 bytes) { return qMax<qint64>(32, (bytes + 8 + 15) / 16 * 16); }

    // A text's block: Qt's 16-byte header, UTF-16 characters and a closing zero.
    qint64 text(qsizetype characters) { return block(16 + 2 * (qint64(characters) + 1)); }

    // A place in a list that grows by doubling, and the free one beside it.
    template <typename T> constexpr qint64 listPlace = 2 * qint64(sizeof(T));

    // An identifier of the seen list, which stays until the check replaces
    // it, and its entry in the set the seen test looks identifiers up in:
    // the set's node and its share of spans and buckets.
    qint64 seen(const QString& identifier) { return text(identifier.size()) + listPlace<QString> + 48; }

    // The identifier as held, and its line in the settings file, which a
    // successful check writes whole from memory ("UIDL123456=" and CR LF).
    qint64 identifier(qsizetype characters)
    {
        return text(characters) + listPlace<QString> + characters + 20;
    }

    // The row of the arrival window beyond its texts (which it shares with
    // the item): its record of four texts and a tag in the list's array, and
    // the view's record of it; some 140 bytes as measured, with room for the
    // array's growth.
    constexpr qint64 arrivalRow = 160;

    // A new-mail item as held by the check, without the row it becomes.
    qint64 newMail(const NewMailItem& item)
    {
        return listPlace<NewMailItem> + text(item.strFrom.size()) + text(item.strDate.size())
            + text(item.strSubject.size());
    }

    // Rows the window shows: each with its three texts' blocks.
    qint64 shown(const ShownArrivalRows& rows)
    {
        return rows.rows * (arrivalRow + 3 * block(16 + 2)) + 2 * qint64(rows.characters);
    }

} // namespace Cost

// A line break or NUL inside a typed value would end the command early and
// smuggle a second one onto the wire.
QString lineSafe(QString value)
{
    value.remove(QLatin1Char('\r'));
    value.remove(QLatin1Char('\n'));
    value.remove(QChar(0));
    return value;
}

// A token or name with a control character would break the SASL fields
// (which \x01 separates) as a line break would break the command.
QByteArray saslSafe(const QString& value)
{
    QString safe = value;
    safe.removeIf([](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
    return safe.toUtf8();
}

// The authorization identity of OAUTHBEARER's GS2 header, where "," and "="
// are escaped.
QByteArray gs2Name(QByteArray user) { return user.replace("=", "=3D").replace(",", "=2C"); }

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

std::optional<NewMailItem> headersOf(const QByteArray& reply, bool pipelined)
{
    if (!Pop3Framing::IsPositive(Pop3Framing::StatusLine(reply)))
        return std::nullopt;
    const QByteArray block = Pop3Framing::MultiLineBody(reply);
    // In a pipeline, a line nobody asked for is framed as the status line of
    // the TOP reply it precedes, and that reply's own status line then opens
    // the header block, where no header can.
    if (pipelined && Pop3Framing::OpensWithStatus(block))
        return std::nullopt;
    return ExtractHeaderFields(block);
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
    explicit Listing(const Pop3CheckRequest& request)
        : m_seen(request.seen.cbegin(), request.seen.cend())
        , m_announceAll(request.announceAll)
        , m_account(request.nAccountIdx)
        , m_bound(request.memoryBound - Cost::shown(request.shownOthers))
        , m_shownOwn(Cost::shown(request.shownOwn))
        , m_held(0)
    {
        for (const QString& identifier : request.seen)
            m_held += Cost::seen(identifier);
    }

    // Keeps the next identifier listed; false when there is none, or when
    // holding it would pass the bound. Either way the check fails at this
    // message's UIDL step, where takeIdentifier() stops.
    bool list(const std::optional<QByteArray>& uid)
    {
        if (!uid)
            return false;
        m_held += Cost::identifier(uid->size());
        if (passesBound())
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
    bool takeHeaders(const std::optional<NewMailItem>& item)
    {
        if (!item)
            return false;
        m_held += Cost::newMail(*item);
        m_newRows += Cost::arrivalRow;
        if (passesBound())
            return false;
        m_newMail.append(*item);
        m_newMail.last().nAccountIdx = m_account;
        return true;
    }

    Pop3CheckOutcome success()
    {
        Pop3CheckOutcome outcome;
        outcome.succeeded = true;
        outcome.status
            = QStringLiteral("成功(新着") + QString::number(m_newMail.size()) + QStringLiteral("件)");
        outcome.identifiers = std::move(m_identifiers);
        outcome.newMail = std::move(m_newMail);
        return outcome;
    }

private:
    // The account's rows shown now go once its new rows come, and no sooner.
    bool passesBound() const { return m_held + qMax(m_shownOwn, m_newRows) > m_bound; }

    QSet<QString> m_seen;
    bool m_announceAll;
    qint32 m_account;
    qint64 m_bound; // less the other accounts' rows
    qint64 m_shownOwn;
    qint64 m_newRows = 0;
    QStringList m_identifiers;
    qsizetype m_taken = 0;
    QList<NewMailItem> m_newMail;
    // The seen test, the identifiers listed and the headers taken.
    qint64 m_held;
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

Pop3CheckOutcome Pop3CheckSession::Run(const Pop3CheckRequest& request)
{
    m_session.RemoteHost(request.server);
    m_session.RemotePort(QString::number(request.port));
    m_session.TimeOutSecond(request.timeOutMs);

    const auto failed = [](const QString& status) {
        Pop3CheckOutcome outcome;
        outcome.status = status;
        return outcome;
    };

    if (!m_session.Connect(false)
        || m_session.WaitReply(Shape::SingleLine) != clsWinSockOperate::ResultArrived
        || !Pop3Framing::IsPositive(Pop3Framing::StatusLine(m_session.Reply())))
        return failed(StatusText::Error(m_session.ErrorDescription()));
    const std::optional<bool> pipelining = askPipelining();
    if (!pipelining)
        return failed(StatusText::Error(m_session.ErrorDescription()));
    if (!request.accessToken.isEmpty()) {
        // The reply to CAPA is still the last one read; a refused CAPA lists nothing.
        const QString refused = signInWithToken(request, Pop3Framing::MultiLineBody(m_session.Reply()));
        if (!refused.isEmpty())
            return failed(refused);
    } else {
        if (!command(QStringLiteral("USER ") + lineSafe(request.user), false))
            return failed(StatusText::Error(QStringLiteral("ACCOUNT ｴﾗｰ")));
        if (!command(QStringLiteral("PASS ") + lineSafe(request.password), false))
            return failed(StatusText::Error(QStringLiteral("PASSWD ｴﾗｰ")));
    }
    // Strict servers refuse the blank after STAT that this program has always
    // sent; one that answered with a refusal is asked once more without it.
    std::optional<bool> counted = ask(QStringLiteral("STAT "), false);
    if (counted && !*counted)
        counted = ask(QStringLiteral("STAT"), false);
    if (!counted.value_or(false))
        return failed(StatusText::Error(QStringLiteral("STAT ｴﾗｰ")));
    const std::optional<qint32> messageCount
        = Pop3Replies::StatMessageCount(Pop3Framing::StatusLine(m_session.Reply()));
    if (!messageCount)
        return failed(StatusText::Error(QStringLiteral("STAT ｴﾗｰ")));

    Listing listing(request);
    const QString failure
        = *pipelining ? listPipelined(*messageCount, listing) : listOneByOne(*messageCount, listing);
    if (!failure.isEmpty())
        return failed(failure);

    // The goodbye is not waited for: the answer would change nothing.
    m_session.SendData(QStringLiteral("QUIT") + kCrLf, false);
    return listing.success();
}

std::optional<bool> Pop3CheckSession::ask(const QString& line, bool multiLine)
{
    if (!m_session.SendData(line + kCrLf, false)
        || m_session.WaitReply(multiLine ? Shape::MultiLine : Shape::SingleLine)
            != clsWinSockOperate::ResultArrived)
        return std::nullopt;
    return Pop3Framing::IsPositive(Pop3Framing::StatusLine(m_session.Reply()));
}

bool Pop3CheckSession::command(const QString& line, bool multiLine)
{
    return ask(line, multiLine).value_or(false);
}

std::optional<bool> Pop3CheckSession::askPipelining()
{
    // Many older servers answer "-ERR": they simply get one command at a time.
    const std::optional<bool> listed = ask(QStringLiteral("CAPA"), true);
    if (!listed)
        return std::nullopt;
    return *listed && Pop3Replies::ListsPipelining(Pop3Framing::MultiLineBody(m_session.Reply()));
}

QString Pop3CheckSession::signInWithToken(const Pop3CheckRequest& request, const QByteArray& capabilities)
{
    const QByteArrayList offered = Pop3Replies::SaslMechanisms(capabilities);
    const bool xoauth2 = offered.contains("XOAUTH2");
    if (!xoauth2 && !offered.contains("OAUTHBEARER"))
        return StatusText::Error(QStringLiteral("OAUTH2 非対応ｻｰﾊﾞｰ"));

    const QByteArray user = saslSafe(request.user);
    const QByteArray bearer = "auth=Bearer " + saslSafe(request.accessToken) + "\x01\x01";
    // OAUTHBEARER's host and port fields are optional; servers find the
    // account from the name and the token alone.
    const QByteArray response
        = xoauth2 ? "user=" + user + "\x01" + bearer : "n,a=" + gs2Name(user) + ",\x01" + bearer;
    const auto refused = [](const QString& reason) {
        return StatusText::Error(QStringLiteral("OAUTH2 ｻｲﾝｲﾝ ｴﾗｰ")
            + (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
    };
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
        return {};
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

QString Pop3CheckSession::listOneByOne(qint32 messageCount, Listing& listing)
{
    for (qint32 j = 1; j <= messageCount; ++j) {
        if (!command(uidlLine(j), false) || !listing.list(identifierOf(m_session.Reply()))
            || !listing.takeIdentifier())
            return uidlError();
        if (!listing.announcesLast())
            continue;
        if (!command(topLine(j), true) || !listing.takeHeaders(headersOf(m_session.Reply(), false)))
            return topError();
    }
    return {};
}

QString Pop3CheckSession::listPipelined(qint32 messageCount, Listing& listing)
{
    // Every UIDL first. The list stops at the first reply that the one-by-one
    // dialogue would fail on (or once holding the identifiers passes the bound);
    // what that dialogue would have fetched before it is fetched next.
    qsizetype read = 0;
    Pipeline uidl(
        m_session, Shape::SingleLine, messageCount, [](qsizetype k) { return ahead(uidlLine(k + 1)); });
    while (read < messageCount) {
        if (!uidl.next())
            return uidlError();
        // A reply to another command means the server said something unasked:
        // every reply from here on would belong to the command before it, so
        // nothing more read on this connection can be trusted.
        const QByteArray reply = m_session.Reply();
        if (!answersUidl(reply, read + 1))
            return uidlError();
        ++read;
        if (!listing.list(identifierOf(reply)))
            break;
    }
    if (!uidl.drain())
        return uidlError();

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
            return uidlError();
        if (!listing.announcesLast())
            continue;
        if (!top.next() || !listing.takeHeaders(headersOf(m_session.Reply(), true)))
            return topError();
    }
    return {};
}
