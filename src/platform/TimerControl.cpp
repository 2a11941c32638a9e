#include "platform/TimerControl.h"

#include <QTimer>

TimerControl::TimerControl(QObject* parent)
    : QObject(parent)
    , m_timer(new QTimer(this))
{
    // Time-outs of a few seconds must not fire early by the coarse timers' 5 %.
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &TimerControl::Timer);
}

TimerControl::~TimerControl() = default;

qint32 TimerControl::Interval() const { return m_interval; }

void TimerControl::setInterval(qint32 milliseconds)
{
    m_interval = milliseconds;
    apply();
}

bool TimerControl::Enabled() const { return m_enabled; }

void TimerControl::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    apply();
}

void TimerControl::apply()
{
    if (m_enabled && m_interval > 0)
        m_timer->start(m_interval);
    else
        m_timer->stop();
}
