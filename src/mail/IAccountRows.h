#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// The account list as checks and the scheduler see it. Rows are addressed by
// their tag (the account index), never held, so a row the user deletes during
// a check simply stops existing: writes to it do nothing and reads say so.
class IAccountRows {
public:
    virtual ~IAccountRows() = default;

    // Tags of the rows in their current list order.
    virtual QList<qint32> RowTags() const = 0;
    virtual bool HasRow(qint32 tag) const = 0;
    // The row's check box; false when the row is gone.
    virtual bool IsRowChecked(qint32 tag) const = 0;
    // NEXT CHECK cell text; empty when the row is gone.
    virtual QString NextCheckText(qint32 tag) const = 0;
    virtual void SetNextCheckText(qint32 tag, const QString& text) = 0;
    virtual void SetStatusText(qint32 tag, const QString& text) = 0;
    // Enables or disables the two "check all" commands (menu bar and tray menu).
    virtual void SetCheckCommandsEnabled(bool enabled) = 0;
};
