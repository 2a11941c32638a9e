#include "platform/DoNotDisturbWatch.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QProcess>

namespace {

const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
const QString kNotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kInhibited = QStringLiteral("Inhibited");

const QString kXfconf = QStringLiteral("org.xfce.Xfconf");
const QString kXfconfPath = QStringLiteral("/org/xfce/Xfconf");
const QString kXfceChannel = QStringLiteral("xfce4-notifyd");
const QString kXfceProperty = QStringLiteral("/do-not-disturb");

const QString kGnomeSchema = QStringLiteral("org.gnome.desktop.notifications");
const QByteArray kGnomeKey = QByteArrayLiteral("show-banners");

QVariant Unwrapped(const QVariant& value)
{
    return value.metaType() == QMetaType::fromType<QDBusVariant>() ? value.value<QDBusVariant>().variant()
                                                                   : value;
}

bool IsTrue(const QVariant& value) { return Unwrapped(value).toBool(); }

} // namespace

DoNotDisturbWatch::DoNotDisturbWatch(QObject* parent)
    : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        bus.connect(kNotifications, kNotificationsPath, kProperties, QStringLiteral("PropertiesChanged"),
            this, SLOT(notificationPropertiesChanged(QString, QVariantMap, QStringList)));
        bus.connect(kXfconf, kXfconfPath, kXfconf, QStringLiteral("PropertyChanged"), this,
            SLOT(xfconfPropertyChanged(QString, QString, QDBusVariant)));
        bus.connect(kXfconf, kXfconfPath, kXfconf, QStringLiteral("PropertyRemoved"), this,
            SLOT(xfconfPropertyRemoved(QString, QString)));
        // A daemon started later, or again, is read afresh; one that ends
        // keeps nobody from being told.
        auto* services = new QDBusServiceWatcher(this);
        services->setConnection(bus);
        services->setWatchedServices({ kNotifications, kXfconf });
        connect(services, &QDBusServiceWatcher::serviceRegistered, this,
            [this](const QString& service) { service == kNotifications ? readInhibited() : readXfce(); });
        connect(services, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString& service) {
            set(service == kNotifications ? PlasmaInhibited : XfceDoNotDisturb, false);
        });
        readInhibited();
        readXfce();
    }
    readBanners();
}

DoNotDisturbWatch::~DoNotDisturbWatch()
{
    // The monitor never ends by itself, and a question may still be open.
    for (QProcess* command : findChildren<QProcess*>()) {
        command->disconnect(this);
        command->kill();
        command->waitForFinished();
    }
}

bool DoNotDisturbWatch::IsOn() const { return std::find(m_on.begin(), m_on.end(), true) != m_on.end(); }

void DoNotDisturbWatch::notificationPropertiesChanged(
    const QString& interface, const QVariantMap& changed, const QStringList& invalidated)
{
    if (interface != kNotifications)
        return;
    if (changed.contains(kInhibited))
        set(PlasmaInhibited, IsTrue(changed.value(kInhibited)));
    else if (invalidated.contains(kInhibited))
        readInhibited();
}

void DoNotDisturbWatch::xfconfPropertyChanged(
    const QString& channel, const QString& property, const QDBusVariant& value)
{
    if (channel == kXfceChannel && property == kXfceProperty)
        set(XfceDoNotDisturb, value.variant().toBool());
}

void DoNotDisturbWatch::xfconfPropertyRemoved(const QString& channel, const QString& property)
{
    if (channel == kXfceChannel && property == kXfceProperty)
        set(XfceDoNotDisturb, false);
}

void DoNotDisturbWatch::set(Source source, bool on)
{
    if (m_on[source] == on)
        return;
    m_on[source] = on;
    Q_EMIT Changed();
}

void DoNotDisturbWatch::readInhibited()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        kNotifications, kNotificationsPath, kProperties, QStringLiteral("Get"));
    get << kNotifications << kInhibited;
    ask(get, PlasmaInhibited, &IsTrue);
}

void DoNotDisturbWatch::readXfce()
{
    QDBusMessage get
        = QDBusMessage::createMethodCall(kXfconf, kXfconfPath, kXfconf, QStringLiteral("GetProperty"));
    get << kXfceChannel << kXfceProperty;
    ask(get, XfceDoNotDisturb, &IsTrue);
}

void DoNotDisturbWatch::ask(QDBusMessage message, Source source, bool (*read)(const QVariant& value))
{
    // Never started for the question: a daemon of another desktop would come
    // up, and one that does not run has nothing to say.
    message.setAutoStartService(false);
    auto* answer = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this, [this, answer, source, read] {
        answer->deleteLater();
        const QDBusMessage reply = answer->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            set(source, read(reply.arguments().constFirst()));
    });
}

void DoNotDisturbWatch::readBanners()
{
    // Through the command, as the core links no GIO. Without the schema the
    // question fails, and nothing is watched.
    auto* get = new QProcess(this);
    get->setStandardErrorFile(QProcess::nullDevice());
    connect(get, &QProcess::errorOccurred, get, &QObject::deleteLater);
    connect(get, &QProcess::finished, this, [this, get](int code, QProcess::ExitStatus status) {
        get->deleteLater();
        if (status != QProcess::NormalExit || code != 0)
            return;
        set(GnomeBannersOff, get->readAllStandardOutput().trimmed() == "false");
        if (m_bannersMonitor)
            return;
        m_bannersMonitor = new QProcess(this);
        m_bannersMonitor->setStandardErrorFile(QProcess::nullDevice());
        connect(m_bannersMonitor, &QProcess::readyReadStandardOutput, this, [this] {
            while (m_bannersMonitor->canReadLine()) {
                const QByteArray line = m_bannersMonitor->readLine().trimmed();
                if (line.startsWith(kGnomeKey + ':'))
                    set(GnomeBannersOff, line.endsWith("false"));
            }
        });
        // A change between the answer and the monitor's start would be lost:
        // asked once more when it listens.
        connect(m_bannersMonitor, &QProcess::started, this, &DoNotDisturbWatch::readBanners);
        m_bannersMonitor->start(
            QStringLiteral("gsettings"), { QStringLiteral("monitor"), kGnomeSchema, kGnomeKey });
    });
    get->start(QStringLiteral("gsettings"), { QStringLiteral("get"), kGnomeSchema, kGnomeKey });
}
