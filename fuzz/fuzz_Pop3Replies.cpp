// Bytes from a POP3 server: framing never reads past what arrived, a reply
// scanned as it grows frames as it does in one piece, and the readers give
// only values they promise.

#include "FuzzCheck.h"

#include "mail/Pop3Framing.h"
#include "mail/Pop3Replies.h"

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>

using namespace Pop3Framing;

namespace {

void checkFrame(const Frame& frame, QByteArrayView buffer)
{
    FUZZ_CHECK(frame.length >= 0 && frame.length <= buffer.size());
    FUZZ_CHECK(frame.resumeAt >= 0 && frame.resumeAt <= buffer.size());
    FUZZ_CHECK(frame.state == FrameState::Complete || frame.length == 0);
}

void checkReaders(QByteArrayView reply)
{
    const QByteArray status = StatusLine(reply);
    FUZZ_CHECK(status.size() <= reply.size());
    IsPositive(status);
    // A line ended by a bare LF reaches readers ended by CR LF: one byte more.
    FUZZ_CHECK(MultiLineBody(reply).size() <= reply.size() + reply.count('\n'));
    if (const auto count = Pop3Replies::StatMessageCount(status))
        FUZZ_CHECK(*count >= 0 && *count <= Pop3Replies::MaxMessageCount);
    if (const auto identifier = Pop3Replies::UidlIdentifier(status))
        FUZZ_CHECK(Pop3Replies::IsValidIdentifier(*identifier));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::optional<FuzzPieces> pieces = SplitFuzzInput(data, size);
    if (!pieces)
        return 0;
    const auto [buffer, cut] = *pieces;

    const Frame single = ScanSingleLine(buffer);
    checkFrame(single, buffer);
    if (single.state == FrameState::Complete)
        checkReaders(buffer.first(single.length));

    const Frame whole = ScanMultiLine(buffer);
    checkFrame(whole, buffer);
    if (whole.state == FrameState::Complete)
        checkReaders(buffer.first(whole.length));

    const Frame first = ScanMultiLine(buffer.first(cut));
    checkFrame(first, buffer.first(cut));
    if (first.state == FrameState::Incomplete) {
        const Frame resumed = ScanMultiLine(buffer, first.resumeAt);
        FUZZ_CHECK(resumed.state == whole.state);
        FUZZ_CHECK(resumed.length == whole.length);
    }
    return 0;
}
