#pragma once

#include "platform/BusyService.h"
#include "platform/DoNotDisturbWatch.h"

#include <QAbstractNativeEventFilter>

// Busy as the desktop shows it: its do-not-disturb, or an active window that
// fills the screen. The window is known on X11 only; elsewhere nothing is
// ever full-screen.
class DesktopBusyService final : public BusyService, private QAbstractNativeEventFilter {
public:
    DesktopBusyService();
    ~DesktopBusyService() override;

    bool IsBusy() override;

private:
    bool ActiveWindowFullScreen();
    // Another window becoming active is told on the root window; a window
    // that only leaves full-screen is not, and waits for the next look.
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    DoNotDisturbWatch m_doNotDisturb;
    struct X11;
    X11* m_x11 = nullptr;
};
