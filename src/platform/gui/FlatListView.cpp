#include "platform/gui/FlatListView.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>
#include <numeric>

namespace {

// Rows compare by the sort column's text, ignoring case, as report lists do.
bool SortsBefore(const QString& left, const QString& right, Qt::SortOrder order)
{
    const int compared = QString::compare(left, right, Qt::CaseInsensitive);
    return order == Qt::AscendingOrder ? compared < 0 : compared > 0;
}

// Puts the items in a new order, or keeps only some of them in theirs:
// newPlace holds each item's new place, -1 for one that goes. The items move
// where they are, as a second copy of a large list is what it cannot afford.
template <class Item> void MoveInPlace(std::vector<Item>& items, std::vector<int> newPlace, std::size_t kept)
{
    if (kept < items.size()) {
        // Those kept keep their order, so each moves only towards the front.
        for (std::size_t i = 0; i < items.size(); ++i)
            if (newPlace[i] >= 0 && std::size_t(newPlace[i]) != i)
                items[std::size_t(newPlace[i])] = std::move(items[i]);
        items.resize(kept);
        return;
    }
    for (std::size_t i = 0; i < items.size(); ++i)
        while (std::size_t(newPlace[i]) != i) {
            const auto to = std::size_t(newPlace[i]);
            std::swap(items[i], items[to]);
            std::swap(newPlace[i], newPlace[to]);
        }
}

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

    // Whether the cell's text needs more room than its column gives it.
    bool IsCutShort(QStyleOptionViewItem option, const QModelIndex& index, const QWidget* view) const
    {
        initStyleOption(&option, index);
        const QStyle* style = option.widget ? option.widget->style() : view->style();
        const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &option, view);
        // The style keeps a margin on each side of the text inside that rectangle.
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        return option.fontMetrics.horizontalAdvance(option.text) > text.width() - 2 * margin;
    }
};

} // namespace

// A large mailbox's announcement holds a few hundred thousand rows: the check
// state rides in the word the tag leaves, and keys live beside the rows.
static_assert(sizeof(FlatListView::Row) == sizeof(std::array<QString, FlatListView::MaxColumns>) + 8);

// The rows in list order. A row costs its record in the array (the texts are
// shared with whoever handed them in) and the view's own record of it; keys
// cost nothing until a row has one.
class FlatListView::Model final : public QAbstractTableModel {
public:
    explicit Model(FlatListView* view)
        : QAbstractTableModel(view)
        , m_view(view)
    {
    }

