#pragma once

#include <QList>
#include <QtGlobal>

#include <functional>

class IAccountRows;

// When accounts are checked: the minute tick's countdown of every row, the
// manual run of all rows, and the queue that keeps checks from nesting. A
// check waits by running events, so a tick or a command can arrive during
// one; whatever falls due then is queued and checked when the running check
// returns. The check commands are disabled while a run is in progress.
class CheckScheduler {
public:
    // checkOne checks the account of one row tag and returns when it is over;
    // commandsEnabled is told when the check commands may be used.
    CheckScheduler(
        IAccountRows& rows, std::function<void(qint32)> checkOne, std::function<void(bool)> commandsEnabled);

    // Queues one row (a manual check) and runs the queue.
    void CheckRow(qint32 rowTag);
    // Counts every row down; rows that reach 0 are checked and start again at
    // their account's interval.
    void MinuteTick();
    // Queues every row in list order and runs the queue.
    void CheckAllRows();
    // Queues these rows in this order and runs the queue.
    void CheckRows(const QList<qint32>& tags);

    bool IsRunning() const;
    // Drops the rest of the run; the check in progress ends as its caller makes it.
    void Abort();
    bool IsAborting() const;

private:
    struct PendingCheck {
        qint32 tag;
        bool timed; // a timed check resets the row's countdown afterwards
    };

    void enqueue(qint32 tag, bool timed);
    // Runs the queued checks unless a run is already doing so.
    void runQueue();

    IAccountRows& m_rows;
    std::function<void(qint32)> m_checkOne;
    std::function<void(bool)> m_commandsEnabled;
    QList<PendingCheck> m_queue;
    bool m_running = false;
    bool m_aborting = false;
};
