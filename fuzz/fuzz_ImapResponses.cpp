// Bytes from an IMAP server: framing never reads past what arrived, a
// response scanned as it grows frames as it does in one piece, the readers
// give only values they promise, and a string argument comes back from the
// wire as it went.

#include "FuzzCheck.h"

#include "mail/ImapFraming.h"
#include "mail/ImapResponses.h"

#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <cstdint>

using namespace ImapFraming;
using namespace ImapResponses;

namespace {

// Small enough that literals and lines beyond it are found often.
constexpr qsizetype kMaxSize = 2048;

void checkFrame(const Frame& frame, QByteArrayView buffer)
{
    FUZZ_CHECK(frame.length >= 0 && frame.length <= buffer.size() && frame.length <= kMaxSize);
    FUZZ_CHECK(frame.state == FrameState::Complete || frame.length == 0);
    if (frame.state == FrameState::Complete)
        FUZZ_CHECK(buffer.first(frame.length).endsWith("\r\n"));
    if (frame.state == FrameState::Incomplete)
        FUZZ_CHECK(frame.lineStart <= frame.resumeAt);
}

bool isText(QByteArrayView text)
{
    return !text.contains('\r') && !text.contains('\n') && !text.contains('\0');
}

void checkReaders(QByteArrayView response)
{
    if (const auto status = ReadStatus(response)) {
        FUZZ_CHECK(isText(status->code) && isText(status->text));
        FUZZ_CHECK(status->tag.isEmpty()
            || (status->condition != Condition::PreAuth && status->condition != Condition::Bye));
    }
    IsContinuation(response);
    if (const auto number = CodeNumber(response, "UIDVALIDITY"))
        FUZZ_CHECK(*number != 0);
    if (const auto names = Capabilities(response)) {
        FUZZ_CHECK(!names->isEmpty());
        for (const QByteArray& name : *names)
            FUZZ_CHECK(!name.isEmpty() && name == name.toUpper());
    }
    Exists(response);
    if (const auto found = SearchResults(response))
        FUZZ_CHECK(!found->contains(0));
    if (const auto fetch = ReadFetch(response)) {
        FUZZ_CHECK(fetch->message != 0 && fetch->uid.value_or(1) != 0);
        FUZZ_CHECK(!fetch->header || fetch->header->size() < response.size());
    }
}

// An argument framed for the wire, as a server would see it echoed in a
// FETCH, reads back as the bytes it was made from.
void checkAstring(QByteArrayView bytes)
{
    const QString text = QString::fromUtf8(bytes);
    const Astring argument = ToAstring(text);
    const QByteArray response
        = "* 1 FETCH (BODY[] " + argument.head + argument.literal.value_or(QByteArray()) + ")\r\n";
    const Frame frame = ScanResponse(response, response.size());
    FUZZ_CHECK(frame.state == FrameState::Complete && frame.length == response.size());
    const auto fetch = ReadFetch(response);
    FUZZ_CHECK(fetch && fetch->header == text.toUtf8());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::optional<FuzzPieces> pieces = SplitFuzzInput(data, size);
    if (!pieces)
        return 0;
    const auto [buffer, cut] = *pieces;

    const Frame whole = ScanResponse(buffer, kMaxSize);
    checkFrame(whole, buffer);
    checkReaders(buffer);
    if (whole.state == FrameState::Complete)
        checkReaders(buffer.first(whole.length));

    const Frame first = ScanResponse(buffer.first(cut), kMaxSize);
    checkFrame(first, buffer.first(cut));
    if (first.state == FrameState::Incomplete) {
        const Frame resumed = ScanResponse(buffer, kMaxSize, first);
        FUZZ_CHECK(resumed.state == whole.state);
        FUZZ_CHECK(resumed.length == whole.length);
    }

    checkAstring(buffer);
    return 0;
}
