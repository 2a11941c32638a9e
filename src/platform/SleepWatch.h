#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

// The machine going to sleep and waking, as the login manager tells it on the
// system bus. While awake the program holds a delay lock, so that the login
// manager waits (for at most its own few seconds) until the connections are
// closed; ReadyToSleep gives it back, and it is taken again at the wake. Where
// no login manager answers, nothing is emitted.
class SleepWatch : public QObject {
    Q_OBJECT

public:
    // `who` names the program to whoever lists the locks.
    explicit SleepWatch(const QString& who, QObject* parent = nullptr);
    ~SleepWatch() override;

    // What had to be closed before the sleep is closed; the machine may sleep.
    void ReadyToSleep();

Q_SIGNALS:
    void GoingToSleep();
    void Resumed();

private Q_SLOTS:
    // A slot, not a lambda: D-Bus signals reach a receiver by its signature.
    void prepareForSleep(bool start);

private:
    void takeDelay();

    QString m_who;
    QDBusUnixFileDescriptor m_delay;
    quint64 m_asked = 0; // only the latest question's answer counts
};
