#include "platform/gui/FlatListView.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QMouseEvent>

#include <algorithm>
#include <numeric>

namespace {

// Rows compare by the sort column's text, ignoring case, as report lists do.
bool SortsBefore(const QString& left, const QString& right, Qt::SortOrder order)
{
    const int compared = QString::compare(left, right, Qt::CaseInsensitive);
    return order == Qt::AscendingOrder ? compared < 0 : compared > 0;
}

} // namespace

// The rows in list order. A row costs its record in the array (the texts are
// shared with whoever handed them in) and the view's own record of it.
class FlatListView::Model final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    std::vector<Row> rows;
    QStringList headers;

    int rowCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : int(rows.size());
    }
    int columnCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : int(headers.size());
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if ((role != Qt::DisplayRole && role != Qt::EditRole) || !index.isValid())
            return {};
        const QString& text = rows[std::size_t(index.row())].cells[std::size_t(index.column())];
        return text.isNull() ? QVariant() : QVariant(text);
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
        return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren
                               : Qt::NoItemFlags;
    }

    void AddColumn(const QString& header)
    {
        const int column = int(headers.size());
        beginInsertColumns({}, column, column);
        headers.append(header);
        endInsertColumns();
    }

    void Insert(std::size_t place, Row row)
    {
        beginInsertRows({}, int(place), int(place));
        rows.insert(rows.begin() + std::ptrdiff_t(place), std::move(row));
        endInsertRows();
    }

    // Puts the rows in a new order, or keeps only some of them: newPlace
    // holds each old row's place, -1 for a row that goes. The selection and
    // current row follow their rows.
    void Rearrange(const std::vector<int>& newPlace, std::size_t kept)
    {
        Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<Row> rearranged(kept);
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (newPlace[i] >= 0)
                rearranged[std::size_t(newPlace[i])] = std::move(rows[i]);
        rows = std::move(rearranged);
        const QModelIndexList before = persistentIndexList();
        QModelIndexList after;
        after.reserve(before.size());
        for (const QModelIndex& index : before) {
            const int place = newPlace[std::size_t(index.row())];
            after.append(place < 0 ? QModelIndex() : this->index(place, index.column()));
        }
        changePersistentIndexList(before, after);
        Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }
};

FlatListView::FlatListView(QWidget* parent)
    : QTreeView(parent)
    , m_model(new Model(this))
{
    setModel(m_model);
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
}

FlatListView::~FlatListView() = default;

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

void FlatListView::AddRow(Row row)
{
    std::vector<Row>& rows = m_model->rows;
    std::size_t place = rows.size();
    if (m_sorted && m_sortKey >= 0 && m_sortKey < columnCount()) {
        // After every row it does not sort before, as a stable sort of the
        // whole list with it at the end would put it.
        const auto key = std::size_t(m_sortKey);
        place = std::size_t(std::upper_bound(rows.begin(), rows.end(), row,
                                [key, order = m_sortOrder](const Row& added, const Row& other) {
                                    return SortsBefore(added.cells[key], other.cells[key], order);
                                })
            - rows.begin());
    }
    m_model->Insert(place, std::move(row));
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
    m_model->Rearrange(newPlace, std::size_t(kept));
}

int FlatListView::RowCount() const { return int(m_model->rows.size()); }

const FlatListView::Row& FlatListView::RowAt(int row) const { return m_model->rows.at(std::size_t(row)); }

int FlatListView::SelectedRow() const
{
    const QModelIndexList selected = selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.front().row();
}

void FlatListView::mousePressEvent(QMouseEvent* event)
{
    QTreeView::mousePressEvent(event);
    Q_EMIT MouseDown(event->button(), event->buttons(), event->modifiers());
}

void FlatListView::ApplySort()
{
    if (!m_sorted || m_sortKey < 0 || m_sortKey >= columnCount() || m_model->rows.empty())
        return;
    const std::vector<Row>& rows = m_model->rows;
    const auto key = std::size_t(m_sortKey);
    std::vector<int> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&rows, key, sortOrder = m_sortOrder](int left, int right) {
        return SortsBefore(rows[std::size_t(left)].cells[key], rows[std::size_t(right)].cells[key], sortOrder);
    });
    std::vector<int> newPlace(rows.size());
    for (std::size_t place = 0; place < order.size(); ++place)
        newPlace[std::size_t(order[place])] = int(place);
    m_model->Rearrange(newPlace, rows.size());
}
