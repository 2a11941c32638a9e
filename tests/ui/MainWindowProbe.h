#pragma once

#include "platform/gui/ListView.h"
#include "ui/frmTandrel.h"

#include <QPushButton>
#include <QString>

// What the main window tests read off the window.
namespace MainWindowProbe {

// The list row of an account, found by its key.
inline QTreeWidgetItem* Row(const frmTandrel& w, qint32 index)
{
    return w.lvPopList->FindRow(QStringLiteral(":") + QString::number(index));
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
