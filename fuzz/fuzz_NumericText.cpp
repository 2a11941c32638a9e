// Numbers typed or stored as text: the reading agrees with the C library's
// own, out-of-range values fall to the bounds, and nothing reads as NaN.

#include "FuzzCheck.h"

#include "app/NumericText.h"

#include <QByteArray>
#include <QString>

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));

    const double value = NumericText::LeadingValue(text);
    FUZZ_CHECK(!std::isnan(value));

    const auto checked = NumericText::ToInt32Checked(text);
    const qint32 clamped = NumericText::ToInt32(text);
    if (checked)
        FUZZ_CHECK(*checked == clamped);
    else
        FUZZ_CHECK(
            clamped == std::numeric_limits<qint32>::min() || clamped == std::numeric_limits<qint32>::max());

    if (NumericText::IsNumeric(text)) {
        // The whole text is one number in the form strtod reads too (fuzzers
        // run in the C locale); a value too small for a double is 0 to both,
        // give or take a subnormal.
        const QByteArray ascii = text.trimmed().toLatin1();
        const double expected = std::strtod(ascii.constData(), nullptr);
        if (std::fabs(expected) < DBL_MIN)
            FUZZ_CHECK(std::fabs(value) < DBL_MIN);
        else
            FUZZ_CHECK(value == expected);
    }
    return 0;
}
