#include "platform/gui/QtTrayIconService.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>

bool QtTrayIconService::Shell_NotifyIcon(qint32 dwMessage, const NotifyIconRecord& record)
{
    switch (dwMessage) {
    case NIM_ADD:
        if (m_icon)
            return false;
        m_icon = new QSystemTrayIcon(QCoreApplication::instance());
        // Asked as Qt asks when it makes the icon: the answer decides who shows the menu.
        m_statusNotifier = IsStatusNotifierTray();
        QObject::connect(
            m_icon, &QSystemTrayIcon::activated, m_icon, [this](QSystemTrayIcon::ActivationReason reason) {
                // A tray holding the menu shows it itself; a second one from the
                // owner would open at wherever the pointer last was.
                if (reason == QSystemTrayIcon::Context && m_icon->contextMenu())
                    return;
                const qint32 message = MessageForActivation(reason);
                if (m_callbacks && message != 0)
                    PostCallback(m_owner, message);
            });
        Apply(record);
        return IsAvailable();
    case NIM_MODIFY:
        if (!m_icon)
            return false;
        Apply(record);
        return true;
    case NIM_DELETE:
        if (!m_icon)
            return false;
        m_icon->hide();
        delete m_icon;
        return true;
    default:
        return false;
    }
}

bool QtTrayIconService::IsAvailable() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

bool QtTrayIconService::IsStatusNotifierTray()
{
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcher))
        return false;
    QDBusInterface properties(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher, bus);
    return properties.property("IsStatusNotifierHostRegistered").toBool();
}

qint32 QtTrayIconService::MessageForActivation(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return WM_LBUTTONDOWN;
    case QSystemTrayIcon::DoubleClick:
        return WM_LBUTTONDBLCLK;
    case QSystemTrayIcon::Context:
        return WM_RBUTTONDOWN;
    default:
        return 0;
    }
}

void QtTrayIconService::Apply(const NotifyIconRecord& record)
{
    m_owner = record.hWnd;
    m_callbacks = record.uFlags & NIF_MESSAGE;
    if (record.uFlags & NIF_ICON)
        m_icon->setIcon(record.hIcon);
    if (record.uFlags & NIF_TIP)
        m_icon->setToolTip(record.TipText());
    // Only the D-Bus tray gets the menu: the XEmbed tray would pop it up on
    // the right click besides the owner's own.
    if (m_statusNotifier && m_icon->contextMenu() != record.hMenu)
        m_icon->setContextMenu(record.hMenu);
    if (!m_icon->icon().isNull())
        m_icon->show();
}
