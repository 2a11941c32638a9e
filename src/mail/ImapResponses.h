#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QList>
#include <QtGlobal>

#include <optional>

// Values read out of complete IMAP responses, as ImapFraming frames them
// (final CR LF and any literals included). Everything here comes from a
// server that may be broken or hostile, so each reader gives nothing when the
// response strays from the grammar, instead of guessing.
namespace ImapResponses {

enum class Condition { Ok, No, Bad, PreAuth, Bye };

// A status response: tagged ("a1 OK [READ-ONLY] EXAMINE completed") or
// untagged ("* OK [UIDNEXT 4392] Predicted next UID"); a greeting is an
// untagged OK, PREAUTH or BYE.
struct Status {
    QByteArray tag; // empty when untagged
    Condition condition = Condition::Ok;
    QByteArray code; // what stands between "[" and "]" when the text opens with a response code
    QByteArray text; // the human-readable rest
};

// Empty unless the response is a status response. PREAUTH and BYE are only
// ever untagged.
std::optional<Status> ReadStatus(QByteArrayView response);

// True for a continuation request: "+" alone or followed by a blank and text.
bool IsContinuation(QByteArrayView response);

// The nz-number that a status response's code of this name carries, letter
// case ignored: 3857529045 from "* OK [UIDVALIDITY 3857529045] UIDs valid".
std::optional<quint32> CodeNumber(QByteArrayView response, QByteArrayView name);

// The capabilities, upper-cased, of "* CAPABILITY ..." or of a status
// response with a CAPABILITY code (greetings and sign-in replies carry one).
std::optional<QByteArrayList> Capabilities(QByteArrayView response);

// The message count of "* 23 EXISTS".
std::optional<quint32> Exists(QByteArrayView response);

// The message numbers or UIDs of "* SEARCH 2 84 882"; an empty list for "* SEARCH".
std::optional<QList<quint32>> SearchResults(QByteArrayView response);

// Whether an untagged response is of the named kind, letter case ignored,
// whatever follows and whether or not it reads: "SEARCH" for "* SEARCH 2 x",
// "FETCH" for "* 12 FETCH (...)". A reader that finds nothing in a response
// of its own kind has met a broken server, not someone else's response.
bool IsUntagged(QByteArrayView response, QByteArrayView name);

// What a check takes from "* n FETCH (...)". Items may come in any order and
// among others the check did not ask for; none may come twice.
struct Fetch {
    quint32 message = 0; // the sequence number
    std::optional<quint32> uid;
    std::optional<bool> seen; // whether FLAGS holds \Seen, when FLAGS came
    // INTERNALDATE, when it came: seconds since the epoch, in UTC.
    std::optional<qint64> arrived;
    // The bytes of the BODY[...] section (the check asks for one), a NIL one
    // being empty.
    std::optional<QByteArray> header;
};

std::optional<Fetch> ReadFetch(QByteArrayView response);

} // namespace ImapResponses
