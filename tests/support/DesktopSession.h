#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

// A Wayland desktop of the test's own, run by tests/support/desktop-session.sh:
// a private session bus, a headless GNOME compositor with XWayland and, when
// asked for, a D-Bus tray (a StatusNotifier watcher with a registered host).
// Programs started with Environment() find it as on a Wayland session;
// Probe() asks tests/support/desktop_probe.py what the desktop shows.
class DesktopSession {
public:
    enum class Tray { None, StatusNotifier };

    explicit DesktopSession(Tray tray);
    // Ends the compositor, the bus and everything on them.
    ~DesktopSession();

    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    bool IsReady() const { return m_error.isEmpty(); }
    QString Error() const { return m_error; }

    // The caller's environment with the session's display, bus and runtime
    // folder in it, and no platform chosen for Qt.
    QProcessEnvironment Environment() const { return m_environment; }
    // The probe's answer to one command ("windows", "tray", "activate").
    QJsonObject Probe(const QString& command) const;

private:
    QProcess m_session;
    QProcessEnvironment m_environment;
    QString m_error;
};
