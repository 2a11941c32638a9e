#pragma once

#include "platform/gui/FlatListView.h"
#include "ui/frmTandrel.h"

#include <QPushButton>
#include <QString>

// What the main window tests read off the window.
namespace MainWindowProbe {

// The place of an account's list row, found by its key; -1 without one.
inline int Row(const frmTandrel& w, qint32 index)
{
    return w.lvPopList->FindRow(QStringLiteral(":") + QString::number(index));
}

inline QString Cell(const frmTandrel& w, qint32 index, int column)
{
    return w.lvPopList->CellText(Row(w, index), column);
}

// Ticks or clears an account's box as the user's tick arrives: through the
// list's model, as a click or a key on the box does.
inline void Tick(const frmTandrel& w, qint32 index, bool ticked)
{
    QAbstractItemModel* rows = w.lvPopList->model();
    rows->setData(rows->index(Row(w, index), 0), ticked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
}

// Each row's key and tag as "key=tag", in list order.
inline QString Keys(const frmTandrel& w)
{
    QStringList keys;
    for (int row = 0; row < w.lvPopList->RowCount(); ++row)
        keys << w.lvPopList->RowKey(row) + u'=' + QString::number(w.lvPopList->RowTag(row));
    return keys.join(u' ');
}

// The editor's three buttons as "1" for enabled and "0" for disabled, in index order.
inline QString Buttons(const frmTandrel& w)
{
    QString s;
    for (const QPushButton* b : w.btnAction)
        s += b->isEnabled() ? u'1' : u'0';
    return s;
}

} // namespace MainWindowProbe
