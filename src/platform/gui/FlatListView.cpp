#include "platform/gui/FlatListView.h"

#include "platform/gui/ReportListLook.h"

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

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : int(rows.size()); }
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

    // Puts the rows in a new order, or keeps only some of them in theirs:
    // newPlace holds each row's new place, -1 for a row that goes. The rows
    // move where they are, as a second copy of a large list is what it cannot
    // afford. The selection and current row follow their rows.
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
        if (kept < rows.size()) {
            // Those kept keep their order, so each moves only towards the front.
            for (std::size_t i = 0; i < rows.size(); ++i)
                if (newPlace[i] >= 0 && std::size_t(newPlace[i]) != i)
                    rows[std::size_t(newPlace[i])] = std::move(rows[i]);
            rows.resize(kept);
        } else {
            for (std::size_t i = 0; i < rows.size(); ++i)
                while (std::size_t(newPlace[i]) != i) {
                    const auto to = std::size_t(newPlace[i]);
                    std::swap(rows[i], rows[to]);
                    std::swap(newPlace[i], newPlace[to]);
                }
        }
        Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }
};

FlatListView::FlatListView(QWidget* parent)
    : QTreeView(parent)
    , m_model(new Model(this))
{
    setModel(m_model);
    ReportListLook::Apply(*this);

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
        // Where the list has always put a row among those of equal text: it
        // comes in with its first cell and takes its place again as each
        // later one is filled, so ascending by a later column it goes ahead
        // of rows with the same text, and otherwise after them.
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
    m_model->Rearrange(std::move(newPlace), std::size_t(kept));
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
        return SortsBefore(
            rows[std::size_t(left)].cells[key], rows[std::size_t(right)].cells[key], sortOrder);
    });
    std::vector<int> newPlace(rows.size());
    for (std::size_t place = 0; place < order.size(); ++place)
        newPlace[std::size_t(order[place])] = int(place);
    m_model->Rearrange(std::move(newPlace), rows.size());
}
