#include "mail/ImapFraming.h"

#include <algorithm>

namespace ImapFraming {

namespace {

    bool isDigit(char c) { return c >= '0' && c <= '9'; }

    // The size of the literal that the line from lineStart announces when it
    // ends in "{n}" or "{n+}" just before its CR at `cr`; -1 when it announces
    // none, and limit + 1 for any size beyond `limit`, however many digits.
    qsizetype announcedLiteral(QByteArrayView buffer, qsizetype lineStart, qsizetype cr, qsizetype limit)
    {
        qsizetype pos = cr - 1;
        if (pos < lineStart || buffer[pos] != '}')
            return -1;
        if (--pos >= lineStart && buffer[pos] == '+')
            --pos;
        const qsizetype digitsEnd = pos + 1;
        while (pos >= lineStart && isDigit(buffer[pos]))
            --pos;
        if (pos < lineStart || buffer[pos] != '{' || pos + 1 == digitsEnd)
            return -1;
        qsizetype size = 0;
        for (qsizetype i = pos + 1; i < digitsEnd; ++i) {
            size = size * 10 + (buffer[i] - '0');
            if (size > limit)
                return limit + 1;
        }
        return size;
    }

    // Whether the response is a SEARCH or ESEARCH answer, whose one line
    // grows with the mailbox. Asked only once a line has passed MaxLine.
    bool isSearchAnswer(QByteArrayView buffer, qsizetype lineStart)
    {
        const auto opens = [buffer](QByteArrayView word) {
            return buffer.size() > word.size()
                && buffer.first(word.size()).compare(word, Qt::CaseInsensitive) == 0;
        };
        return lineStart == 0 && (opens("* SEARCH ") || opens("* ESEARCH "));
    }

} // namespace

Frame ScanResponse(QByteArrayView buffer, qsizetype maxSize, const Frame& previous)
{
    qsizetype lineStart = previous.lineStart;
    qsizetype pos = previous.resumeAt;
    for (; pos < buffer.size(); ++pos) {
        if (pos >= maxSize || (pos - lineStart >= MaxLine && !isSearchAnswer(buffer, lineStart)))
            return { FrameState::TooLarge };
        const char c = buffer[pos];
        if (c == '\0')
            return { FrameState::Malformed };
        if (c != '\n')
            continue;
        // Guessing line ends would let a broken server shift where literals
        // begin, so only CR LF ends a line.
        if (pos == lineStart || buffer[pos - 1] != '\r')
            return { FrameState::Malformed };
        const qsizetype room = maxSize - pos - 1;
        const qsizetype literal = announcedLiteral(buffer, lineStart, pos - 1, room);
        if (literal < 0)
            return { FrameState::Complete, pos + 1, pos + 1, pos + 1 };
        if (literal > room)
            return { FrameState::TooLarge };
        // The literal's bytes are opaque (a header may hold anything); the
        // line goes on after them.
        lineStart = pos + 1 + literal;
        pos = lineStart - 1;
    }
    return { FrameState::Incomplete, 0, lineStart, pos };
}

Astring ToAstring(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    const bool printable = std::all_of(bytes.begin(), bytes.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte <= 0x7E;
    });
    if (!printable)
        return { '{' + QByteArray::number(bytes.size()) + "}\r\n", bytes };
    QByteArray quoted;
    quoted.reserve(bytes.size() + 2);
    quoted += '"';
    for (const char c : bytes) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return { quoted, std::nullopt };
}

} // namespace ImapFraming
