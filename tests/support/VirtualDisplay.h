#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>

// A private X server (Xvfb on a display number that nobody uses) with a window
// manager and a notification area on it, for tests that must see what a user under X sees: real
// popups, focus handed over by the window manager, synthetic input. DISPLAY
// names it while the object lives.
class VirtualDisplay {
public:
    VirtualDisplay();
    ~VirtualDisplay();

    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // True once the server runs, the window manager manages it and the tray
    // host has its bar on screen.
    bool IsReady() const { return m_error.isEmpty(); }
    // Why the display could not be made ready.
    QString Error() const { return m_error; }
    QString Name() const { return m_name; }

private:
    class RootWatch;

    bool StartServer();
    bool StartServerOn(int number);
    bool StartOnDisplay(QProcess& process, const QString& program, const QStringList& arguments);
    // Waits on what the server reports until it shows what is awaited; the
    // client or the server ending, or the safety limit, ends the wait.
    bool WaitUntil(
        RootWatch& watch, QProcess& client, const QString& awaited, const std::function<bool()>& shown);
    // What a client wrote to its log, for an error report.
    QString LogOf(const QProcess& process) const;

    // For all of the start-up together.
    QDeadlineTimer m_limit;
    QTemporaryDir m_logs;
    QProcess m_server;
    QProcess m_windowManager;
    QProcess m_trayHost;
    QString m_name;
    QString m_error;
};
