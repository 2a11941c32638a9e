#include "mail/ImapCheckSession.h"

#include "mail/CheckBudget.h"
#include "mail/HeaderFields.h"
#include "mail/ImapCommands.h"
#include "mail/ImapFraming.h"
#include "mail/ImapResponses.h"
#include "mail/ImapSeenList.h"
#include "mail/Pop3Replies.h"
#include "mail/SpamVerdict.h"
#include "platform/SocketControl.h"

#include <QMap>
#include <QSet>

#include <algorithm>
#include <iterator>

namespace {

using Shape = clsWinSockOperate::ReplyShape;
using Step = CheckFailure::Step;
using ImapResponses::Condition;

// UIDs asked for in one FETCH: a command line of a few KB, far under any
// server's limit, and few round trips for a large first check.
constexpr qsizetype kFetchBatch = 500;

CheckFailure failedAt(Step step, const QString& reason = {}) { return { step, reason }; }

bool isOk(const std::optional<QByteArray>& tagged)
{
    if (!tagged)
        return false;
    const std::optional<ImapResponses::Status> status = ImapResponses::ReadStatus(*tagged);
    return status && status->condition == Condition::Ok;
}

// The server's words for a STATUS: control characters out, cut short.
QString reasonOf(const std::optional<QByteArray>& tagged)
{
    if (!tagged)
        return {};
    const std::optional<ImapResponses::Status> status = ImapResponses::ReadStatus(*tagged);
    if (!status)
        return {};
    QString text = QString::fromUtf8(status->text).trimmed();
    text.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
    return text.left(Pop3Replies::MaxReasonLength);
}

QByteArray uidSet(const QList<quint32>& uids)
{
    QByteArray set;
    for (const quint32 uid : uids)
        set += (set.isEmpty() ? "" : ",") + QByteArray::number(uid);
    return set;
}

} // namespace

ImapCheckSession::ImapCheckSession(clsWinSockOperate& session)
    : m_session(session)
{
}

CheckOutcome ImapCheckSession::Run(const CheckRequest& request)
{
    m_session.RemoteHost(request.server);
    m_session.RemotePort(QString::number(request.port));
    m_session.TimeOutSecond(request.timeOutMs);
    m_bound = request.memoryBound;

    CheckOutcome outcome;
    if (std::optional<CheckFailure> failure = converse(request, outcome)) {
        CheckOutcome failed;
        failed.failure = failure;
        return failed;
    }
    // The goodbye is not waited for: the answer would change nothing.
    m_session.SendAhead("Z LOGOUT\r\n");
    return outcome;
}

std::optional<QByteArray> ImapCheckSession::next(qsizetype bound)
{
    if (m_session.WaitReply(Shape::ImapResponse, bound) != clsWinSockOperate::ResultArrived)
        return std::nullopt;
    QByteArray response = m_session.Reply();
    // Untagged responses the check never uses still cost the time to read
    // them: a server that sends them without end meets the check's bound.
    m_received += response.size();
    if (m_received > m_bound) {
        m_session.CloseConnection();
        return std::nullopt;
    }
    return response;
}

std::optional<QByteArray> ImapCheckSession::command(
    const ImapCommands::Command& sent, const Handler& untagged, qsizetype bound)
{
    const QByteArray tag = 'A' + QByteArray::number(++m_tag);
    qsizetype continued = 0;
    if (!m_session.SendAhead(tag + ' ' + sent.line))
        return std::nullopt;
    for (;;) {
        const std::optional<QByteArray> response = next(bound);
        if (!response)
            return std::nullopt;
        if (ImapResponses::IsContinuation(*response)) {
            // A literal's bytes, or the answer to a challenge, only when asked.
            if (continued == sent.continuations.size()
                || !m_session.SendAhead(sent.continuations[continued++]))
                return std::nullopt;
            continue;
        }
        const std::optional<ImapResponses::Status> status = ImapResponses::ReadStatus(*response);
        if (status && !status->tag.isEmpty())
            return status->tag == tag ? response : std::nullopt; // another tag: nothing after it is ours
        // BYE, or a line that is no response at all.
        if ((status && status->condition == Condition::Bye) || (!status && !response->startsWith("* ")))
            return std::nullopt;
        if (untagged && !untagged(*response))
            return std::nullopt;
    }
}

std::optional<QByteArrayList> ImapCheckSession::capabilities(const QByteArrayList& known)
{
    if (!known.isEmpty())
        return known;
    QByteArrayList listed;
    const std::optional<QByteArray> done
        = command({ "CAPABILITY\r\n" }, [&listed](const QByteArray& response) {
              if (const std::optional<QByteArrayList> capabilities = ImapResponses::Capabilities(response))
                  listed += *capabilities;
              return true;
          });
    if (!isOk(done))
        return std::nullopt;
    return listed;
}