    std::vector<Row> rows;
    // Each row's key, in step with rows once any row has had one.
    std::vector<QString> keys;
    QStringList headers;
    bool checkBoxes = false;

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : int(rows.size()); }
    int columnCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : int(headers.size());
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        const Row& row = rows[std::size_t(index.row())];
        if (role == Qt::CheckStateRole)
            return HasCheckBox(index) ? QVariant(row.checked ? Qt::Checked : Qt::Unchecked) : QVariant();
        if (role != Qt::DisplayRole && role != Qt::EditRole)
            return {};
        const QString& text = row.cells[std::size_t(index.column())];
        return text.isNull() ? QVariant() : QVariant(text);
    }

    // Only the user's ticks come here, from the view's click or key on the box.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override
    {
        if (role != Qt::CheckStateRole || !HasCheckBox(index))
            return false;
        const bool checked = value.toInt() == Qt::Checked;
        if (!SetChecked(index.row(), checked))
            return true;
        Q_EMIT m_view->ItemCheck(index.row());
        return true;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0
            && section < headers.size())
            return headers[section];
        return {};
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        const Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
        return HasCheckBox(index) ? flags | Qt::ItemIsUserCheckable : flags;
    }

    bool HasCheckBox(const QModelIndex& index) const
    {
        return checkBoxes && index.isValid() && index.column() == 0;
    }

    // Returns whether the state changed.
    bool SetChecked(int row, bool checked)
    {
        if (rows[std::size_t(row)].checked == checked)
            return false;
        rows[std::size_t(row)].checked = checked;
        const QModelIndex box = index(row, 0);
        Q_EMIT dataChanged(box, box, { Qt::CheckStateRole });
        return true;
    }

    void SetText(int row, int column, const QString& text)
    {
        rows[std::size_t(row)].cells[std::size_t(column)] = text;
        const QModelIndex cell = index(row, column);
        Q_EMIT dataChanged(cell, cell, { Qt::DisplayRole, Qt::EditRole });
    }

    void AddColumn(const QString& header)
    {
        const int column = int(headers.size());
        beginInsertColumns({}, column, column);
        headers.append(header);
        endInsertColumns();
    }

    void Insert(std::size_t place, Row row, QString key)
    {
        beginInsertRows({}, int(place), int(place));
        if (!key.isEmpty() || !keys.empty()) {
            keys.resize(rows.size());
            keys.insert(keys.begin() + std::ptrdiff_t(place), std::move(key));
        }
        rows.insert(rows.begin() + std::ptrdiff_t(place), std::move(row));
        endInsertRows();
    }

    void Append(std::vector<Row> added)
    {
        if (added.empty())
            return;
        beginInsertRows({}, int(rows.size()), int(rows.size() + added.size() - 1));
        if (!keys.empty())
            keys.resize(rows.size() + added.size());
        // Into an empty list the block goes as it is, so that a large
        // announcement is never held twice over.
        if (rows.empty())
            rows = std::move(added);
        else
            rows.insert(
                rows.end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
        endInsertRows();
    }

    void Remove(std::size_t place)
    {
        beginRemoveRows({}, int(place), int(place));
        if (!keys.empty())
            keys.erase(keys.begin() + std::ptrdiff_t(place));
        rows.erase(rows.begin() + std::ptrdiff_t(place));
        endRemoveRows();
    }

    // Puts the rows in a new order, or keeps only some of them in theirs, as
    // MoveInPlace does. The selection and current row follow their rows.
    void Rearrange(std::vector<int> newPlace, std::size_t kept)
    {
        Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        const QModelIndexList before = persistentIndexList();
        QModelIndexList after;
        after.reserve(before.size());
        for (const QModelIndex& index : before) {
            const int place = newPlace[std::size_t(index.row())];
            after.append(place < 0 ? QModelIndex() : this->index(place, index.column()));
        }
        changePersistentIndexList(before, after);
        if (!keys.empty())
            MoveInPlace(keys, newPlace, kept);
        MoveInPlace(rows, std::move(newPlace), kept);
        Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

private:
    FlatListView* m_view;
};

FlatListView::FlatListView(QWidget* parent)
    : QTreeView(parent)
    , m_model(new Model(this))
{
    setModel(m_model);
    setItemDelegate(new CheckBoxDelegate(this));
    // Flat rows selected whole and one at a time, no editing, and a header
    // that neither sorts by itself nor lets its columns move, since sorting
    // follows the program's own rule.
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

    connect(header(), &QHeaderView::sectionClicked, this,
        [this](int section) { Q_EMIT ColumnClick(section + 1); });
    connect(this, &QAbstractItemView::clicked, this,
        [this](const QModelIndex& index) { Q_EMIT ItemClick(index.row()); });
}

FlatListView::~FlatListView() = default;

void FlatListView::SetToolTipSource(ToolTipSource source) { m_toolTipSource = std::move(source); }

QString FlatListView::ToolTipText(int row, int column) const
{
    if (row < 0 || row >= RowCount() || column < 0 || column >= columnCount())
        return {};
    if (m_toolTipSource)
        if (QString said = m_toolTipSource(row, column); !said.isEmpty())
            return said;
    const QModelIndex index = m_model->index(row, column);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    const auto* delegate = static_cast<const CheckBoxDelegate*>(itemDelegate());
    return delegate->IsCutShort(option, index, this) ? CellText(row, column) : QString();
}

bool FlatListView::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QTreeView::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    const QString text = index.isValid() ? ToolTipText(index.row(), index.column()) : QString();
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    // Cells hold what servers sent: escaped, so that the tip never reads it as markup.
    QToolTip::showText(help->globalPos(),
        QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() + QStringLiteral("</p>"),
        viewport(), visualRect(index));
    return true;
}

