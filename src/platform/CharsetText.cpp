#include "platform/CharsetText.h"

#include <QByteArray>

#include <iconv.h>

namespace CharsetText {

std::optional<QString> Decode(QByteArrayView charset, QByteArrayView bytes)
{
    const QByteArray name = charset.toByteArray();
    iconv_t cd = iconv_open("UTF-16LE", name.constData());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;

    // Stateful charsets may need a few units for their closing sequence.
    QString out;
    out.resize(bytes.size() * 2 + 4);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = size_t(bytes.size());
    char* outPtr = reinterpret_cast<char*>(out.data());
    size_t outLeft = size_t(out.size()) * 2;
    bool ok = iconv(cd, &in, &inLeft, &outPtr, &outLeft) != size_t(-1)
        && iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != size_t(-1);
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    out.truncate((outPtr - reinterpret_cast<char*>(out.data())) / 2);
    return out;
}

} // namespace CharsetText
