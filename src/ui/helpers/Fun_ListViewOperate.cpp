#include "ui/helpers/Fun_ListViewOperate.h"

#include "platform/gui/FlatListView.h"
#include "ui/helpers/Fun_SystemMetrics.h"

#include <cmath>

namespace Fun_ListViewOperate {

namespace {
    const QString Ascending = QStringLiteral("asc");
    const QString Descending = QStringLiteral("desc");
    constexpr double BorderTwips3D = 84.0;
} // namespace

void SortListView(FlatListView& listView, int nColumn)
{
    if (nColumn < 1 || nColumn > listView.columnCount())
        return;
    if (!listView.Sorted())
        listView.SetSorted(true);
    const int column = nColumn - 1;
    if (nColumn == listView.SortKey() + 1) {
        const QString tag = listView.ColumnTag(column) == Descending ? Ascending : Descending;
        listView.SetColumnTag(column, tag);
        listView.SetSortOrder(tag == Ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    } else {
        listView.SetSortKey(column);
        listView.SetColumnTag(column, Ascending);
        listView.SetSortOrder(Qt::AscendingOrder);
    }
}

void FitLastColumn(FlatListView& listView)
{
    const int n = listView.columnCount();
    if (n < 1)
        return;
    const double tpp = Fun_SystemMetrics::TwipsPerPixelX();
    double sum = 0.0;
    for (int column = 0; column < n - 1; ++column)
        sum = std::nearbyint(sum + listView.columnWidth(column) * tpp);
    const double border = listView.Appearance3D() ? BorderTwips3D : 0.0;
    const double width = listView.width() * tpp - sum - border;
    if (width < 0.0)
        return;
    listView.setColumnWidth(n - 1, qRound(width / tpp));
}

} // namespace Fun_ListViewOperate
