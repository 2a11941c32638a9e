#include "platform/gui/ListView.h"

#include "platform/gui/ReportListLook.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QStyledItemDelegate>

#include <array>

namespace {

enum Role {
    KeyRole = Qt::UserRole + 1,
    TagRole,
    // The check state last seen, so only real changes are reported.
    LastCheckRole,
};
constexpr int ColumnTagRole = Qt::UserRole + 1;

// The standard delegate, which also tells where it draws a row's check box:
// the same place where its own mouse handling would toggle it.
class CheckBoxDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QRect CheckBoxRect(QStyleOptionViewItem option, const QModelIndex& index, const QWidget* view) const
    {
        initStyleOption(&option, index);
        if (!(option.features & QStyleOptionViewItem::HasCheckIndicator))
            return {};
        const QStyle* style = option.widget ? option.widget->style() : view->style();
        return style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
    }
};

} // namespace

// Rows compare by the sort column's text, ignoring case, as report lists do.
// A row keeps its cell texts and its tag itself: the item's own store gives
// each column a list of values and each role a record in it, which a list of
// a few hundred thousand rows (a large mailbox announced) pays some 300 bytes
// a row for.
class ListView::Item final : public QTreeWidgetItem {
public:
    Item()
        : QTreeWidgetItem(UserType)
    {
    }

    QVariant data(int column, int role) const override
    {
        if (role == TagRole && column == 0)
            return m_tag;
        if (isCellText(column, role))
            return m_cells[std::size_t(column)].isNull() ? QVariant()
                                                         : QVariant(m_cells[std::size_t(column)]);
        return QTreeWidgetItem::data(column, role);
    }

    void setData(int column, int role, const QVariant& value) override
    {
        if (role == TagRole && column == 0) {
            m_tag = value.toInt();
        } else if (isCellText(column, role)) {
            QString text = value.toString();
            if (text == m_cells[std::size_t(column)]
                && text.isNull() == m_cells[std::size_t(column)].isNull())
                return;
            m_cells[std::size_t(column)] = std::move(text);
            if (auto* view = static_cast<ListView*>(treeWidget()))
                view->CellTextChanged(this, column);
        } else {
            QTreeWidgetItem::setData(column, role, value);
        }
    }

    bool operator<(const QTreeWidgetItem& other) const override
    {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        return QString::compare(text(column), other.text(column), Qt::CaseInsensitive) < 0;
    }

private:
    static bool isCellText(int column, int role)
    {
        return (role == Qt::DisplayRole || role == Qt::EditRole) && column >= 0 && column < kCells;
    }

    // The widest list, the arrival window's, has four columns.
    static constexpr int kCells = 4;
    std::array<QString, kCells> m_cells;
    int m_tag = 0;
};

ListView::ListView(QWidget* parent)
    : QTreeWidget(parent)
{
    setColumnCount(0);
    ReportListLook::Apply(*this);
    setItemDelegate(new CheckBoxDelegate(this));

    connect(header(), &QHeaderView::sectionClicked, this,
        [this](int section) { Q_EMIT ColumnClick(section + 1); });
    connect(
        this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* row, int) { Q_EMIT ItemClick(row); });
    connect(this, &QTreeWidget::itemChanged, this, &ListView::OnItemChanged);
}

void ListView::AddColumn(const QString& header, int widthPx)
{
    const int column = columnCount();
    setColumnCount(column + 1);
    headerItem()->setText(column, header);
    setColumnWidth(column, widthPx);
}

QString ListView::ColumnTag(int column) const { return headerItem()->data(column, ColumnTagRole).toString(); }

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

bool ListView::Appearance3D() const { return frameShape() != QFrame::NoFrame; }

