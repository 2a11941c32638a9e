#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

// Where a POP3 reply ends in the bytes received so far. Bytes may arrive in
// any pieces, so every function works on the whole buffer and tells whether
// the reply is complete yet.
namespace Pop3Framing {

// A status line longer than this without a line end is not a reply but an attack.
inline constexpr qsizetype MaxStatusLine = 8 * 1024;
// The largest header block a TOP reply may carry.
inline constexpr qsizetype MaxMultiLineBody = 1024 * 1024;
// The largest whole message a RETR reply may carry: far above any provider's
// size limit for one message, far below what a check may hold.
inline constexpr qsizetype MaxMessage = 64 * 1024 * 1024;

enum class FrameState { Incomplete, Complete, TooLong };

struct Frame {
    FrameState state = FrameState::Incomplete;
    qsizetype length = 0; // bytes of the complete reply, terminator included
    // Where a later scan of the same, longer buffer may start looking for the
    // terminator (keeps reading a reply that arrives byte by byte linear).
    qsizetype resumeAt = 0;
};

// A single-line reply: the status line up to its LF (CR LF or a bare LF).
Frame ScanSingleLine(QByteArrayView buffer);

// A reply that carries lines up to a line "." when its status line begins
// with "+OK", and is the status line alone otherwise. `resumeAt` comes from
// the previous scan of the same reply (0 at first); `maxBody` bounds the lines.
Frame ScanMultiLine(QByteArrayView buffer, qsizetype resumeAt = 0, qsizetype maxBody = MaxMultiLineBody);

// The first line of a complete reply, without its line end.
QByteArray StatusLine(QByteArrayView reply);

// True when the status line begins with "+OK" (letter case ignored).
bool IsPositive(QByteArrayView statusLine);

// True when the text begins as a status line does, with "+OK" or "-ERR"
// (letter case ignored).
bool OpensWithStatus(QByteArrayView text);

// The lines of a complete multi-line reply between its status line and the
// line ".", each ended by CR LF whatever the server sent, with the leading dot of dot-stuffed
// lines removed. Empty for a reply without such lines.
QByteArray MultiLineBody(QByteArrayView reply);

// The same lines each ended by a bare LF, as local files have them, cut out
// of the reply's own bytes: a whole message is never held twice.
QByteArray MultiLineBodyLf(QByteArray reply);

} // namespace Pop3Framing
