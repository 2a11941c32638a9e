#pragma once

#include <QtGlobal>

#include <functional>

class TimerControl;

// The check of every ticked account that the machine's wake or the network's
// return asks for. It comes a moment after the event, so that a wake, a
// network that comes up with it and a push told at the same time make one
// check, not three; and two of them are a floor apart, so that a network that
// flaps every second does not have every account checked every second. What
// is asked for during the floor is checked at its end.
class CatchUpChecks {
public:
    // The moment after an event, and the floor between two catch-ups.
    static constexpr qint32 kSettleMs = 2000;
    static constexpr qint32 kFloorMs = 30000;

    // `timer` runs both waits and belongs to the caller, so that tests step
    // it. `checkSince` checks every ticked account whose last check started
    // before the given generation; `mayCheck` says whether checks may start.
    CatchUpChecks(
        TimerControl& timer, std::function<void(quint64)> checkSince, std::function<bool()> mayCheck);

    // The machine woke: the floor is over, since the clock that measures it
    // stood still during the sleep.
    void Resumed();
    // The network came back.
    void NetworkBack();
    // Nothing asked for so far is still wanted (the machine goes to sleep).
    void Drop();

    // Stamps a check as it starts: a check stamped with the generation of a
    // pending catch-up started after its event and serves for it.
    quint64 Generation() const { return m_generation; }

private:
    enum class Phase { Idle, Settling, Floor };

    void request();
    void onTimer();
    void arm(Phase phase, qint32 milliseconds);

    TimerControl& m_timer;
    std::function<void(quint64)> m_checkSince;
    std::function<bool()> m_mayCheck;
    Phase m_phase = Phase::Idle;
    bool m_pending = false;
    // Starts above every account's stamp of 0: an account never checked is behind.
    quint64 m_generation = 1;
};
