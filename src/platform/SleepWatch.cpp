#include "platform/SleepWatch.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>

namespace {

const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kLoginPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");

} // namespace

SleepWatch::SleepWatch(const QString& who, QObject* parent)
    : QObject(parent)
    , m_who(who)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    bus.connect(
        kLogin, kLoginPath, kManager, QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
    // A login manager restarted forgets every lock: ours is taken again.
    auto* service = new QDBusServiceWatcher(kLogin, bus,
        QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration, this);
    connect(service, &QDBusServiceWatcher::serviceRegistered, this, &SleepWatch::takeDelay);
    connect(service, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        ++m_asked;
        m_delay = QDBusUnixFileDescriptor();
    });
    takeDelay();
}

SleepWatch::~SleepWatch() = default;

void SleepWatch::ReadyToSleep()
{
    // Closing our copy of the lock's descriptor is what gives it back.
    m_delay = QDBusUnixFileDescriptor();
}

void SleepWatch::prepareForSleep(bool start)
{
    if (start) {
        Q_EMIT GoingToSleep();
        return;
    }
    takeDelay();
    Q_EMIT Resumed();
}

void SleepWatch::takeDelay()
{
    QDBusMessage inhibit
        = QDBusMessage::createMethodCall(kLogin, kLoginPath, kManager, QStringLiteral("Inhibit"));
    inhibit << QStringLiteral("sleep") << m_who << QStringLiteral("メールサーバーとの接続を閉じる")
            << QStringLiteral("delay");
    inhibit.setAutoStartService(false);
    const quint64 question = ++m_asked;
    auto* answer = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(inhibit), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this, [this, answer, question] {
        answer->deleteLater();
        if (question != m_asked)
            return;
        const QDBusMessage reply = answer->reply();
        // A login manager that refuses the lock still tells of sleep.
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            m_delay = reply.arguments().constFirst().value<QDBusUnixFileDescriptor>();
    });
}
