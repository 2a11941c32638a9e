#pragma once

#include <QProcess>
#include <QString>

// A private X server (Xvfb on a display number it picks itself) with a window
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
    bool StartWindowManager();
    bool StartTrayHost();
    bool StartOnDisplay(QProcess& process, const QString& program, const QStringList& arguments);

    QProcess m_server;
    QProcess m_windowManager;
    QProcess m_trayHost;
    QString m_name;
    QString m_error;
};