std::optional<CheckFailure> ImapCheckSession::secure(
    const CheckRequest& request, QByteArrayList& capabilities)
{
    if (SocketControl::IsTlsPort(request.port))
        return std::nullopt;
    const std::optional<QByteArrayList> listed = this->capabilities(capabilities);
    if (!listed)
        return failedAt(Step::Connection, m_session.ErrorDescription());
    // Without TLS the password, or a token that signs anyone in, would cross
    // the network readable: such a server gets no credentials at all.
    if (!listed->contains("STARTTLS"))
        return failedAt(Step::ImapNoTls);
    if (!isOk(command({ "STARTTLS\r\n" })) || !m_session.StartTls())
        return failedAt(Step::Connection, m_session.ErrorDescription());
    // What was listed in plain text may have been forged; ask again inside TLS.
    capabilities.clear();
    return std::nullopt;
}

std::optional<CheckFailure> ImapCheckSession::signIn(
    const CheckRequest& request, const QByteArrayList& capabilities)
{
    const bool token = !request.accessToken.isEmpty();
    const std::optional<ImapCommands::Command> signIn
        = ImapCommands::SignIn(capabilities, request.user, request.password, request.accessToken);
    if (!signIn)
        return failedAt(token ? Step::OAuthMechanism : Step::ImapLogin);
    const std::optional<QByteArray> done = command(*signIn);
    if (!isOk(done))
        return failedAt(token ? Step::OAuthSignIn : Step::ImapLogin, reasonOf(done));
    if (const std::optional<QByteArrayList> listed = ImapResponses::Capabilities(*done))
        m_idle = listed->contains("IDLE");
    return std::nullopt;
}

