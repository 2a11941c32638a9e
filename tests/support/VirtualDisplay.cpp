#include "VirtualDisplay.h"

#include <QDeadlineTimer>
#include <QThread>

namespace {

// Generous, as a loaded machine can be slow to start a server; only a
// failure waits this long.
constexpr int kStartLimitMs = 60000;
constexpr int kPollMs = 50;

// Whether a window manager has announced itself on the display.
bool WindowManagerRuns(const QString& display)
{
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    probe.setProcessEnvironment(env);
    probe.start(
        QStringLiteral("xprop"), { QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK") });
    if (!probe.waitForFinished(5000))
        return false;
    return probe.exitCode() == 0 && probe.readAllStandardOutput().contains("window id");
}

bool TrayHostShown(const QString& display)
{
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    probe.setProcessEnvironment(env);
    probe.start(QStringLiteral("xdotool"),
        { QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--class"),
            QStringLiteral("trayer") });
    return probe.waitForFinished(5000) && probe.exitCode() == 0
        && !probe.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace

VirtualDisplay::VirtualDisplay()
{
    if (StartServer() && StartWindowManager() && StartTrayHost())
        qputenv("DISPLAY", m_name.toLocal8Bit());
}

VirtualDisplay::~VirtualDisplay()
{
    for (QProcess* process : { &m_trayHost, &m_windowManager, &m_server }) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->terminate();
        if (!process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
}

bool VirtualDisplay::StartServer()
{
    // With -displayfd the server takes the first free display number and
    // writes it out once it accepts connections, so two test programs never race for one.
    m_server.setProgram(QStringLiteral("Xvfb"));
    m_server.setArguments(
        { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
            QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp") });
    m_server.setStandardErrorFile(QProcess::nullDevice());
    m_server.start();
    if (!m_server.waitForStarted(kStartLimitMs)) {
        m_error = QStringLiteral("Xvfb does not start: ") + m_server.errorString();
        return false;
    }
    QByteArray number;
    const QDeadlineTimer deadline(kStartLimitMs);
    while (!number.contains('\n') && !deadline.hasExpired()) {
        if (m_server.state() == QProcess::NotRunning) {
            m_error = QStringLiteral("Xvfb ended at start-up");
            return false;
        }
        m_server.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        number += m_server.readAllStandardOutput();
    }
    if (!number.contains('\n')) {
        m_error = QStringLiteral("Xvfb named no display in time");
        return false;
    }
    m_name = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    return true;
}

bool VirtualDisplay::StartWindowManager()
{
    if (!StartOnDisplay(m_windowManager, QStringLiteral("openbox"), {}))
        return false;
    const QDeadlineTimer deadline(kStartLimitMs);
    while (!WindowManagerRuns(m_name)) {
        if (m_windowManager.state() == QProcess::NotRunning) {
            m_error
                = QStringLiteral("openbox ended at start-up with code %1").arg(m_windowManager.exitCode());
            return false;
        }
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("openbox did not take over the display in time");
            return false;
        }
        QThread::msleep(kPollMs);
    }
    return true;
}

bool VirtualDisplay::StartTrayHost()
{
    if (!StartOnDisplay(m_trayHost, QStringLiteral("trayer"),
            { QStringLiteral("--edge"), QStringLiteral("bottom"), QStringLiteral("--align"),
                QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
                QStringLiteral("--height"), QStringLiteral("24"), QStringLiteral("--SetDockType"),
                QStringLiteral("true") }))
        return false;
    // Once its bar is on screen it no longer competes with the tests' first
    // window for the focus.
    const QDeadlineTimer deadline(kStartLimitMs);
    while (!TrayHostShown(m_name)) {
        if (m_trayHost.state() == QProcess::NotRunning || deadline.hasExpired()) {
            m_error = QStringLiteral("trayer did not show its bar");
            return false;
        }
        QThread::msleep(kPollMs);
    }
    return true;
}

bool VirtualDisplay::StartOnDisplay(QProcess& process, const QString& program, const QStringList& arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_name);
    process.setProcessEnvironment(env);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted(kStartLimitMs)) {
        m_error = program + QStringLiteral(" does not start: ") + process.errorString();
        return false;
    }
    return true;
}
