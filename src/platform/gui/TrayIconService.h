#pragma once

#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <QtGlobal>

#include <optional>

class QMouseEvent;
class QPointingDevice;

// One notification-area entry as the program describes it to the system.
struct NotifyIconRecord {
    quint32 cbSize = 0;
    QPointer<QWidget> hWnd; // receives the clicks on the icon
    quint32 uID = 0;
    quint32 uFlags = 0; // which of the message, icon and tip fields count
    quint32 uCallbackMessage = 0;
    QIcon hIcon;
    QString szTip = QString(64, QChar(0)); // 64 characters; the tip ends at the first NUL
    // The menu of a tray that draws menus itself (the D-Bus tray); elsewhere
    // the owner pops it up on the right click.
    QPointer<QMenu> hMenu;

    // The tip as the user sees it: the field up to its first NUL.
    QString TipText() const;
};

// The notification area. The program uses the system's tray; tests install a
// recorder. Clicks on the icon reach the record's window as mouse moves whose
// x is the mouse message number.
class TrayIconService {
public:
    enum : qint32 { NIM_ADD = 0, NIM_MODIFY = 1, NIM_DELETE = 2 };
    enum : quint32 { NIF_MESSAGE = 1, NIF_ICON = 2, NIF_TIP = 4 };
    // The mouse message numbers a click callback carries.
    enum : qint32 {
        WM_MOUSEMOVE = 512,
        WM_LBUTTONDOWN = 513,
        WM_LBUTTONUP = 514,
        WM_LBUTTONDBLCLK = 515,
        WM_RBUTTONDOWN = 516,
        WM_RBUTTONUP = 517,
        WM_RBUTTONDBLCLK = 518
    };

    virtual ~TrayIconService() = default;

    // Adds, modifies or deletes the entry; true when the system took the request.
    virtual bool Shell_NotifyIcon(qint32 dwMessage, const NotifyIconRecord& record) = 0;
    // Whether the desktop shows a notification area at all.
    virtual bool IsAvailable() const = 0;

    // Queues the click callback to the owner: a mouse move at x = message.
    static void PostCallback(QWidget* owner, qint32 message);
    // The mouse message of a click callback; empty for every other mouse event,
    // so a real mouse move at that x is not mistaken for a click on the icon.
    static std::optional<qint32> CallbackMessage(const QMouseEvent& event);

    // The installed service, or the system's tray when none is installed.
    static TrayIconService& Current();
    static void Install(TrayIconService* service);
};
