#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

// Values read out of POP3 status lines. Everything here comes from a server
// that may be broken or hostile, so each reader says when it finds nothing
// usable instead of guessing.
namespace Pop3Replies {

// More messages than this in one mailbox is taken as a broken server.
inline constexpr qint32 MaxMessageCount = 1000000;
// Longer identifiers than the usual 70 characters exist in the wild; beyond
// this they are refused.
inline constexpr qsizetype MaxIdentifierLength = 512;

// The message count of a STAT status line ("+OK 3 5120" gives 3): the second
// blank-separated field, which must begin with a digit. Empty when there is no
// such field or the count exceeds MaxMessageCount.
std::optional<qint32> StatMessageCount(QByteArrayView statusLine);

// The identifier of a UIDL status line ("+OK 1 abc123" gives abc123): what
// follows the second blank, without trailing blanks. Empty unless it is 1 to MaxIdentifierLength bytes
// of 0x21 to 0x7E.
std::optional<QByteArray> UidlIdentifier(QByteArrayView statusLine);

// True when a UIDL status line names this message as its second field, in
// decimal without leading zeros ("+OK 2 abc" answers UIDL 2).
bool UidlAnswers(QByteArrayView statusLine, qint64 message);

// True when the lines of a CAPA reply (its body, lines ended by CR LF) name
// PIPELINING: a line whose first word is that tag, letter case ignored.
bool ListsPipelining(QByteArrayView capabilities);

// The mechanisms that the SASL line of a CAPA reply's lines names ("SASL PLAIN
// XOAUTH2"), upper-cased, in the server's order; empty without such a line.
// Words that cannot be mechanism names (1 to 20 of A-Z, 0-9, "-" and "_") are
// left out.
QByteArrayList SaslMechanisms(QByteArrayView capabilities);

// True when a reply line is a SASL continuation: "+" alone or followed by a
// blank (and a challenge), never "+OK".
bool IsContinuation(QByteArrayView statusLine);

// The longest server reason a STATUS shows.
inline constexpr qsizetype MaxReasonLength = 64;

// Why a server refused a sign-in, as plain text for a STATUS: from a failure
// challenge ("+ " and base64 JSON), its "status" member; from "-ERR", the
// text after it. Control characters are dropped and the text is cut to
// MaxReasonLength characters. Empty when the line gives no reason.
QString SaslFailureReason(QByteArrayView statusLine);

// 1 to MaxIdentifierLength bytes, each from 0x21 to 0x7E.
bool IsValidIdentifier(QByteArrayView identifier);

} // namespace Pop3Replies
