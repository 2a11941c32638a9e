#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

// Where an IMAP response ends in the bytes received so far, and how a string
// argument goes onto the wire. A response is a line ended by CR LF, unless the
// line ends in a literal announcement "{n}": then n bytes follow and the line
// carries on after them.
namespace ImapFraming {

// The longest line, between literals, its CR LF included. Servers send bulky
// data as literals, and beyond this a line is an attack, with one exception:
// the numbers of a SEARCH answer all come on one line, and a neglected
// mailbox with 200,000 unread messages makes that line a megabyte or two.
// Such a line may run up to the bound of the whole response, which the
// caller sets from what the check may still hold.
inline constexpr qsizetype MaxLine = 256 * 1024;

enum class FrameState {
    Incomplete, // more bytes are needed
    Complete,
    Malformed, // a NUL byte or a line ended by a bare LF
    TooLarge, // a line beyond MaxLine (but a SEARCH answer's), or the response beyond its bound
};

struct Frame {
    FrameState state = FrameState::Incomplete;
    qsizetype length = 0; // bytes of the complete response, its final CR LF included
    // Where a later scan of the same, longer buffer carries on: the start of
    // the line being read (just after the last literal), and how far it has
    // been searched. Both may lie beyond the buffer while a literal arrives.
    qsizetype lineStart = 0;
    qsizetype resumeAt = 0;
};

// Frames the first response in the buffer. `maxSize` bounds the whole
// response, literals included: a literal announced beyond it fails at once,
// before any of its bytes arrive. `previous` is the Incomplete result of the
// last scan of the same response (a default Frame at first), so a response
// that arrives byte by byte is read in linear time.
Frame ScanResponse(QByteArrayView buffer, qsizetype maxSize, const Frame& previous = {});

// A string argument of a command. Text of printable ASCII goes as a quoted
// string; anything else (non-ASCII, control characters) as a literal, whose
// bytes the server must first invite with a continuation.
struct Astring {
    QByteArray head; // the quoted string, or the literal's announcement "{n}" with its CR LF
    std::optional<QByteArray> literal; // the bytes to send once the server answers "+"
};

// The UTF-8 bytes of the text as an astring. Never an atom: a password that
// happens to be one word would still go through the same path as one that is not.
Astring ToAstring(const QString& text);

} // namespace ImapFraming
