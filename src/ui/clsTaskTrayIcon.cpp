#include "ui/clsTaskTrayIcon.h"

#include <QCoreApplication>
#include <QCursor>
#include <QMenu>
#include <QPointer>
#include <QWidget>

namespace {

constexpr int TipLength = 64;

// A control of the window that can take the keyboard focus now.
bool AcceptsFocus(const QWidget* control, const QWidget& window)
{
    return control && control != &window && control->window() == &window && control->isVisible()
        && control->isEnabled() && (control->focusPolicy() & Qt::TabFocus);
}

QWidget* FirstInTabOrder(QWidget& window)
{
    for (QWidget* next = window.nextInFocusChain(); next && next != &window;
         next = next->nextInFocusChain()) {
        if (AcceptsFocus(next, window))
            return next;
    }
    return nullptr;
}

} // namespace

clsTaskTrayIcon::clsTaskTrayIcon(TrayIconService& service)
    : m_service(service)
{
    m_nid.cbSize = 88;
    m_nid.uID = 1;
    m_nid.uFlags = TrayIconService::NIF_MESSAGE | TrayIconService::NIF_ICON | TrayIconService::NIF_TIP;
    m_nid.uCallbackMessage = WM_MOUSEMOVE;
}

clsTaskTrayIcon::~clsTaskTrayIcon() { setVisible(false); }

void clsTaskTrayIcon::sethWnd(QWidget* hwndParent)
{
    m_nid.hWnd = hwndParent;
    ApplyNotifyIcon();
}

void clsTaskTrayIcon::setIcon(const QIcon& objIcon)
{
    m_nid.hIcon = objIcon;
    ApplyNotifyIcon();
}

void clsTaskTrayIcon::setVisible(bool blnVisible)
{
    if (blnVisible) {
        m_visible = true;
        ApplyNotifyIcon();
    } else {
        DeleteNotifyIcon();
        m_visible = false;
    }
}

void clsTaskTrayIcon::setToolTip(const QString& szToolTip)
{
    m_nid.szTip = (szToolTip + QChar(0)).leftJustified(TipLength, QLatin1Char(' '), true);
    ApplyNotifyIcon();
}

void clsTaskTrayIcon::setMenu(QMenu* oMenu)
{
    m_nid.hMenu = oMenu;
    ApplyNotifyIcon();
}

void clsTaskTrayIcon::ShowForm(QWidget& oFrm)
{
    // Taken before the window comes back: focusing the window itself would
    // leave the keys with no control to go to.
    QPointer<QWidget> control = oFrm.focusWidget();
    const auto normal
        = [&oFrm] { oFrm.setWindowState(oFrm.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized)); };
    // A hidden window still marked minimised would be mapped iconic, and the
    // window manager's late word on that state would send it back to the tray.
    if (!oFrm.isVisible())
        normal();
    oFrm.setVisible(true);
    QCoreApplication::processEvents();
    normal();
    QCoreApplication::processEvents();
    oFrm.raise();
    oFrm.activateWindow();
    QCoreApplication::processEvents();
    oFrm.setVisible(true);
    normal();
    QCoreApplication::processEvents();
    if (!AcceptsFocus(control, oFrm))
        control = FirstInTabOrder(oFrm);
    if (control)
        control->setFocus(Qt::ActiveWindowFocusReason);
    else
        oFrm.setFocus(Qt::ActiveWindowFocusReason);
}

void clsTaskTrayIcon::ShowMenu(QWidget& oFrm, QMenu& oMenu)
{
    QCoreApplication::processEvents();
    // Only a window on screen can come to the front; a window hidden in the
    // tray stays hidden while its menu is up.
    if (oFrm.isVisible())
        oFrm.activateWindow();
    oMenu.popup(QCursor::pos());
}

std::optional<qint32> clsTaskTrayIcon::CallbackMessage(const QMouseEvent& event)
{
    return TrayIconService::CallbackMessage(event);
}

void clsTaskTrayIcon::ApplyNotifyIcon()
{
    if (!m_visible)
        return;
    m_lastResult = m_service.Shell_NotifyIcon(m_notifyMessage, m_nid);
    if (m_notifyMessage == TrayIconService::NIM_ADD)
        m_notifyMessage = TrayIconService::NIM_MODIFY;
}

void clsTaskTrayIcon::DeleteNotifyIcon()
{
    if (!m_visible)
        return;
    m_notifyMessage = TrayIconService::NIM_DELETE;
    m_lastResult = m_service.Shell_NotifyIcon(m_notifyMessage, m_nid);
    // A later setVisible(true) adds the entry afresh instead of deleting it again.
    m_notifyMessage = TrayIconService::NIM_ADD;
}
