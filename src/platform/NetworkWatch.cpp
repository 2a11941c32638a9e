#include "platform/NetworkWatch.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace {

const QString kNetwork = QStringLiteral("org.freedesktop.NetworkManager");
const QString kNetworkPath = QStringLiteral("/org/freedesktop/NetworkManager");

} // namespace

NetworkWatch::NetworkWatch(QObject* parent)
    : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    bus.connect(
        kNetwork, kNetworkPath, kNetwork, QStringLiteral("StateChanged"), this, SLOT(stateChanged(uint)));
    auto* service = new QDBusServiceWatcher(kNetwork, bus,
        QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration, this);
    connect(service, &QDBusServiceWatcher::serviceRegistered, this, &NetworkWatch::readState);
    // Nobody left to say the machine is offline: it is taken as online, as
    // where none ever ran.
    connect(service, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        ++m_asked;
        set(true);
    });
    readState();
}

NetworkWatch::~NetworkWatch() = default;

bool NetworkWatch::IsOnline() const { return m_online; }

bool NetworkWatch::IsOnlineState(uint state)
{
    // NM_STATE_ASLEEP 10 up to NM_STATE_CONNECTING 40.
    return state == 0 || state >= 50;
}

void NetworkWatch::stateChanged(uint state)
{
    // A change outdates any answer still on its way.
    ++m_asked;
    set(IsOnlineState(state));
}

void NetworkWatch::readState()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        kNetwork, kNetworkPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kNetwork << QStringLiteral("State");
    get.setAutoStartService(false);
    const quint64 question = ++m_asked;
    auto* answer = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(get), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this, [this, answer, question] {
        answer->deleteLater();
        const QDBusMessage reply = answer->reply();
        if (question != m_asked || reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return;
        const QVariant value = reply.arguments().constFirst().value<QDBusVariant>().variant();
        bool known = false;
        const uint state = value.toUInt(&known);
        if (known)
            set(IsOnlineState(state));
    });
}

void NetworkWatch::set(bool online)
{
    if (m_online == online)
        return;
    m_online = online;
    Q_EMIT OnlineChanged(online);
}
