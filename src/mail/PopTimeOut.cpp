#include "mail/PopTimeOut.h"

#include <limits>

qint32 PopTimeOutMilliseconds(qint32 popTimeOutSeconds)
{
    constexpr qint64 defaultSeconds = 10;
    const qint64 seconds = popTimeOutSeconds < 1 ? defaultSeconds : popTimeOutSeconds;
    return static_cast<qint32>(qMin<qint64>(seconds * 1000, std::numeric_limits<qint32>::max()));
}
