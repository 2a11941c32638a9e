#pragma once

#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <array>

class QDBusMessage;
class QDBusVariant;

// The desktop's do-not-disturb, read where each desktop publishes it: the
// Inhibited property of the notification service (Plasma), GNOME's
// show-banners key, and the setting of Xfce's notification daemon. Each is
// followed as it changes, none is polled; a desktop that has none of them is
// never in do-not-disturb.
class DoNotDisturbWatch : public QObject {
    Q_OBJECT

public:
    explicit DoNotDisturbWatch(QObject* parent = nullptr);
    ~DoNotDisturbWatch() override;

    // On while any of the desktops says so.
    bool IsOn() const;

Q_SIGNALS:
    void Changed();

private Q_SLOTS:
    // Slots, not lambdas: D-Bus signals reach a receiver by its signature.
    void notificationPropertiesChanged(
        const QString& interface, const QVariantMap& changed, const QStringList& invalidated);
    void xfconfPropertyChanged(const QString& channel, const QString& property, const QDBusVariant& value);
    void xfconfPropertyRemoved(const QString& channel, const QString& property);
    void dconfNotify(const QString& prefix, const QStringList& changes, const QString& tag);

private:
    enum Source { PlasmaInhibited, GnomeBannersOff, XfceDoNotDisturb, SourceCount };

    void set(Source source, bool on);
    void readInhibited();
    void readXfce();
    // Asks and hands the answer to `read`, or drops the question when nobody answers.
    void ask(QDBusMessage message, Source source, bool (*read)(const QVariant& value));
    void readBanners();

    std::array<bool, SourceCount> m_on {};
    // Whether GNOME's schema is installed, as far as known.
    bool m_bannersSchema = true;
    quint64 m_bannersAsked = 0;
};
