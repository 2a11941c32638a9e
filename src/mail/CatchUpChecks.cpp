#include "mail/CatchUpChecks.h"

#include "platform/TimerControl.h"

#include <QObject>
#include <utility>

CatchUpChecks::CatchUpChecks(
    TimerControl& timer, std::function<void(quint64)> checkSince, std::function<bool()> mayCheck)
    : m_timer(timer)
    , m_checkSince(std::move(checkSince))
    , m_mayCheck(std::move(mayCheck))
{
    m_timer.setEnabled(false);
    QObject::connect(&m_timer, &TimerControl::Timer, &m_timer, [this] { onTimer(); });
}

void CatchUpChecks::Resumed()
{
    if (m_phase == Phase::Floor)
        arm(Phase::Idle, 0);
    request();
}

void CatchUpChecks::NetworkBack() { request(); }

void CatchUpChecks::Drop()
{
    m_pending = false;
    arm(Phase::Idle, 0);
}

void CatchUpChecks::request()
{
    // Checks that start from now on serve for this request.
    if (!m_pending) {
        m_pending = true;
        ++m_generation;
    }
    if (m_phase == Phase::Idle)
        arm(Phase::Settling, kSettleMs);
}

void CatchUpChecks::onTimer()
{
    // Offline, the request waits for the network's return, which asks again.
    if (!m_pending || !m_mayCheck()) {
        arm(Phase::Idle, 0);
        return;
    }
    m_pending = false;
    arm(Phase::Floor, kFloorMs);
    // Runs the checks, and events meanwhile: the floor is already running.
    m_checkSince(m_generation);
}

void CatchUpChecks::arm(Phase phase, qint32 milliseconds)
{
    m_phase = phase;
    m_timer.setEnabled(false);
    if (phase == Phase::Idle)
        return;
    m_timer.setInterval(milliseconds);
    m_timer.setEnabled(true);
}