void FlatListView::AddColumn(const QString& header, int widthPx)
{
    if (columnCount() >= MaxColumns)
        return;
    m_model->AddColumn(header);
    m_columnTags.append(QString());
    setColumnWidth(columnCount() - 1, widthPx);
}

int FlatListView::columnCount() const { return int(m_model->headers.size()); }

QString FlatListView::HeaderText(int column) const { return m_model->headers.value(column); }

QString FlatListView::ColumnTag(int column) const { return m_columnTags.value(column); }

void FlatListView::SetColumnTag(int column, const QString& tag)
{
    if (column >= 0 && column < m_columnTags.size())
        m_columnTags[column] = tag;
}

void FlatListView::SetSorted(bool sorted)
{
    m_sorted = sorted;
    ApplySort();
}

void FlatListView::SetSortKey(int column)
{
    m_sortKey = column;
    ApplySort();
}

void FlatListView::SetSortOrder(Qt::SortOrder order)
{
    m_sortOrder = order;
    ApplySort();
}

bool FlatListView::Appearance3D() const { return frameShape() != QFrame::NoFrame; }

void FlatListView::SetCheckBoxes(bool checkBoxes)
{
    m_model->checkBoxes = checkBoxes;
    if (RowCount() > 0)
        Q_EMIT m_model->dataChanged(m_model->index(0, 0), m_model->index(RowCount() - 1, 0));
}

int FlatListView::AddRow(Row row, const QString& key)
{
    if (!key.isEmpty() && FindRow(key) >= 0)
        return -1;
    std::vector<Row>& rows = m_model->rows;
    std::size_t place = rows.size();
    if (m_sorted && m_sortKey >= 0 && m_sortKey < columnCount()) {
        // Where the list has always put a row among those of equal text: it
        // came in with its first cell and took its place again as each later
        // one was filled, each time by a stable sort, so ascending by a later
        // column it goes ahead of rows with the same text (an empty cell sorted
        // first), and otherwise after them.
        const auto key = std::size_t(m_sortKey);
        const QString& text = row.cells[key];
        const auto before = [order = m_sortOrder](const QString& left, const QString& right) {
            return SortsBefore(left, right, order);
        };
        const auto texts = [key](const Row& r) -> const QString& { return r.cells[key]; };
        const bool ahead = key != 0 && m_sortOrder == Qt::AscendingOrder && !text.isEmpty();
        const auto at = ahead ? std::ranges::lower_bound(rows, text, before, texts)
                              : std::ranges::upper_bound(rows, text, before, texts);
        place = std::size_t(at - rows.begin());
    }
    m_model->Insert(place, std::move(row), key);
    return int(place);
}

void FlatListView::AddRows(std::vector<Row> rows)
{
    if (!m_sorted) {
        m_model->Append(std::move(rows));
        return;
    }
    for (Row& row : rows)
        AddRow(std::move(row));
}

int FlatListView::FindRow(const QString& key) const
{
    const std::vector<QString>& keys = m_model->keys;
    const auto at = std::find(keys.begin(), keys.end(), key);
    return at == keys.end() ? -1 : int(at - keys.begin());
}

void FlatListView::RemoveRow(int row)
{
    if (row >= 0 && row < RowCount())
        m_model->Remove(std::size_t(row));
}

void FlatListView::RemoveRowsWithTag(qint32 tag)
{
    const std::vector<Row>& rows = m_model->rows;
    std::vector<int> newPlace(rows.size());
    int kept = 0;
    for (std::size_t i = 0; i < rows.size(); ++i)
        newPlace[i] = rows[i].tag == tag ? -1 : kept++;
    if (std::size_t(kept) == rows.size())
        return;
    m_model->Rearrange(std::move(newPlace), std::size_t(kept));
}

int FlatListView::RowCount() const { return int(m_model->rows.size()); }

const FlatListView::Row& FlatListView::RowAt(int row) const { return m_model->rows.at(std::size_t(row)); }

QString FlatListView::RowKey(int row) const
{
    return m_model->keys.empty() ? QString() : m_model->keys.at(std::size_t(row));
}

