// Settings files as found on disk: a document read and written unchanged
// gives back the same bytes, and a value set in it reads back after writing
// and reading again.

#include "FuzzCheck.h"

#include "platform/IniDocument.h"

#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

// A name made of the input's bytes mapped onto letters and digits, as the
// program's own section and key names are.
QString nameFrom(QByteArrayView bytes)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString name;
    for (char c : bytes)
        name += QLatin1Char(alphabet[static_cast<unsigned char>(c) % (sizeof alphabet - 1)]);
    return name.isEmpty() ? QStringLiteral("K") : name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    IniDocument document = IniDocument::FromBytes(bytes);
    FUZZ_CHECK(document.ToBytes() == bytes);

    // Section, key and value are taken from the file's first bytes, so that
    // the fuzzer can make them match what the file holds.
    const QByteArrayView head = bytes.first(qMin<qsizetype>(bytes.size(), 12));
    const QString section = nameFrom(head.first(qMin<qsizetype>(head.size(), 3)));
    const QString key = nameFrom(head.sliced(qMin<qsizetype>(head.size(), 3))
                                     .first(qMin<qsizetype>(qMax<qsizetype>(head.size() - 3, 0), 3)));
    const QString value = QString::fromLatin1(head.sliced(qMin<qsizetype>(head.size(), 6)));

    document.SetValue(section, key, value);
    const IniDocument reread = IniDocument::FromBytes(document.ToBytes());

    // What reading gives for the value just written: line breaks and NUL
    // dropped, blanks around trimmed, one pair of matching quotes removed;
    // a character the code page lacks comes back as "?".
    IniDocument expected;
    expected.SetValue(section, key, value);
    FUZZ_CHECK(reread.Value(section, key) == IniDocument::FromBytes(expected.ToBytes()).Value(section, key));
    return 0;
}
