#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A session bus of its own on which do-not-disturb is published as Plasma,
// Xfce and GNOME publish it, with GNOME's settings in a folder of its own.
// Made before the application, whose session bus and settings folder it then
// is while the object lives.
class PrivateNotificationService {
public:
    enum class Desktop { Plasma, Xfce, Gnome };

    PrivateNotificationService();
    ~PrivateNotificationService();

    PrivateNotificationService(const PrivateNotificationService&) = delete;
    PrivateNotificationService& operator=(const PrivateNotificationService&) = delete;

    bool IsReady() const { return m_error.isEmpty(); }
    QString Error() const { return m_error; }

    // Turns the desktop's do-not-disturb on or off; returns once the change
    // is on the bus.
    bool SetDoNotDisturb(Desktop desktop, bool on);

private:
    // The next line the service writes, or empty when it ended first.
    QByteArray ReadLine();

    QTemporaryDir m_home;
    QProcess m_service;
    QString m_error;
};
