#pragma once

#include <QProcess>
#include <QString>

// A session bus of its own with a notification service on it that says
// whether do-not-disturb is on, as a Plasma desktop does. Made before the
// application, whose session bus it then is while the object lives.
class PrivateNotificationService {
public:
    PrivateNotificationService();
    ~PrivateNotificationService();

    PrivateNotificationService(const PrivateNotificationService&) = delete;
    PrivateNotificationService& operator=(const PrivateNotificationService&) = delete;

    bool IsReady() const { return m_error.isEmpty(); }
    QString Error() const { return m_error; }

    // Sets the service's Inhibited property; returns once its change is on the bus.
    bool SetDoNotDisturb(bool on);

private:
    // The next line the service writes, or empty when it ended first.
    QByteArray ReadLine();

    QProcess m_service;
    QString m_error;
};
