#include "ui/ListView.h"

#include <QHeaderView>
#include <QMouseEvent>

namespace {

enum Role {
    KeyRole = Qt::UserRole + 1,
    TagRole,
    // The check state last seen, so only real changes are reported.
    LastCheckRole,
};
constexpr int ColumnTagRole = Qt::UserRole + 1;

// Rows compare by the sort column's text, ignoring case, as report lists do.
class ListViewItem final : public QTreeWidgetItem {
public:
    ListViewItem()
        : QTreeWidgetItem(UserType)
    {
    }

    bool operator<(const QTreeWidgetItem& other) const override
    {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        return QString::compare(text(column), other.text(column), Qt::CaseInsensitive) < 0;
    }
};

}  // namespace

ListView::ListView(QWidget* parent)
    : QTreeWidget(parent)
{
    setColumnCount(0);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    header()->setStretchLastSection(false);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setSortIndicatorShown(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    connect(header(), &QHeaderView::sectionClicked, this, [this](int section) { Q_EMIT ColumnClick(section + 1); });
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* row, int) { Q_EMIT ItemClick(row); });
    connect(this, &QTreeWidget::itemChanged, this, &ListView::OnItemChanged);
}

void ListView::AddColumn(const QString& header, int widthPx)
{
    const int column = columnCount();
    setColumnCount(column + 1);
    headerItem()->setText(column, header);
    setColumnWidth(column, widthPx);
}

QString ListView::ColumnTag(int column) const
{
    return headerItem()->data(column, ColumnTagRole).toString();
}

void ListView::SetColumnTag(int column, const QString& tag)
{
    headerItem()->setData(column, ColumnTagRole, tag);
}

void ListView::SetSorted(bool sorted)
{
    m_sorted = sorted;
    ApplySort();
}

void ListView::SetSortKey(int column)
{
    m_sortKey = column;
    ApplySort();
}

void ListView::SetSortOrder(Qt::SortOrder order)
{
    m_sortOrder = order;
    ApplySort();
}

bool ListView::Appearance3D() const
{
    return frameShape() != QFrame::NoFrame;
}

QTreeWidgetItem* ListView::AddRow(const QString& text, const QString& key)
{
    if (!key.isEmpty() && FindRow(key))
        return nullptr;
    auto* row = new ListViewItem;
    row->setText(0, text);
    if (!key.isEmpty())
        row->setData(0, KeyRole, key);
    if (m_checkBoxes) {
        row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
        row->setData(0, LastCheckRole, int(Qt::Unchecked));
        row->setCheckState(0, Qt::Unchecked);
    }
    addTopLevelItem(row);
    ApplySort();
    return row;
}

QTreeWidgetItem* ListView::FindRow(const QString& key) const
{
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = topLevelItem(i);
        if (RowKey(row) == key)
            return row;
    }
    return nullptr;
}

QList<QTreeWidgetItem*> ListView::Rows() const
{
    QList<QTreeWidgetItem*> rows;
    rows.reserve(topLevelItemCount());
    for (int i = 0; i < topLevelItemCount(); ++i)
        rows.append(topLevelItem(i));
    return rows;
}

void ListView::RemoveRow(QTreeWidgetItem* row)
{
    delete row;
}

QTreeWidgetItem* ListView::SelectedRow() const
{
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? nullptr : selected.front();
}

QString ListView::RowKey(const QTreeWidgetItem* row)
{
    return row ? row->data(0, KeyRole).toString() : QString();
}

qint32 ListView::RowTag(const QTreeWidgetItem* row)
{
    return row ? row->data(0, TagRole).toInt() : 0;
}

void ListView::SetRowTag(QTreeWidgetItem* row, qint32 tag)
{
    if (row)
        row->setData(0, TagRole, tag);
}

bool ListView::IsRowChecked(const QTreeWidgetItem* row)
{
    return row && row->checkState(0) == Qt::Checked;
}

void ListView::SetRowChecked(QTreeWidgetItem* row, bool checked)
{
    if (!row)
        return;
    const Qt::CheckState state = checked ? Qt::Checked : Qt::Unchecked;
    m_settingCheck = true;
    row->setData(0, LastCheckRole, int(state));
    row->setCheckState(0, state);
    m_settingCheck = false;
}

void ListView::SetCell(QTreeWidgetItem* row, int column, const QString& text)
{
    if (row)
        row->setText(column, text);
}

void ListView::mousePressEvent(QMouseEvent* event)
{
    QTreeWidget::mousePressEvent(event);
    Q_EMIT MouseDown(event->button(), event->buttons(), event->modifiers());
}

void ListView::ApplySort()
{
    if (m_sorted && m_sortKey >= 0 && m_sortKey < columnCount())
        sortItems(m_sortKey, m_sortOrder);
}

void ListView::OnItemChanged(QTreeWidgetItem* row, int column)
{
    // A row's cells are filled after it is added; it moves to its place as they change.
    if (m_sorted && column == m_sortKey)
        ApplySort();
    if (column != 0 || !(row->flags() & Qt::ItemIsUserCheckable))
        return;
    const int state = int(row->checkState(0));
    if (row->data(0, LastCheckRole).toInt() == state)
        return;
    row->setData(0, LastCheckRole, state);
    if (!m_settingCheck)
        Q_EMIT ItemCheck(row);
}