std::optional<CheckFailure> ImapCheckSession::converse(const CheckRequest& request, CheckOutcome& outcome)
{
    const auto lost = [this] { return failedAt(Step::Connection, m_session.ErrorDescription()); };
    if (!m_session.Connect(false))
        return lost();
    const std::optional<QByteArray> greeting = next();
    if (!greeting)
        return lost();
    const std::optional<ImapResponses::Status> hello = ImapResponses::ReadStatus(*greeting);
    if (!hello || !hello->tag.isEmpty()
        || (hello->condition != Condition::Ok && hello->condition != Condition::PreAuth))
        return failedAt(Step::Connection, reasonOf(greeting));
    QByteArrayList listed = ImapResponses::Capabilities(*greeting).value_or(QByteArrayList());
    const bool signedIn = hello->condition == Condition::PreAuth;
    // A server that signs in by itself cannot start TLS any more.
    if (signedIn && !SocketControl::IsTlsPort(request.port))
        return failedAt(Step::ImapNoTls);
    if (std::optional<CheckFailure> failure = secure(request, listed))
        return failure;
    const std::optional<QByteArrayList> capabilities = this->capabilities(listed);
    if (!capabilities)
        return lost();
    m_idle = capabilities->contains("IDLE");
    if (!signedIn)
        if (std::optional<CheckFailure> failure = signIn(request, *capabilities))
            return failure;

    std::optional<quint32> validity;
    std::optional<quint32> exists;
    const std::optional<QByteArray> examined
        = command({ "EXAMINE INBOX\r\n" }, [&validity, &exists](const QByteArray& response) {
              if (const std::optional<quint32> number = ImapResponses::CodeNumber(response, "UIDVALIDITY"))
                  validity = number;
              if (const std::optional<quint32> count = ImapResponses::Exists(response))
                  exists = count;
              return true;
          });
    if (!isOk(examined) || !validity)
        return failedAt(Step::ImapExamine, reasonOf(examined));

    const ImapSeenList::Seen seen = ImapSeenList::Read(request.seen);
    // Taken before the search, so that whatever arrives from now on is after it.
    std::optional<qint64> newest;
    if (ImapSeenList::NotesNewest(seen, *validity)) {
        newest = ImapSeenList::EmptyMailbox;
        if (exists.value_or(0) > 0) {
            newest.reset();
            const std::optional<QByteArray> fetched
                = command({ "FETCH " + QByteArray::number(*exists) + " (INTERNALDATE)\r\n" },
                    [&newest](const QByteArray& response) {
                        const std::optional<ImapResponses::Fetch> fetch = ImapResponses::ReadFetch(response);
                        if (fetch && fetch->arrived)
                            newest = std::max(newest.value_or(ImapSeenList::EmptyMailbox), *fetch->arrived);
                        return fetch || !ImapResponses::IsUntagged(response, "FETCH");
                    });
            if (!isOk(fetched) || !newest)
                return failedAt(Step::ImapFetch, reasonOf(fetched));
        }
    }

    CheckBudget budget(request.memoryBound, request.arrival);
    QList<quint32> unseen;
    bool malformed = false;
    // The answer is held some five times over while it is read (received,
    // taken, numbers), all of it within what the check may hold.
    const std::optional<QByteArray> searched = command(
        { "UID SEARCH UNSEEN\r\n" },
        [&unseen, &budget, &malformed](const QByteArray& response) {
            const std::optional<QList<quint32>> found = ImapResponses::SearchResults(response);
            if (found) {
                unseen += *found;
                return budget.Charge(CheckBudget::IdentifierCost(22) * found->size());
            }
            // Taking a broken answer for "nothing unseen" would forget the seen list.
            malformed = ImapResponses::IsUntagged(response, "SEARCH");
            return !malformed;
        },
        std::max(clsWinSockOperate::MaxImapResponse, budget.Room() / 5));
    if (malformed || !isOk(searched))
        return failedAt(Step::ImapSearch, reasonOf(searched));
    std::sort(unseen.begin(), unseen.end());
    unseen.erase(std::unique(unseen.begin(), unseen.end()), unseen.end());

    QList<quint32> fresh;
    const ImapSeenList::Rule rule = ImapSeenList::RuleFor(seen, *validity);
    if (request.announceAll || rule == ImapSeenList::Rule::ByUid) {
        for (const quint32 uid : unseen)
            if (request.announceAll || !seen.uids.contains(uid))
                fresh.append(uid);
    } else if (rule == ImapSeenList::Rule::ByArrival) {
        for (qsizetype start = 0; start < unseen.size(); start += kFetchBatch) {
            const QList<quint32> batch = unseen.mid(start, kFetchBatch);
            QSet<quint32> arrivedSince;
            bool broken = false;
            const std::optional<QByteArray> fetched
                = command({ "UID FETCH " + uidSet(batch) + " (UID INTERNALDATE)\r\n" },
                    [&](const QByteArray& response) {
                        const std::optional<ImapResponses::Fetch> fetch = ImapResponses::ReadFetch(response);
                        broken = !fetch && ImapResponses::IsUntagged(response, "FETCH");
                        if (fetch && fetch->uid && fetch->arrived
                            && ImapSeenList::ArrivedSince(seen, *fetch->arrived))
                            arrivedSince.insert(*fetch->uid);
                        return !broken;
                    });
            if (broken || !isOk(fetched))
                return failedAt(Step::ImapFetch, reasonOf(fetched));
            for (const quint32 uid : batch)
                if (arrivedSince.contains(uid))
                    fresh.append(uid);
        }
    }

    QByteArray fields = "FROM SUBJECT DATE";
    if (request.spam)
        fields += ' ' + SpamVerdict::VerdictFields().join(' ').toUpper();
    QMap<quint32, NewMailItem> found;
    QList<quint32> came; // found, or judged spam
    came.reserve(fresh.size());
    for (qsizetype start = 0; start < fresh.size(); start += kFetchBatch) {
        const QList<quint32> batch = fresh.mid(start, kFetchBatch); // in order, as `unseen` is
        bool broken = false;
        const std::optional<QByteArray> fetched = command(
            { "UID FETCH " + uidSet(batch) + " (UID BODY.PEEK[HEADER.FIELDS (" + fields + ")])\r\n" },
            [&](const QByteArray& response) {
                if (!ImapResponses::IsUntagged(response, "FETCH"))
                    return true; // EXISTS, RECENT and the like: the next check sees them
                const std::optional<ImapResponses::Fetch> fetch = ImapResponses::ReadFetch(response);
                if (!fetch) {
                    broken = true;
                    return false;
                }
                // A flag change of another message, told without being asked.
                if (!fetch->uid || !std::binary_search(batch.cbegin(), batch.cend(), *fetch->uid)
                    || !fetch->header)
                    return true;
                NewMailItem item = ExtractHeaderFields(*fetch->header);
                if (request.spam && SpamVerdict::IsSpam(*fetch->header, item, *request.spam)) {
                    ++outcome.spamFound;
                    came.append(*fetch->uid);
                    return true;
                }
                item.nAccountIdx = request.nAccountIdx;
                if (found.contains(*fetch->uid) || !budget.Charge(CheckBudget::NewMailCost(item), 1))
                    return false;
                found.insert(*fetch->uid, item);
                came.append(*fetch->uid);
                return true;
            });
        if (broken || !isOk(fetched))
            return failedAt(Step::ImapFetch, reasonOf(fetched));
    }
    outcome.newMail = found.values();
    // Asked for and not come: kept out of the list, so that the next check asks again.
    std::sort(came.begin(), came.end());
    QList<quint32> missing;
    std::set_difference(
        fresh.cbegin(), fresh.cend(), came.cbegin(), came.cend(), std::back_inserter(missing));
    outcome.identifiers = ImapSeenList::Write(*validity, newest, unseen, missing);
    return std::nullopt;
}
