#include "OAuthProvider.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>

OAuthProvider::~OAuthProvider()
{
    m_process.kill();
    m_process.waitForFinished();
}

bool OAuthProvider::start()
{
    m_process.start(
        QStringLiteral("python3"), { QStringLiteral(TANDREL_SOURCE_DIR "/tests/support/oauth_provider.py") });
    // Its first line is the port, written once it listens.
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(-1)) {
            m_error = QStringLiteral("the provider gave no port: ")
                + QString::fromLocal8Bit(m_process.readAllStandardError());
            return false;
        }
    }
    m_port = static_cast<quint16>(m_process.readLine().trimmed().toUInt());
    return m_port != 0;
}

QUrl OAuthProvider::url(const QString& path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
}

QJsonObject OAuthProvider::post(const QString& pathAndQuery)
{
    QNetworkAccessManager manager;
    // A proxy of the environment has no business with loopback.
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(url(pathAndQuery));
    request.setHeader(
        QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    QNetworkReply* reply = manager.post(request, QByteArray());
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    return QJsonDocument::fromJson(reply->readAll()).object();
}
