#pragma once

#include <QProcess>
#include <QString>

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

    // True once the server runs and the window manager manages it.
    bool IsReady() const { return m_error.isEmpty(); }
    // Why the display could not be made ready.
    QString Error() const { return m_error; }
    QString Name() const { return m_name; }

private:
    bool StartServer();
    bool StartServerOn(int number);
    bool StartWindowManager();
    bool StartTrayHost();
    // Starts the client and waits until the probe sees it at work, starting it afresh when it hangs.
    bool StartAndWait(QProcess& process, const QString& program, const QStringList& arguments,
        const QString& probe, const QStringList& probeArguments, const QByteArray& wanted);
    bool StartOnDisplay(QProcess& process, const QString& program, const QStringList& arguments);
    // Polls the display with the probe until it prints what is wanted, while the process runs.
    bool WaitFor(const QProcess& process, const QString& probe, const QStringList& arguments,
        const QByteArray& wanted);

    QProcess m_server;
    QProcess m_windowManager;
    QProcess m_trayHost;
    QString m_name;
    QString m_error;
};
