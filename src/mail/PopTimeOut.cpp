#include "mail/PopTimeOut.h"

#include <limits>

qint32 PopTimeOutMilliseconds(qint32 popTimeOutSeconds)
{
    constexpr qint64 defaultSeconds = 10;
    const qint64 seconds = popTimeOutSeconds < 1 ? defaultSeconds : popTimeOutSeconds;
    return static_cast<qint32>(qMin<qint64>(seconds * 1000, std::numeric_limits<qint32>::max()));
}

qint32 ListingLengthMilliseconds(qint32 longestMs, qint32 messages)
{
    // UIDL and TOP, a round trip of 10 ms each.
    constexpr qint64 perMessageMs = 20;
    const qint64 length = qint64(longestMs) + qMax<qint64>(messages, 0) * perMessageMs;
    return static_cast<qint32>(qMin<qint64>(length, std::numeric_limits<qint32>::max()));
}
