#pragma once

#include "mail/CheckBudget.h"

#include <QList>
#include <QString>
#include <QtGlobal>

// What a check reads from the main window: the account list as checks and
// the scheduler see it, and what the arrival window holds. Rows are
// addressed by their tag (the account index), never held, so a row the user
// deletes during a check simply stops existing: writes to it do nothing and
// reads say so.
class IAccountRows {
public:
    virtual ~IAccountRows() = default;

    // Tags of the rows in their current list order.
    virtual QList<qint32> RowTags() const = 0;
    virtual bool HasRow(qint32 tag) const = 0;
    // The row's check box; false when the row is gone.
    virtual bool IsRowChecked(qint32 tag) const = 0;
    // NEXT CHECK cell text; empty when the row is gone. The scheduler counts it down.
    virtual QString NextCheckText(qint32 tag) const = 0;
    virtual void SetNextCheckText(qint32 tag, const QString& text) = 0;
    // What the arrival window's rows cost now, the account's own and the
    // others'; nothing while it is not loaded (asking does not load it).
    virtual ArrivalListCost ArrivalShown(qint32 tag) const
    {
        Q_UNUSED(tag);
        return {};
    }
};
