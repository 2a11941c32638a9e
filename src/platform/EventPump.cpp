#include "platform/EventPump.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>

namespace EventPump {

void ProcessPendingEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void WaitForEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void WakeUp()
{
    if (auto* dispatcher = QAbstractEventDispatcher::instance(
            QCoreApplication::instance() ? QCoreApplication::instance()->thread() : nullptr))
        dispatcher->wakeUp();
}

} // namespace EventPump
