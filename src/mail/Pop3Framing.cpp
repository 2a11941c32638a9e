#include "mail/Pop3Framing.h"

#include <cstring>

namespace Pop3Framing {

namespace {

    // Servers and proxies that end lines with a bare LF exist; a CR before the LF
    // is optional everywhere.
    constexpr char kLf = '\n';

    // The line ending at the LF at lineEnd, without its CR.
    QByteArrayView lineBefore(QByteArrayView buffer, qsizetype lineStart, qsizetype lineEnd)
    {
        QByteArrayView line = buffer.sliced(lineStart, lineEnd - lineStart);
        if (!line.isEmpty() && line.back() == '\r')
            line.chop(1);
        return line;
    }

} // namespace

Frame ScanSingleLine(QByteArrayView buffer)
{
    // Only the first MaxStatusLine + 2 bytes can hold a legal line end.
    const qsizetype window = qMin(buffer.size(), MaxStatusLine + 2);
    const qsizetype end = buffer.first(window).indexOf(kLf);
    if (end >= 0)
        return { FrameState::Complete, end + 1, end + 1 };
    if (buffer.size() >= MaxStatusLine + 2)
        return { FrameState::TooLong, 0, 0 };
    return { FrameState::Incomplete, 0, buffer.size() };
}

Frame ScanMultiLine(QByteArrayView buffer, qsizetype resumeAt, qsizetype maxBody)
{
    const Frame status = ScanSingleLine(buffer);
    if (status.state != FrameState::Complete)
        return { status.state, 0, 0 };
    if (!IsPositive(buffer.first(status.length)))
        return status;

    // The block ends at a line ".": a LF (the status line's own, when there
    // are no lines), a dot, an optional CR and a LF. resumeAt is always a LF
    // not yet ruled out, or a place after every LF seen.
    qsizetype pos = qMax(status.length - 1, resumeAt);
    const qsizetype size = buffer.size();
    for (;;) {
        const qsizetype lf = buffer.indexOf(kLf, pos);
        if (lf < 0) {
            pos = size;
            break;
        }
        if (lf + 2 >= size) {
            pos = lf;
            break;
        }
        if (buffer[lf + 1] == '.') {
            if (buffer[lf + 2] == kLf)
                return { FrameState::Complete, lf + 3, lf + 3 };
            if (buffer[lf + 2] == '\r') {
                if (lf + 3 >= size) {
                    pos = lf;
                    break;
                }
                if (buffer[lf + 3] == kLf)
                    return { FrameState::Complete, lf + 4, lf + 4 };
            }
        }
        pos = lf + 1;
    }
    if (size - status.length > maxBody)
        return { FrameState::TooLong, 0, 0 };
    return { FrameState::Incomplete, 0, pos };
}

QByteArray StatusLine(QByteArrayView reply)
{
    const qsizetype end = reply.indexOf(kLf);
    if (end < 0)
        return reply.toByteArray();
    return lineBefore(reply, 0, end).toByteArray();
}

bool IsPositive(QByteArrayView statusLine)
{
    return statusLine.size() >= 3 && statusLine[0] == '+' && (statusLine[1] | 0x20) == 'o'
        && (statusLine[2] | 0x20) == 'k';
}

bool OpensWithStatus(QByteArrayView text)
{
    return IsPositive(text) || (text.size() >= 4 && text.first(4).compare("-ERR", Qt::CaseInsensitive) == 0);
}

QByteArray MultiLineBody(QByteArrayView reply)
{
    const qsizetype statusEnd = reply.indexOf(kLf);
    if (statusEnd < 0)
        return {};
    const Frame frame = ScanMultiLine(reply);
    if (frame.state != FrameState::Complete || frame.length <= statusEnd + 1)
        return {};

    // Lines run from after the status line up to the LF before the final ".".
    const qsizetype last = reply.first(frame.length - 1).lastIndexOf('.');
    QByteArray body;
    body.reserve(last - statusEnd);
    qsizetype pos = statusEnd + 1;
    while (pos < last) {
        const qsizetype lineEnd = reply.indexOf(kLf, pos);
        QByteArrayView line = lineBefore(reply, pos, lineEnd);
        if (line.startsWith('.'))
            line = line.sliced(1);
        // Whatever the server ended its lines with, readers get CR LF.
        body.append(line);
        body.append("\r\n", 2);
        pos = lineEnd + 1;
    }
    return body;
}

QByteArray MultiLineBodyLf(QByteArray reply)
{
    const qsizetype statusEnd = reply.indexOf(kLf);
    const Frame frame = ScanMultiLine(reply, 0, MaxMessage);
    if (statusEnd < 0 || frame.state != FrameState::Complete || frame.length <= statusEnd + 1)
        return {};

    // Every line moves towards the front, over the status line and the bytes
    // dropped before it, so the bytes ahead are always already read.
    const qsizetype last = QByteArrayView(reply).first(frame.length - 1).lastIndexOf('.');
    char* bytes = reply.data();
    qsizetype out = 0;
    qsizetype pos = statusEnd + 1;
    while (pos < last) {
        const qsizetype lineEnd = reply.indexOf(kLf, pos);
        qsizetype start = pos;
        qsizetype end = lineEnd;
        if (end > start && bytes[end - 1] == '\r')
            --end;
        if (end > start && bytes[start] == '.')
            ++start;
        std::memmove(bytes + out, bytes + start, end - start);
        out += end - start;
        bytes[out++] = kLf;
        pos = lineEnd + 1;
    }
    reply.truncate(out);
    return reply;
}

} // namespace Pop3Framing
