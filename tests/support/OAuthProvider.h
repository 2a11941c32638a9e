#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QUrl>

// The local authorization server of tests/support/oauth_provider.py, run for
// the life of this object on a free loopback port.
class OAuthProvider {
public:
    ~OAuthProvider();

    // Starts it and waits for the line that gives its port; false with error().
    bool start();
    QString error() const { return m_error; }
    QUrl url(const QString& path) const;
    // POSTs to the path (with its query) and returns the JSON answer; the
    // control endpoints are meant for this.
    QJsonObject post(const QString& pathAndQuery);

private:
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
