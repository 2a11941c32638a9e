#include "mail/CheckScheduler.h"

#include "app/AccountTable.h"
#include "app/NumericText.h"
#include "mail/IAccountRows.h"

#include <limits>
#include <utility>

CheckScheduler::CheckScheduler(
    IAccountRows& rows, std::function<void(qint32)> checkOne, std::function<void(bool)> commandsEnabled)
    : m_rows(rows)
    , m_checkOne(std::move(checkOne))
    , m_commandsEnabled(std::move(commandsEnabled))
{
}

void CheckScheduler::CheckRow(qint32 rowTag)
{
    enqueue(rowTag, false);
    runQueue();
}

void CheckScheduler::MinuteTick()
{
    const QList<qint32> tags = m_rows.RowTags();
    for (const qint32 tag : tags) {
        const qint32 current = NumericText::ToInt32(m_rows.NextCheckText(tag));
        if (current == std::numeric_limits<qint32>::min())
            continue;
        const qint32 next = current - 1;
        m_rows.SetNextCheckText(tag, QString::number(next));
        if (next == 0)
            enqueue(tag, true);
    }
    runQueue();
}

void CheckScheduler::CheckAllRows() { CheckRows(m_rows.RowTags()); }

void CheckScheduler::CheckRows(const QList<qint32>& tags)
{
    for (const qint32 tag : tags)
        enqueue(tag, false);
    runQueue();
}

bool CheckScheduler::IsRunning() const { return m_running; }

void CheckScheduler::Abort()
{
    if (!m_running)
        return;
    m_aborting = true;
    m_queue.clear();
}

bool CheckScheduler::IsAborting() const { return m_aborting; }

void CheckScheduler::enqueue(qint32 tag, bool timed)
{
    for (PendingCheck& pending : m_queue) {
        if (pending.tag == tag) {
            pending.timed = pending.timed || timed;
            return;
        }
    }
    m_queue.append({ tag, timed });
}

void CheckScheduler::runQueue()
{
    // Checks never nest: a run already going takes whatever was queued meanwhile.
    if (m_running)
        return;
    m_running = true;
    m_commandsEnabled(false);
    while (!m_queue.isEmpty() && !m_aborting) {
        const PendingCheck pending = m_queue.takeFirst();
        m_checkOne(pending.tag);
        if (pending.timed && !m_aborting && m_rows.HasRow(pending.tag) && IsAccountIndex(pending.tag))
            m_rows.SetNextCheckText(pending.tag, QString::number(Accounts[pending.tag].CheckInterval));
    }
    m_queue.clear();
    m_aborting = false;
    m_running = false;
    m_commandsEnabled(true);
}
