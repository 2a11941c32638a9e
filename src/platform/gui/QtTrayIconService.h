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

private:
    void Apply(const NotifyIconRecord& record);

    QPointer<QSystemTrayIcon> m_icon;
    QPointer<QWidget> m_owner;
    bool m_callbacks = false;
};
