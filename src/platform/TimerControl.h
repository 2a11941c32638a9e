#pragma once

#include <QObject>

class QTimer;

// A repeating timer: ticks every Interval ms while enabled. An interval of 0
// never ticks; disabling and enabling again starts the count from zero.
class TimerControl : public QObject {
    Q_OBJECT

public:
    explicit TimerControl(QObject* parent = nullptr);
    ~TimerControl() override;

    qint32 Interval() const;
    // Restarts the count when the timer is enabled.
    void setInterval(qint32 milliseconds);
    bool Enabled() const;
    void setEnabled(bool enabled);

Q_SIGNALS:
    // The interval has passed while enabled.
    void Timer();

private:
    void apply();

    QTimer* m_timer;
    qint32 m_interval = 0;
    bool m_enabled = false;
};
