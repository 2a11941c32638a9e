// Whole header blocks: the three shown fields stay within the block's size,
// hold no control characters but tabs, and a date is either empty or complete.
// The fields the spam verdict reads hold no more than the block.

#include "FuzzCheck.h"

#include "mail/HeaderFields.h"
#include "mail/SpamVerdict.h"

#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

bool hasControl(const QString& text)
{
    for (QChar c : text) {
        if (c != u'\t' && c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView block(reinterpret_cast<const char*>(data), qsizetype(size));
    const NewMailItem fields = ExtractHeaderFields(block);
    FUZZ_CHECK(fields.strFrom.size() <= block.size());
    FUZZ_CHECK(fields.strSubject.size() <= block.size());
    FUZZ_CHECK(!hasControl(fields.strFrom) && !hasControl(fields.strSubject));
    FUZZ_CHECK(fields.strDate.isEmpty() || fields.strDate.size() == 17);
    // The spam verdict reads the same block: any answer, but an answer.
    qsizetype held = 0;
    for (const HeaderField& field : HeaderFieldList(block))
        held += field.name.size() + field.value.size();
    FUZZ_CHECK(held <= block.size());
    SpamVerdict::IsSpam(block, fields, { SpamVerdict::DefaultTags(), { QStringLiteral("example.jp") } });
    return 0;
}
