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
const QString kGnomeKey = QStringLiteral("show-banners");
const QString kGnomeKeyPath = QStringLiteral("/org/gnome/desktop/notifications/show-banners");
// GNOME's settings live in dconf, whose writer tells every change on the bus.
const QString kDconfWriterPath = QStringLiteral("/ca/desrt/dconf/Writer/user");
const QString kDconfWriter = QStringLiteral("ca.desrt.dconf.Writer");

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
        // From whoever writes: the writer is started only when something is written.
        bus.connect(QString(), kDconfWriterPath, kDconfWriter, QStringLiteral("Notify"), this,
            SLOT(dconfNotify(QString, QStringList, QString)));
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
    // A question may still be open.
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

void DoNotDisturbWatch::dconfNotify(const QString& prefix, const QStringList& changes, const QString&)
{
    // A change names a key, or a folder of keys that were reset together.
    if (!m_bannersSchema)
        return;
    for (const QString& change : changes) {
        if (kGnomeKeyPath.startsWith(prefix + change)) {
            readBanners();
            return;
        }
    }
}

void DoNotDisturbWatch::readBanners()
{
    // Through the command, as the core links no GIO. Without the schema the
    // question fails, and it is not asked again. Only the latest answer counts.
    auto* get = new QProcess(this);
    const quint64 question = ++m_bannersAsked;
    get->setStandardErrorFile(QProcess::nullDevice());
    connect(get, &QProcess::errorOccurred, get, &QObject::deleteLater);
    connect(get, &QProcess::finished, this, [this, get, question](int code, QProcess::ExitStatus status) {
        get->deleteLater();
        if (status != QProcess::NormalExit || code != 0)
            m_bannersSchema = false;
        else if (question == m_bannersAsked)
            set(GnomeBannersOff, get->readAllStandardOutput().trimmed() == "false");
    });
    get->start(QStringLiteral("gsettings"), { QStringLiteral("get"), kGnomeSchema, kGnomeKey });
}
