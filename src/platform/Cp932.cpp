#include "platform/Cp932.h"

#include <cerrno>
#include <iconv.h>

namespace Cp932 {

namespace {

constexpr char16_t kUndecodable = u'\u30FB';

class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    iconv_t get()
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        return m_cd;
    }

private:
    iconv_t m_cd;
};

bool isTrailByte(unsigned char byte)
{
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

}  // namespace

bool IsLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

QString Decode(QByteArrayView bytes)
{
    thread_local Converter converter("UTF-16LE", "CP932");
    iconv_t cd = converter.get();

    QString out;
    out.resize(bytes.size());  // never more UTF-16 units than bytes
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = size_t(bytes.size());
    char* outPtr = reinterpret_cast<char*>(out.data());
    size_t outLeft = size_t(out.size()) * 2;
    qsizetype produced = 0;

    auto put = [&](char16_t c) {
        *reinterpret_cast<char16_t*>(outPtr) = c;
        outPtr += 2;
        outLeft -= 2;
    };

    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != size_t(-1))
            break;
        if (errno == E2BIG)
            break;  // cannot happen: one unit per byte at most
        const auto byte = static_cast<unsigned char>(*in);
        size_t skip = 1;
        if (errno == EILSEQ && IsLeadByte(byte) && inLeft >= 2
            && isTrailByte(static_cast<unsigned char>(in[1])))
            skip = 2;  // a well-formed pair without a character
        put(kUndecodable);
        in += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    produced = (outPtr - reinterpret_cast<char*>(out.data())) / 2;
    out.truncate(produced);
    return out;
}

QByteArray Encode(QStringView text)
{
    thread_local Converter converter("CP932", "UTF-16LE");
    iconv_t cd = converter.get();

    QByteArray out;
    out.resize(text.size() * 2);  // a UTF-16 unit never needs more than two bytes
    char* in = reinterpret_cast<char*>(const_cast<QChar*>(text.data()));
    size_t inLeft = size_t(text.size()) * 2;
    char* outPtr = out.data();
    size_t outLeft = size_t(out.size());

    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != size_t(-1))
            break;
        if (errno == E2BIG)
            break;
        // A character without a code (or a lone surrogate): one "?" for it.
        size_t skip = 2;
        const char16_t unit = *reinterpret_cast<const char16_t*>(in);
        if (QChar::isHighSurrogate(unit) && inLeft >= 4
            && QChar::isLowSurrogate(*reinterpret_cast<const char16_t*>(in + 2)))
            skip = 4;
        *outPtr++ = '?';
        --outLeft;
        in += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.truncate(outPtr - out.data());
    return out;
}

}  // namespace Cp932
