#include "PrivateNotificationService.h"

#include <csignal>
#include <sys/prctl.h>

PrivateNotificationService::PrivateNotificationService()
{
    // The settings service that the bus starts for GNOME's key writes here,
    // and the program's gsettings commands read here, never the user's own.
    qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", m_home.path().toLocal8Bit());
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

bool PrivateNotificationService::SetDoNotDisturb(Desktop desktop, bool on)
{
    const QByteArray line = QByteArray(desktop == Desktop::Plasma ? "plasma"
                                    : desktop == Desktop::Xfce    ? "xfce"
                                                                  : "gnome")
        + (on ? " on" : " off");
    m_service.write(line + '\n');
    return ReadLine() == line;
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