QTreeWidgetItem* ListView::AddRow(const QString& text, const QString& key)
{
    if (!key.isEmpty() && FindRow(key))
        return nullptr;
    auto* row = new Item;
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

void ListView::RemoveRow(QTreeWidgetItem* row) { delete row; }

void ListView::RemoveRowsWithTag(qint32 tag)
{
    QTreeWidgetItem* root = invisibleRootItem();
    int tagged = 0;
    for (int i = 0; i < root->childCount(); ++i)
        tagged += RowTag(root->child(i)) == tag;
    if (tagged == 0)
        return;
    if (tagged == root->childCount()) {
        clear();
        return;
    }
    // A row taken out alone moves every row behind it, and looks itself up
    // first: all rows come out at once, and those kept go back in order.
    QTreeWidgetItem* current = currentItem();
    const QList<QTreeWidgetItem*> selected = selectedItems();
    QList<QTreeWidgetItem*> kept;
    for (QTreeWidgetItem* row : root->takeChildren()) {
        if (RowTag(row) == tag)
            delete row;
        else
            kept.append(row);
    }
    addTopLevelItems(kept);
    for (QTreeWidgetItem* row : selected)
        if (kept.contains(row))
            row->setSelected(true);
    if (kept.contains(current))
        setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
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

qint32 ListView::RowTag(const QTreeWidgetItem* row) { return row ? row->data(0, TagRole).toInt() : 0; }

void ListView::SetRowTag(QTreeWidgetItem* row, qint32 tag)
{
    if (row)
        row->setData(0, TagRole, tag);
}

bool ListView::IsRowChecked(const QTreeWidgetItem* row) { return row && row->checkState(0) == Qt::Checked; }

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
    m_pressedCheckBox = QPersistentModelIndex();
    QTreeWidgetItem* box
        = event->button() == Qt::LeftButton ? CheckBoxAt(event->position().toPoint()) : nullptr;
    if (box) {
        // Kept from the list's own handling, which would select the row and
        // report a row click when the button comes up.
        m_pressedCheckBox = indexFromItem(box);
        event->accept();
    } else {
        QTreeWidget::mousePressEvent(event);
    }
    Q_EMIT MouseDown(event->button(), event->buttons(), event->modifiers());
}

void ListView::mouseMoveEvent(QMouseEvent* event)
{
    // A drag that began on a check box selects nothing on its way.
    if (m_pressedCheckBox.isValid()) {
        event->accept();
        return;
    }
    QTreeWidget::mouseMoveEvent(event);
}

void ListView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_pressedCheckBox.isValid()) {
        QTreeWidget::mouseReleaseEvent(event);
        return;
    }
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QTreeWidgetItem* pressed = itemFromIndex(m_pressedCheckBox);
    m_pressedCheckBox = QPersistentModelIndex();
    event->accept();
    // A click is a press and a release on the same box.
    if (pressed && CheckBoxAt(event->position().toPoint()) == pressed)
        pressed->setCheckState(0, IsRowChecked(pressed) ? Qt::Unchecked : Qt::Checked);
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second click of a quick pair on a box ticks it once more, as any click does.
    if (event->button() == Qt::LeftButton && CheckBoxAt(event->position().toPoint())) {
        mousePressEvent(event);
        return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}

QTreeWidgetItem* ListView::CheckBoxAt(QPoint position) const
{
    const QModelIndex index = indexAt(position);
    if (!index.isValid() || index.column() != 0)
        return nullptr;
    QTreeWidgetItem* row = itemFromIndex(index);
    if (!row || !(row->flags() & Qt::ItemIsUserCheckable) || !(row->flags() & Qt::ItemIsEnabled))
        return nullptr;
    const auto* delegate = dynamic_cast<const CheckBoxDelegate*>(itemDelegateForIndex(index));
    if (!delegate)
        return nullptr;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return delegate->CheckBoxRect(option, index, this).contains(position) ? row : nullptr;
}

void ListView::ApplySort()
{
    if (m_sorted && m_sortKey >= 0 && m_sortKey < columnCount())
        sortItems(m_sortKey, m_sortOrder);
}

void ListView::CellTextChanged(QTreeWidgetItem* row, int column)
{
    const QModelIndex cell = indexFromItem(row, column);
    Q_EMIT model()->dataChanged(cell, cell, { Qt::DisplayRole, Qt::EditRole });
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
