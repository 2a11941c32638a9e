#pragma once

#include "platform/gui/TrayIconService.h"

#include <optional>

class QMenu;
class QMouseEvent;

// The program's notification-area icon. Property assignments are remembered
// and, once the icon is visible, sent to the tray at once; while it is hidden
// nothing reaches the tray. Clicks on the icon reach the window set with
// sethWnd as mouse moves; CallbackMessage tells them apart from real ones.
class clsTaskTrayIcon {
public:
    // Mouse message numbers a callback can carry.
    static constexpr qint32 WM_MOUSEMOVE = TrayIconService::WM_MOUSEMOVE;
    static constexpr qint32 WM_LBUTTONDOWN = TrayIconService::WM_LBUTTONDOWN;
    static constexpr qint32 WM_LBUTTONUP = TrayIconService::WM_LBUTTONUP;
    static constexpr qint32 WM_LBUTTONDBLCLK = TrayIconService::WM_LBUTTONDBLCLK;
    static constexpr qint32 WM_RBUTTONDOWN = TrayIconService::WM_RBUTTONDOWN;
    static constexpr qint32 WM_RBUTTONUP = TrayIconService::WM_RBUTTONUP;
    static constexpr qint32 WM_RBUTTONDBLCLK = TrayIconService::WM_RBUTTONDBLCLK;

    explicit clsTaskTrayIcon(TrayIconService& service = TrayIconService::Current());
    // Removes the entry if it is still shown.
    ~clsTaskTrayIcon();

    clsTaskTrayIcon(const clsTaskTrayIcon&) = delete;
    clsTaskTrayIcon& operator=(const clsTaskTrayIcon&) = delete;

    // The window that receives the clicks.
    void sethWnd(QWidget* hwndParent);
    void setIcon(const QIcon& objIcon);
    // True adds the entry (the first time) or refreshes it; false removes it.
    void setVisible(bool blnVisible);
    // Kept in a 64-character field: longer text is cut.
    void setToolTip(const QString& szToolTip);
    // The menu for a tray that shows menus itself; the owner still pops it up
    // with ShowMenu where the tray leaves the right click to it.
    void setMenu(QMenu* oMenu);

    // Brings the window back from the tray: shown, not minimised, in front, focused.
    void ShowForm(QWidget& oFrm);
    // Pops the menu up at the mouse position and returns at once.
    void ShowMenu(QWidget& oFrm, QMenu& oMenu);

    // The mouse message of a click on the icon, delivered to the owner as a
    // mouse move; empty for a real mouse move.
    static std::optional<qint32> CallbackMessage(const QMouseEvent& event);

    const NotifyIconRecord& Record() const { return m_nid; }
    // Result of the last request to the tray, kept for inspection only.
    bool LastResult() const { return m_lastResult; }

private:
    void ApplyNotifyIcon();
    void DeleteNotifyIcon();

    TrayIconService& m_service;
    NotifyIconRecord m_nid;
    bool m_visible = false;
    qint32 m_notifyMessage = TrayIconService::NIM_ADD;
    bool m_lastResult = false;
};
