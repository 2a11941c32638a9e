#include "PrivateNotificationService.h"

#include <csignal>
#include <sys/prctl.h>

PrivateNotificationService::PrivateNotificationService()
{
    // A test that is killed takes its bus with it.
    m_service.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_service.start(QStringLiteral("dbus-run-session"),
        { QStringLiteral("--"),
            QStringLiteral(TANDREL_SOURCE_DIR "/tests/support/notification_service.py") });
    const QByteArray address = ReadLine();
    if (!address.startsWith("unix:")) {
        m_error = QStringLiteral("the notification service did not start on a bus of its own: ")
            + m_service.errorString();
        return;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
}

PrivateNotificationService::~PrivateNotificationService()
{
    m_service.closeWriteChannel();
    if (!m_service.waitForFinished(30000)) {
        m_service.kill();
        m_service.waitForFinished();
    }
}

bool PrivateNotificationService::SetDoNotDisturb(bool on)
{
    const QByteArray word = on ? "on" : "off";
    m_service.write(word + '\n');
    return ReadLine() == word;
}

QByteArray PrivateNotificationService::ReadLine()
{
    // Waits on the service's output; only its end stops the wait.
    while (!m_service.canReadLine()) {
        if (m_service.state() == QProcess::NotRunning || !m_service.waitForReadyRead(-1))
            return m_service.canReadLine() ? m_service.readLine().trimmed() : QByteArray();
    }
    return m_service.readLine().trimmed();
}
