#include "app/NumericText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace NumericText {

namespace {

    bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

    bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

    // Length of the number that starts at `pos` (0 when there is none); the
    // scanned characters are copied to `out` as ASCII for from_chars.
    qsizetype scanNumber(QStringView text, qsizetype pos, std::string& out)
    {
        const qsizetype start = pos;
        const qsizetype n = text.size();
        out.clear();
        if (pos < n && (text[pos] == u'+' || text[pos] == u'-')) {
            if (text[pos] == u'-')
                out.push_back('-');
            ++pos;
        }
        qsizetype digits = 0;
        while (pos < n && isDigit(text[pos])) {
            out.push_back(char(text[pos].unicode()));
            ++pos;
            ++digits;
        }
        if (pos < n && text[pos] == u'.') {
            qsizetype fraction = 0;
            std::string tail = ".";
            qsizetype p = pos + 1;
            while (p < n && isDigit(text[p])) {
                tail.push_back(char(text[p].unicode()));
                ++p;
                ++fraction;
            }
            if (digits + fraction > 0) {
                out += tail;
                digits += fraction;
                pos = p;
            }
        }
        if (digits == 0)
            return 0;
        if (pos < n && (text[pos] == u'e' || text[pos] == u'E')) {
            qsizetype p = pos + 1;
            std::string exponent = "e";
            if (p < n && (text[p] == u'+' || text[p] == u'-')) {
                exponent.push_back(char(text[p].unicode()));
                ++p;
            }
            const qsizetype firstDigit = p;
            while (p < n && isDigit(text[p])) {
                exponent.push_back(char(text[p].unicode()));
                ++p;
            }
            if (p > firstDigit) {
                out += exponent;
                pos = p;
            }
        }
        return pos - start;
    }

    // True when a number that does not fit a double is too large rather than too
    // small: its first significant digit stands left of the point once the
    // exponent is applied. Out of range means beyond 1e308 or below 1e-308, so
    // the sign of that position decides.
    bool isTooLarge(const std::string& ascii)
    {
        long long position = 0; // of the first significant digit, 1 = units
        bool seenPoint = false;
        bool significant = false;
        std::size_t i = ascii.starts_with('-') ? 1 : 0;
        for (; i < ascii.size() && ascii[i] != 'e'; ++i) {
            if (ascii[i] == '.') {
                seenPoint = true;
            } else if (!significant && ascii[i] == '0') {
                if (seenPoint)
                    --position;
            } else if (!significant) {
                significant = true;
                if (!seenPoint)
                    position = 1;
            } else if (!seenPoint) {
                ++position;
            }
        }
        long long exponent = 0;
        if (i < ascii.size()) {
            const bool negative = i + 1 < ascii.size() && ascii[i + 1] == '-';
            for (std::size_t d = i + 1; d < ascii.size(); ++d) {
                if (ascii[d] >= '0' && ascii[d] <= '9')
                    exponent = std::min(exponent * 10 + (ascii[d] - '0'), 1'000'000'000'000LL);
            }
            if (negative)
                exponent = -exponent;
        }
        return position + exponent > 0;
    }

    double parse(const std::string& ascii)
    {
        double value = 0;
        const char* first = ascii.data();
        // from_chars rejects a leading '+', and scanNumber never copies one.
        auto [ptr, ec] = std::from_chars(first, first + ascii.size(), value);
        if (ec == std::errc::result_out_of_range) {
            // Too small to tell from nothing reads as 0. Too large keeps the sign
            // so range checks still refuse it.
            if (!isTooLarge(ascii))
                return 0.0;
            return ascii.starts_with('-') ? -std::numeric_limits<double>::infinity()
                                          : std::numeric_limits<double>::infinity();
        }
        return ec == std::errc() ? value : 0.0;
    }

    qsizetype skipBlanks(QStringView text, qsizetype pos)
    {
        while (pos < text.size() && isBlank(text[pos]))
            ++pos;
        return pos;
    }

} // namespace

double LeadingValue(QStringView text)
{
    std::string ascii;
    const qsizetype start = skipBlanks(text, 0);
    if (scanNumber(text, start, ascii) == 0)
        return 0.0;
    return parse(ascii);
}

std::optional<qint32> ToInt32Checked(QStringView text)
{
    // nearbyint rounds halves to even under the default rounding mode.
    const double rounded = std::nearbyint(LeadingValue(text));
    if (!(rounded >= double(std::numeric_limits<qint32>::min())
            && rounded <= double(std::numeric_limits<qint32>::max())))
        return std::nullopt;
    return static_cast<qint32>(rounded);
}

qint32 ToInt32(QStringView text)
{
    if (const auto value = ToInt32Checked(text))
        return *value;
    return LeadingValue(text) < 0 ? std::numeric_limits<qint32>::min() : std::numeric_limits<qint32>::max();
}

bool IsNumeric(QStringView text)
{
    std::string ascii;
    const qsizetype start = skipBlanks(text, 0);
    const qsizetype length = scanNumber(text, start, ascii);
    if (length == 0)
        return false;
    return skipBlanks(text, start + length) == text.size();
}

} // namespace NumericText
