#pragma once

#include <QtGlobal>

// The time-out of each wait of a check, in milliseconds, for the PopTimeOut
// option in seconds. A value below 1 (a damaged or hand-edited settings file)
// gets the default of 10 s so that no wait lasts forever; large values are
// kept in full, up to the largest 32-bit millisecond count.
qint32 PopTimeOutMilliseconds(qint32 popTimeOutSeconds);
