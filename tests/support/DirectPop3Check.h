#pragma once

#include "mail/Pop3CheckSession.h"
#include "platform/SocketControl.h"
#include "platform/TimerControl.h"

// One run of the POP3 dialogue over a socket and a time-out timer of its own,
// for requests that no account of the table can express yet.
class DirectPop3Check {
public:
    TimerControl& timeOut() { return m_timeOut; }
    CheckOutcome Run(const CheckRequest& request);

private:
    SocketControl m_socket;
    TimerControl m_timeOut;
};
