#pragma once

#include <QtGlobal>

// The time-out of each wait of a check, in milliseconds, for the PopTimeOut
// option in seconds. A value below 1 (a damaged or hand-edited settings file)
// gets the default of 10 s so that no wait lasts forever; large values are
// kept in full, up to the largest 32-bit millisecond count.
qint32 PopTimeOutMilliseconds(qint32 popTimeOutSeconds);

// How long a POP3 listing may take in all once the mailbox has counted its
// messages: the check's own length, and beside that time for asking each
// message one by one over a slow line, so that a first check of 200,000
// messages still completes while a server that trickles its answers never
// holds the checks of every other account for good.
qint32 ListingLengthMilliseconds(qint32 longestMs, qint32 messages);
