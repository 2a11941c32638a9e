#pragma once

#include "platform/gui/FlatListView.h"

#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionViewItem>

// What the tests read off a list, and where on it a user points, in the
// coordinates of its viewport.
namespace ListViewProbe {

// One column's texts in list order.
inline QStringList Texts(const FlatListView& list, int column)
{
    QStringList texts;
    for (int row = 0; row < list.RowCount(); ++row)
        texts << list.CellText(row, column);
    return texts;
}

inline QPoint CellCentre(const FlatListView& list, int row, int column)
{
    const QRect cell = list.visualRect(list.model()->index(row, column));
    return QPoint(list.header()->sectionViewportPosition(column) + list.header()->sectionSize(column) / 2,
        cell.center().y());
}

// Where the style draws a row's check box, worked out as the list's own style
// does, so that the click lands on the box a user sees.
inline QPoint CheckBoxCentre(const FlatListView& list, int row)
{
    QStyleOptionViewItem option;
    option.initFrom(&list);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = list.CellText(row, 0);
    option.checkState = list.IsRowChecked(row) ? Qt::Checked : Qt::Unchecked;
    const QRect cell = list.visualRect(list.model()->index(row, 0));
    option.rect = QRect(
        list.header()->sectionViewportPosition(0), cell.top(), list.header()->sectionSize(0), cell.height());
    return list.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &list).center();
}

} // namespace ListViewProbe
