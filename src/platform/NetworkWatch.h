#pragma once

#include <QObject>

// Whether the machine has a network, as the network manager tells it on the
// system bus: its State property, followed through StateChanged. Where no
// network manager answers the machine counts as online, so that nothing
// changes for those who do not run one.
class NetworkWatch : public QObject {
    Q_OBJECT

public:
    explicit NetworkWatch(QObject* parent = nullptr);
    ~NetworkWatch() override;

    bool IsOnline() const;
    // What a network manager's state number means for mail: asleep,
    // disconnected, disconnecting and connecting are offline; a local
    // connection counts, since the mail server may be on it; unknown says nothing.
    static bool IsOnlineState(uint state);

Q_SIGNALS:
    void OnlineChanged(bool online);

private Q_SLOTS:
    // A slot, not a lambda: D-Bus signals reach a receiver by its signature.
    void stateChanged(uint state);

private:
    void readState();
    void set(bool online);

    bool m_online = true;
    quint64 m_asked = 0; // only the latest question's answer counts
};