void FlatListView::SetRowTag(int row, qint32 tag)
{
    if (row >= 0 && row < RowCount())
        m_model->rows[std::size_t(row)].tag = tag;
}

void FlatListView::SetRowChecked(int row, bool checked)
{
    if (row >= 0 && row < RowCount())
        m_model->SetChecked(row, checked);
}

int FlatListView::SetCell(int row, int column, const QString& text)
{
    if (row < 0 || row >= RowCount() || column < 0 || column >= columnCount())
        return row;
    const QString& cell = CellText(row, column);
    if (cell == text && cell.isNull() == text.isNull())
        return row;
    m_model->SetText(row, column, text);
    return column == m_sortKey ? ApplySort(row) : row;
}

int FlatListView::SelectedRow() const
{
    const QModelIndexList selected = selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.front().row();
}

void FlatListView::mousePressEvent(QMouseEvent* event)
{
    m_pressedCheckBox = QPersistentModelIndex();
    const int box = event->button() == Qt::LeftButton ? CheckBoxAt(event->position().toPoint()) : -1;
    if (box >= 0) {
        // Kept from the list's own handling, which would select the row and
        // report a row click when the button comes up.
        m_pressedCheckBox = m_model->index(box, 0);
        event->accept();
    } else {
        QTreeView::mousePressEvent(event);
    }
    Q_EMIT MouseDown(event->button(), event->buttons(), event->modifiers());
}

void FlatListView::mouseMoveEvent(QMouseEvent* event)
{
    // A drag that began on a check box selects nothing on its way.
    if (m_pressedCheckBox.isValid()) {
        event->accept();
        return;
    }
    QTreeView::mouseMoveEvent(event);
}

void FlatListView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_pressedCheckBox.isValid()) {
        QTreeView::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    const QPersistentModelIndex pressed = m_pressedCheckBox;
    m_pressedCheckBox = QPersistentModelIndex();
    // A click is a press and a release on the same box.
    if (CheckBoxAt(event->position().toPoint()) == pressed.row())
        m_model->setData(
            pressed, IsRowChecked(pressed.row()) ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

void FlatListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second click of a quick pair on a box ticks it once more, as any click does.
    if (event->button() == Qt::LeftButton && CheckBoxAt(event->position().toPoint()) >= 0) {
        mousePressEvent(event);
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
    if (const QModelIndex index = indexAt(event->position().toPoint());
        event->button() == Qt::LeftButton && index.isValid())
        Q_EMIT ItemDblClick(index.row());
}

void FlatListView::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const int row = SelectedRow();
    // The view's own handling follows, so that a window that also takes Enter still sees it.
    if (enter && row >= 0)
        Q_EMIT ItemDblClick(row);
    QTreeView::keyPressEvent(event);
}

int FlatListView::CheckBoxAt(QPoint position) const
{
    const QModelIndex index = indexAt(position);
    if (!m_model->HasCheckBox(index))
        return -1;
    const auto* delegate = dynamic_cast<const CheckBoxDelegate*>(itemDelegateForIndex(index));
    if (!delegate)
        return -1;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return delegate->CheckBoxRect(option, index, this).contains(position) ? index.row() : -1;
}

int FlatListView::ApplySort(int follow)
{
    if (!m_sorted || m_sortKey < 0 || m_sortKey >= columnCount() || m_model->rows.empty())
        return follow;
    const std::vector<Row>& rows = m_model->rows;
    const auto key = std::size_t(m_sortKey);
    std::vector<int> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&rows, key, sortOrder = m_sortOrder](int left, int right) {
        return SortsBefore(
            rows[std::size_t(left)].cells[key], rows[std::size_t(right)].cells[key], sortOrder);
    });
    std::vector<int> newPlace(rows.size());
    for (std::size_t place = 0; place < order.size(); ++place)
        newPlace[std::size_t(order[place])] = int(place);
    const int followed = follow >= 0 ? newPlace[std::size_t(follow)] : follow;
    m_model->Rearrange(std::move(newPlace), rows.size());
    return followed;
}
