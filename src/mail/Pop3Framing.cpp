#include "mail/Pop3Framing.h"

namespace Pop3Framing {

namespace {

constexpr QByteArrayView kCrLf("\r\n");
constexpr QByteArrayView kEndOfLines("\r\n.\r\n");

}  // namespace

Frame ScanSingleLine(QByteArrayView buffer)
{
    // Only the first MaxStatusLine + 2 bytes can hold a legal line end.
    const qsizetype window = qMin(buffer.size(), MaxStatusLine + 2);
    const qsizetype end = buffer.first(window).indexOf(kCrLf);
    if (end >= 0)
        return { FrameState::Complete, end + 2, end + 2 };
    if (buffer.size() >= MaxStatusLine + 2)
        return { FrameState::TooLong, 0, 0 };
    return { FrameState::Incomplete, 0, qMax<qsizetype>(0, buffer.size() - 1) };
}

Frame ScanMultiLine(QByteArrayView buffer, qsizetype resumeAt)
{
    const Frame status = ScanSingleLine(buffer);
    if (status.state != FrameState::Complete)
        return { status.state, 0, 0 };
    if (!IsPositive(buffer.first(status.length)))
        return status;

    // The terminator's leading CR LF may be the status line's own (no lines).
    const qsizetype searchFrom = qMax(status.length - 2, resumeAt);
    const qsizetype end = buffer.indexOf(kEndOfLines, searchFrom);
    if (end >= 0)
        return { FrameState::Complete, end + kEndOfLines.size(), end + kEndOfLines.size() };
    if (buffer.size() - status.length > MaxMultiLineBody)
        return { FrameState::TooLong, 0, 0 };
    return { FrameState::Incomplete, 0,
             qMax(status.length - 2, buffer.size() - (kEndOfLines.size() - 1)) };
}

QByteArray StatusLine(QByteArrayView reply)
{
    const qsizetype end = reply.indexOf(kCrLf);
    return (end >= 0 ? reply.first(end) : reply).toByteArray();
}

bool IsPositive(QByteArrayView statusLine)
{
    return statusLine.size() >= 3 && statusLine[0] == '+' && (statusLine[1] | 0x20) == 'o'
        && (statusLine[2] | 0x20) == 'k';
}

QByteArray MultiLineBody(QByteArrayView reply)
{
    const qsizetype statusEnd = reply.indexOf(kCrLf);
    if (statusEnd < 0)
        return {};
    // Lines run from after the status line to just before the final ".\r\n".
    const qsizetype first = statusEnd + 2;
    const qsizetype terminator = reply.lastIndexOf(kEndOfLines);
    if (terminator < statusEnd)
        return {};
    const qsizetype last = terminator + 2;  // keeps the CR LF of the last line
    if (last <= first)
        return {};

    QByteArray body;
    body.reserve(last - first);
    qsizetype pos = first;
    while (pos < last) {
        qsizetype lineEnd = reply.indexOf(kCrLf, pos);
        if (lineEnd < 0 || lineEnd + 2 > last)
            lineEnd = last - 2;
        const qsizetype from = (reply[pos] == '.') ? pos + 1 : pos;
        body.append(reply.sliced(from, lineEnd + 2 - from));
        pos = lineEnd + 2;
    }
    return body;
}

}  // namespace Pop3Framing
