#include "DirectPop3Check.h"

#include "mail/clsWinSockOperate.h"

CheckOutcome DirectPop3Check::Run(const CheckRequest& request)
{
    clsWinSockOperate session;
    session.WinSock(&m_socket);
    session.Timer(&m_timeOut);
    QObject context;
    QObject::connect(
        &m_socket, &SocketControl::DataArrival, &context, [&] { session.DataArraivalReceiver(); });
    QObject::connect(&m_socket, &SocketControl::Error, &context,
        [&](const QString& description) { session.ErrorReceiver(description); });
    QObject::connect(&m_timeOut, &TimerControl::Timer, &context, [&] { session.TimeOutReceiver(); });
    CheckOutcome outcome = Pop3CheckSession(session).Run(request);
    session.CloseConnection();
    return outcome;
}
