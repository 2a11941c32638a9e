// Header values as a server may send them: whatever the bytes, decoding ends
// and the shown text is no longer than what came in.

#include "FuzzCheck.h"

#include "mail/HeaderDecoder.h"

#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView raw(reinterpret_cast<const char*>(data), qsizetype(size));

    const QString text = HeaderBytesToText(raw);
    FUZZ_CHECK(text.size() <= raw.size());
    FUZZ_CHECK(DecodeHeaderText(text).size() <= text.size());

    // The same bytes one to one as characters reach the word decoders with
    // every code unit below 256, control characters and all.
    const QString latin = QString::fromLatin1(raw);
    FUZZ_CHECK(DecodeHeaderText(latin).size() <= latin.size());
    return 0;
}
