#include "PrivateBus.h"

#include <csignal>
#include <sys/prctl.h>

PrivateBus::~PrivateBus()
{
    if (m_service.state() == QProcess::NotRunning)
        return;
    m_service.closeWriteChannel();
    m_service.waitForFinished();
}

bool PrivateBus::Start(const QString& script)
{
    // A test that crashes takes its bus with it.
    m_service.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_service.start(QStringLiteral("dbus-run-session"),
        { QStringLiteral("--"), QStringLiteral(TANDREL_SOURCE_DIR "/tests/support/") + script });
    m_address = readLine();
    return m_address.startsWith("unix:");
}

QByteArray PrivateBus::Ask(const QByteArray& line)
{
    m_service.write(line + '\n');
    return readLine();
}

QByteArray PrivateBus::readLine()
{
    while (!m_service.canReadLine() && m_service.waitForReadyRead(-1)) { }
    return m_service.readLine().trimmed();
}
