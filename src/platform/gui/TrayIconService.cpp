#include "platform/gui/TrayIconService.h"

#include "platform/InstalledService.h"
#include "platform/gui/QtTrayIconService.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointingDevice>

namespace {

// Callbacks travel as mouse moves from this device, which no real mouse is.
// The application object owns it, so it goes before Qt's device registry does.
const QPointingDevice* CallbackDevice()
{
    static QPointer<QPointingDevice> device;
    if (!device)
        device = new QPointingDevice(QStringLiteral("notification area"), 0x7A11C0DE,
            QInputDevice::DeviceType::Mouse, QPointingDevice::PointerType::Generic,
            QInputDevice::Capability::Position, 1, 3, QString(), QPointingDeviceUniqueId(),
            QCoreApplication::instance());
    return device;
}

} // namespace

QString NotifyIconRecord::TipText() const
{
    const qsizetype end = szTip.indexOf(QChar(0));
    return end < 0 ? szTip : szTip.left(end);
}

void TrayIconService::PostCallback(QWidget* owner, qint32 message)
{
    if (!owner)
        return;
    // Mouse moves without a held button are dropped for widgets that do not
    // track the mouse, so the callback carries the button of its message.
    Qt::MouseButton button = Qt::NoButton;
    if (message >= WM_LBUTTONDOWN && message <= WM_LBUTTONDBLCLK)
        button = Qt::LeftButton;
    else if (message >= WM_RBUTTONDOWN && message <= WM_RBUTTONDBLCLK)
        button = Qt::RightButton;
    const QPointF position(message, 0);
    QCoreApplication::postEvent(owner,
        new QMouseEvent(QEvent::MouseMove, position, position, owner->mapToGlobal(position), Qt::NoButton,
            button, Qt::NoModifier, CallbackDevice()));
}

std::optional<qint32> TrayIconService::CallbackMessage(const QMouseEvent& event)
{
    if (event.type() != QEvent::MouseMove || event.pointingDevice() != CallbackDevice())
        return std::nullopt;
    return qRound(event.position().x());
}

TrayIconService& TrayIconService::Current()
{
    return InstalledService<TrayIconService>::Current<QtTrayIconService>();
}

void TrayIconService::Install(TrayIconService* service)
{
    InstalledService<TrayIconService>::Install(service);
}
