#include "platform/Cp932.h"

#include <array>
#include <iconv.h>
#include <utility>
#include <vector>

namespace Cp932 {

namespace {

    constexpr char16_t kUndecodable = u'\u30FB';
    constexpr char16_t kNoChar = 0xFFFF; // never the result of decoding
    constexpr quint16 kNoCode = 0xFFFF; // 0xFF is no lead byte, so never a code
    constexpr char kConverterName[] = "CP932";

    QByteArray& converterNameForTests()
    {
        static QByteArray name;
        return name;
    }

    bool isTrailByte(unsigned char byte)
    {
        return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
    }

    // Both directions as lookup tables, taken once from the system converter.
    // Converting through iconv call by call costs about 25 ns a character, which
    // makes a settings file of a few megabytes take a tenth of a second each way.
    struct Tables {
        std::array<char16_t, 256> single {};
        std::vector<char16_t> pair = std::vector<char16_t>(0x10000, kNoChar); // by lead << 8 | trail
        std::vector<quint16> code
            = std::vector<quint16>(0x10000, kNoCode); // by UTF-16 unit; < 0x100 is one byte

        Tables()
        {
            single.fill(kNoChar);
            iconv_t decoder = iconv_open("UTF-16LE", kConverterName);
            iconv_t encoder = iconv_open(kConverterName, "UTF-16LE");
            if (decoder != reinterpret_cast<iconv_t>(-1)) {
                for (int byte = 0; byte < 0x100; ++byte) {
                    if (IsLeadByte(uchar(byte)))
                        continue;
                    const char in[1] = { char(byte) };
                    single[size_t(byte)] = decodeOne(decoder, in, 1);
                }
                for (int lead = 0x81; lead <= 0xFC; ++lead) {
                    if (!IsLeadByte(uchar(lead)))
                        continue;
                    for (int trail = 0x40; trail <= 0xFC; ++trail) {
                        const char in[2] = { char(lead), char(trail) };
                        pair[size_t(lead << 8 | trail)] = decodeOne(decoder, in, 2);
                    }
                }
                iconv_close(decoder);
            }
            if (encoder != reinterpret_cast<iconv_t>(-1)) {
                for (int unit = 0; unit < 0x10000; ++unit) {
                    if (QChar::isSurrogate(char32_t(unit)))
                        continue;
                    const char in[2] = { char(unit & 0xFF), char(unit >> 8) };
                    char out[4];
                    char* inPtr = const_cast<char*>(in);
                    char* outPtr = out;
                    size_t inLeft = 2;
                    size_t outLeft = sizeof out;
                    iconv(encoder, nullptr, nullptr, nullptr, nullptr);
                    if (iconv(encoder, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1))
                        continue;
                    const auto length = outPtr - out;
                    if (length == 1)
                        code[size_t(unit)] = uchar(out[0]);
                    else if (length == 2)
                        code[size_t(unit)] = quint16(uchar(out[0]) << 8 | uchar(out[1]));
                }
                iconv_close(encoder);
            }
        }

        static char16_t decodeOne(iconv_t cd, const char* bytes, size_t size)
        {
            char16_t out[2];
            char* inPtr = const_cast<char*>(bytes);
            char* outPtr = reinterpret_cast<char*>(out);
            size_t inLeft = size;
            size_t outLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1) || inLeft != 0
                || outPtr != reinterpret_cast<char*>(out + 1))
                return kNoChar;
            return out[0];
        }
    };

    const Tables& tables()
    {
        static const Tables instance;
        return instance;
    }

} // namespace

bool IsLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool IsAvailable()
{
    const QByteArray& hook = converterNameForTests();
    const char* name = hook.isEmpty() ? kConverterName : hook.constData();
    bool available = true;
    for (const auto& [to, from] : { std::pair { "UTF-16LE", name }, std::pair { name, "UTF-16LE" } }) {
        const iconv_t converter = iconv_open(to, from);
        if (converter == reinterpret_cast<iconv_t>(-1))
            available = false;
        else
            iconv_close(converter);
    }
    return available;
}

void SetConverterNameForTests(const QByteArray& name) { converterNameForTests() = name; }

QString Decode(QByteArrayView bytes)
{
    const Tables& t = tables();
    QString out(bytes.size(), Qt::Uninitialized); // never more UTF-16 units than bytes
    char16_t* put = reinterpret_cast<char16_t*>(out.data());
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char byte = in[i];
        if (!IsLeadByte(byte)) {
            const char16_t c = t.single[byte];
            *put++ = c == kNoChar ? kUndecodable : c;
            ++i;
            continue;
        }
        if (i + 1 < n) {
            const char16_t c = t.pair[size_t(byte << 8 | in[i + 1])];
            if (c != kNoChar) {
                *put++ = c;
                i += 2;
                continue;
            }
            if (isTrailByte(in[i + 1])) { // a well-formed pair without a character
                *put++ = kUndecodable;
                i += 2;
                continue;
            }
        }
        *put++ = kUndecodable; // a lead byte without its trail byte
        ++i;
    }
    out.truncate(put - reinterpret_cast<char16_t*>(out.data()));
    return out;
}

QByteArray Encode(QStringView text)
{
    QByteArray out;
    EncodeAppend(out, text);
    return out;
}

void EncodeAppend(QByteArray& out, QStringView text)
{
    const Tables& t = tables();
    const qsizetype start = out.size();
    out.resize(start + text.size() * 2); // a UTF-16 unit never needs more than two bytes
    char* put = out.data() + start;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode())) {
            *put++ = '?'; // nothing beyond the basic plane has a code
            ++i;
            continue;
        }
        const quint16 code = t.code[unit];
        if (code == kNoCode) {
            *put++ = '?';
        } else if (code < 0x100) {
            *put++ = char(code);
        } else {
            *put++ = char(code >> 8);
            *put++ = char(code & 0xFF);
        }
    }
    out.truncate(put - out.data());
}

} // namespace Cp932
