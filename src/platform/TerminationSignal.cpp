#include "platform/TerminationSignal.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#ifdef Q_OS_UNIX
namespace {

// A signal handler may only write to a descriptor; the notifier reads it on
// the user-interface thread. One pair serves the whole process.
int signalPipe[2] = { -1, -1 };

extern "C" void onTerminationSignal(int signalNumber)
{
    const unsigned char code = static_cast<unsigned char>(signalNumber);
    // Nothing can be done about a failed write inside a handler.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &code, 1);
}

} // namespace

TerminationSignal::TerminationSignal(QObject* parent)
    : QObject(parent)
{
    if (signalPipe[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
            return;
    }
    m_notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignal::readPending);

    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : { SIGTERM, SIGINT, SIGHUP })
        ::sigaction(number, &action, nullptr);
}

TerminationSignal::~TerminationSignal()
{
    if (!m_notifier)
        return;
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int number : { SIGTERM, SIGINT, SIGHUP })
        ::sigaction(number, &action, nullptr);
}

void TerminationSignal::readPending()
{
    unsigned char code = 0;
    while (::read(signalPipe[1], &code, 1) == 1)
        Q_EMIT terminationRequested(code);
}

#else
// Windows ends a windowed program through the session end alone.
TerminationSignal::TerminationSignal(QObject* parent)
    : QObject(parent)
{
}

TerminationSignal::~TerminationSignal() = default;

void TerminationSignal::readPending() { }
#endif
