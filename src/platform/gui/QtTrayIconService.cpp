#include "platform/gui/QtTrayIconService.h"

#include <QCoreApplication>

bool QtTrayIconService::Shell_NotifyIcon(qint32 dwMessage, const NotifyIconRecord& record)
{
    switch (dwMessage) {
    case NIM_ADD:
        if (m_icon)
            return false;
        m_icon = new QSystemTrayIcon(QCoreApplication::instance());
        QObject::connect(
            m_icon, &QSystemTrayIcon::activated, m_icon, [this](QSystemTrayIcon::ActivationReason reason) {
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
    if (!m_icon->icon().isNull())
        m_icon->show();
}
