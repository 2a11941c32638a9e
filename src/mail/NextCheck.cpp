#include "mail/NextCheck.h"

qint32 NextCheckForRebuild(std::optional<qint32> current, qint32 interval)
{
    // A value below 0 is a countdown that ran out while the interval was 0;
    // kept, it would never reach 0 again and the account would never be
    // checked by the timer after the user gives it an interval.
    if (!current || *current <= 0 || *current > interval)
        return interval;
    return *current;
}
