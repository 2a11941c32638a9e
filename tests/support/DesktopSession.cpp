#include "DesktopSession.h"

#include <QDeadlineTimer>
#include <QJsonDocument>

namespace {

// Generous: the compositor and XWayland start slowly on a loaded machine.
constexpr int kStartLimitMs = 120'000;

} // namespace

DesktopSession::DesktopSession(Tray tray)
    : m_environment(QProcessEnvironment::systemEnvironment())
{
    m_environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    m_session.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments;
    if (tray == Tray::StatusNotifier)
        arguments << QStringLiteral("--tray");
    m_session.start(QStringLiteral(TANDREL_SOURCE_DIR "/tests/support/desktop-session.sh"), arguments);
    const QDeadlineTimer limit(kStartLimitMs);
    while (!limit.hasExpired()) {
        if (!m_session.canReadLine() && !m_session.waitForReadyRead(int(limit.remainingTime())))
            break;
        while (m_session.canReadLine()) {
            const QString line = QString::fromUtf8(m_session.readLine()).trimmed();
            if (line == u"ready")
                return;
            const qsizetype equals = line.indexOf(u'=');
            m_environment.insert(line.left(equals), line.mid(equals + 1));
        }
    }
    m_error = QStringLiteral("the desktop session did not start: ") + m_session.errorString();
}

DesktopSession::~DesktopSession()
{
    m_session.closeWriteChannel();
    if (!m_session.waitForFinished(kStartLimitMs))
        m_session.kill();
    m_session.waitForFinished();
}

QJsonObject DesktopSession::Probe(const QString& command) const
{
    QProcess probe;
    probe.setProcessEnvironment(m_environment);
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Debian's own interpreter, which has Debian's D-Bus module.
    probe.start(QStringLiteral("/usr/bin/python3"),
        { QStringLiteral(TANDREL_SOURCE_DIR "/tests/support/desktop_probe.py"), command });
    probe.waitForFinished(kStartLimitMs);
    return QJsonDocument::fromJson(probe.readAllStandardOutput()).object();
}
