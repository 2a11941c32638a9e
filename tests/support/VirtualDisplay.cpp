#include "VirtualDisplay.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

namespace {

// Generous, as a loaded machine can be slow to start a server; only a
// failure waits this long.
constexpr int kStartLimitMs = 60000;
// How long a window manager or tray host may take before it is started afresh.
constexpr int kClientLimitMs = 15000;
constexpr int kAttempts = 3;
constexpr int kPollMs = 50;

// Runs an X client against the display; true when it ends well and prints
// what is looked for (anything, when nothing is named). What it complains
// about is kept for the error report.
bool Probe(const QString& display, const QString& program, const QStringList& arguments,
    const QByteArray& wanted, QString& complaint)
{
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    probe.setProcessEnvironment(env);
    probe.start(program, arguments);
    if (!probe.waitForFinished(5000)) {
        complaint = program + QStringLiteral(" did not answer");
        probe.kill();
        probe.waitForFinished(1000);
        return false;
    }
    complaint = QString::fromLocal8Bit(probe.readAllStandardError()).trimmed();
    const QByteArray output = probe.readAllStandardOutput();
    return probe.exitCode() == 0
        && (wanted.isEmpty() ? !output.trimmed().isEmpty() : output.contains(wanted));
}

// A display number no server uses, seen from here or from a neighbour that
// shares this machine's network but not its /tmp: X clients try the abstract
// socket of a number first, so a number taken there would lead them to
// another server.
int FreeDisplayNumber(int attempt)
{
    QFile sockets(QStringLiteral("/proc/net/unix"));
    const QByteArray inUse = sockets.open(QIODevice::ReadOnly) ? sockets.readAll() : QByteArray();
    const int first = 100 + int((QCoreApplication::applicationPid() * 7 + attempt * 131) % 800);
    for (int i = 0; i < 800; ++i) {
        const int number = 100 + (first - 100 + i) % 800;
        const QByteArray name = "/tmp/.X11-unix/X" + QByteArray::number(number);
        if (QFile::exists(QString::fromLatin1(name))
            || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            continue;
        if (inUse.contains("@" + name + "\n"))
            continue;
        return number;
    }
    return -1;
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
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const int number = FreeDisplayNumber(attempt);
        if (number < 0)
            break;
        if (StartServerOn(number))
            return true;
    }
    if (m_error.isEmpty())
        m_error = QStringLiteral("no free display number");
    return false;
}

bool VirtualDisplay::StartServerOn(int number)
{
    m_server.setProgram(QStringLiteral("Xvfb"));
    m_server.setArguments({ QLatin1Char(':') + QString::number(number), QStringLiteral("-displayfd"),
        QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1024x768x24"),
        QStringLiteral("-nolisten"), QStringLiteral("tcp") });
    m_server.setStandardErrorFile(QProcess::nullDevice());
    m_server.start();
    if (!m_server.waitForStarted(kStartLimitMs)) {
        m_error = QStringLiteral("Xvfb does not start: ") + m_server.errorString();
        return false;
    }
    // The server writes its number once it accepts connections.
    QByteArray written;
    const QDeadlineTimer deadline(kStartLimitMs);
    while (!written.contains('\n') && !deadline.hasExpired()) {
        if (m_server.state() == QProcess::NotRunning) {
            m_error = QStringLiteral("Xvfb ended at start-up");
            return false;
        }
        m_server.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        written += m_server.readAllStandardOutput();
    }
    if (!written.contains('\n')) {
        m_error = QStringLiteral("Xvfb was not ready in time");
        m_server.kill();
        m_server.waitForFinished(5000);
        return false;
    }
    m_name = QLatin1Char(':') + QString::number(number);
    return true;
}

bool VirtualDisplay::StartWindowManager()
{
    return StartAndWait(m_windowManager, QStringLiteral("openbox"), {}, QStringLiteral("xprop"),
        { QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK") }, "window id");
}

bool VirtualDisplay::StartTrayHost()
{
    // Once its bar is on screen it no longer competes with the tests' first
    // window for the focus.
    return StartAndWait(m_trayHost, QStringLiteral("trayer"),
        { QStringLiteral("--edge"), QStringLiteral("bottom"), QStringLiteral("--align"),
            QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
            QStringLiteral("--height"), QStringLiteral("24"), QStringLiteral("--SetDockType"),
            QStringLiteral("true") },
        QStringLiteral("xdotool"),
        { QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--class"),
            QStringLiteral("trayer") },
        {});
}

bool VirtualDisplay::StartAndWait(QProcess& process, const QString& program, const QStringList& arguments,
    const QString& probe, const QStringList& probeArguments, const QByteArray& wanted)
{
    // Now and then a client started on a fresh server never gets going; a
    // second start does.
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt > 0) {
            process.kill();
            process.waitForFinished(5000);
        }
        if (StartOnDisplay(process, program, arguments) && WaitFor(process, probe, probeArguments, wanted))
            return true;
        if (m_server.state() == QProcess::NotRunning)
            return false;
    }
    return false;
}

bool VirtualDisplay::StartOnDisplay(QProcess& process, const QString& program, const QStringList& arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_name);
    process.setProcessEnvironment(env);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted(kStartLimitMs)) {
        m_error = program + QStringLiteral(" does not start: ") + process.errorString();
        return false;
    }
    return true;
}

bool VirtualDisplay::WaitFor(
    const QProcess& process, const QString& probe, const QStringList& arguments, const QByteArray& wanted)
{
    const QDeadlineTimer deadline(kClientLimitMs);
    QString complaint;
    while (!Probe(m_name, probe, arguments, wanted, complaint)) {
        const QString name = process.program();
        if (process.state() == QProcess::NotRunning) {
            m_error = name + QStringLiteral(" ended at start-up with code %1").arg(process.exitCode());
            return false;
        }
        if (m_server.state() == QProcess::NotRunning) {
            m_error = QStringLiteral("Xvfb ended while ") + name + QStringLiteral(" started");
            return false;
        }
        if (deadline.hasExpired()) {
            m_error = name + QStringLiteral(" was not ready in time: ") + complaint + QLatin1Char('\n')
                + QString::fromLocal8Bit(const_cast<QProcess&>(process).readAllStandardError());
            return false;
        }
        QThread::msleep(kPollMs);
    }
    return true;
}
