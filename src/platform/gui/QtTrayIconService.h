#pragma once

#include "platform/gui/TrayIconService.h"

#include <QSystemTrayIcon>

// The entry as a QSystemTrayIcon, owned by the application object. It is shown
// once it has a picture, as the system tray cannot show an entry without one.
class QtTrayIconService final : public TrayIconService {
public:
    bool Shell_NotifyIcon(qint32 dwMessage, const NotifyIconRecord& record) override;
    bool IsAvailable() const override;

    // The mouse message a click on the icon stands for; 0 for none of ours.
    static qint32 MessageForActivation(QSystemTrayIcon::ActivationReason reason);
    // True where Qt shows the icon as a StatusNotifierItem over D-Bus: a
    // watcher runs on the session bus and a tray host has registered with it.
    static bool IsStatusNotifierTray();

private:
    void Apply(const NotifyIconRecord& record);

    QPointer<QSystemTrayIcon> m_icon;
    QPointer<QWidget> m_owner;
    bool m_callbacks = false;
    bool m_statusNotifier = false;
};
