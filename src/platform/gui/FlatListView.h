#pragma once

#include <QStringList>
#include <QTreeView>

#include <array>
#include <vector>

// A report-style list for many rows: each row is a small record of up to four
// plain cell texts and an integer tag, held in one flat array instead of an
// item object per row. It has header tags and a sorted mode like ListView
// (sort column text, case ignored), single selection of whole rows, and no
// check boxes or keys. Columns are 0-based in code; ColumnClick reports the
// 1-based column number the sort rule reasons in.
class FlatListView : public QTreeView {
    Q_OBJECT

public:
    static constexpr int MaxColumns = 4;
    struct Row {
        std::array<QString, MaxColumns> cells;
        qint32 tag = 0;
    };

    explicit FlatListView(QWidget* parent = nullptr);
    ~FlatListView() override;

    // Appends a column with its header text and width in pixels (at most MaxColumns).
    void AddColumn(const QString& header, int widthPx);
    int columnCount() const;
    QString HeaderText(int column) const;
    QString ColumnTag(int column) const;
    void SetColumnTag(int column, const QString& tag);

    // Sorted mode: off at first, sort key 0, ascending. While on, rows are
    // kept in order of the sort column's text; a row added goes after those
    // whose text equals its own.
    bool Sorted() const { return m_sorted; }
    void SetSorted(bool sorted);
    int SortKey() const { return m_sortKey; }
    void SetSortKey(int column);
    Qt::SortOrder SortOrder() const { return m_sortOrder; }
    void SetSortOrder(Qt::SortOrder order);

    // True while the list has its sunken 3D border (the default).
    bool Appearance3D() const;

    void AddRow(Row row);
    // Removes every row with this tag, in time linear in the rows however many go.
    void RemoveRowsWithTag(qint32 tag);
    int RowCount() const;
    // The row at this place in list order.
    const Row& RowAt(int row) const;
    QString CellText(int row, int column) const { return RowAt(row).cells[std::size_t(column)]; }
    qint32 RowTag(int row) const { return RowAt(row).tag; }
    // The selected row's place, or -1.
    int SelectedRow() const;

Q_SIGNALS:
    // The user clicked the header of column nColumn (1-based).
    void ColumnClick(int nColumn);
    // A mouse button went down over the list; button is the one that was pressed.
    void MouseDown(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    class Model;

    void ApplySort();

    Model* m_model;
    QStringList m_columnTags;
    bool m_sorted = false;
    int m_sortKey = 0;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
