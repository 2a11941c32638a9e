#pragma once

#include <QPersistentModelIndex>
#include <QStringList>
#include <QTreeView>

#include <array>
#include <functional>
#include <vector>

// A report-style list: each row is a small record of up to four plain cell
// texts, an integer tag and a check state, held in one flat array instead of
// an item object per row, as a large mailbox's announcement brings a few
// hundred thousand rows. A row may have a unique text key, and the list may
// show a check box in front of each row. It has header tags, a sorted mode
// (sort column text, case ignored) and single selection of whole rows. Rows
// are addressed by their place in list order, which sorting changes. Columns
// are 0-based in code; ColumnClick reports the 1-based column number the sort
// rule reasons in.
class FlatListView : public QTreeView {
    Q_OBJECT

public:
    static constexpr int MaxColumns = 4;
    struct Row {
        std::array<QString, MaxColumns> cells;
        qint32 tag = 0;
        bool checked = false;
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
    // kept in order of the sort column's text as a stable sort of the whole
    // list puts them: a row whose text changes stays on the side of equal
    // rows it was on, and a row added goes where AddRow says.
    bool Sorted() const { return m_sorted; }
    void SetSorted(bool sorted);
    int SortKey() const { return m_sortKey; }
    void SetSortKey(int column);
    Qt::SortOrder SortOrder() const { return m_sortOrder; }
    void SetSortOrder(Qt::SortOrder order);

    // True while the list has its sunken 3D border (the default).
    bool Appearance3D() const;

    // Whether the rows show a check box; off at first.
    void SetCheckBoxes(bool checkBoxes);

    // Adds a row with, when given, its key and returns its place. Keys are
    // unique: a row with a key already in use is not added and -1 is returned.
    // In sorted mode the row goes where it would once its cells were filled
    // one by one: ascending by a later column ahead of rows of equal text,
    // otherwise after them.
    int AddRow(Row row, const QString& key = {});
    // Adds rows without keys as AddRow would one after the other, but tells
    // the view once for the lot when the list is not sorted: a check's
    // announcement brings them by the thousand.
    void AddRows(std::vector<Row> rows);
    // The place of the row with this key, or -1.
    int FindRow(const QString& key) const;
    void RemoveRow(int row);
    // Removes every row with this tag, in time linear in the rows however many go.
    void RemoveRowsWithTag(qint32 tag);
    int RowCount() const;
    // The row at this place in list order.
    const Row& RowAt(int row) const;
    QString CellText(int row, int column) const { return RowAt(row).cells[std::size_t(column)]; }
    qint32 RowTag(int row) const { return RowAt(row).tag; }
    bool IsRowChecked(int row) const { return RowAt(row).checked; }
    QString RowKey(int row) const;
    void SetRowTag(int row, qint32 tag);
    // Sets the check box without reporting ItemCheck, as only the user's ticks are reported.
    void SetRowChecked(int row, bool checked);
    // Sets one cell and returns the row's place after it, which a changed
    // text in the sort column may move; a place outside the list is left alone.
    int SetCell(int row, int column, const QString& text);
    // The selected row's place, or -1.
    int SelectedRow() const;

    // What a cell's tooltip says, asked when the mouse rests on it (row by
    // place, column 0-based); empty says nothing. A cell cut short by its
    // column shows its whole text when the source says nothing.
    using ToolTipSource = std::function<QString(int row, int column)>;
    void SetToolTipSource(ToolTipSource source);
    // The tooltip of the cell, as the mouse resting on it would show it.
    QString ToolTipText(int row, int column) const;

Q_SIGNALS:
    // The user clicked the header of column nColumn (1-based).
    void ColumnClick(int nColumn);
    // The user clicked a row anywhere but on its check box.
    void ItemClick(int row);
    // The user ticked or cleared a row's check box; a click on the box is
    // only this, never also a row click, and leaves the selection as it was.
    void ItemCheck(int row);
    // The user double-clicked a row with the left button, not on its box, or
    // pressed Enter with a row selected: what opens a row.
    void ItemDblClick(int row);
    // A mouse button went down over the list; button is the one that was pressed.
    void MouseDown(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    class Model;

    // Sorts the rows if the list is sorted; returns the new place of the row
    // at place follow.
    int ApplySort(int follow = -1);
    // The place of the row whose check box lies under the viewport position, or -1.
    int CheckBoxAt(QPoint position) const;

    Model* m_model;
    QStringList m_columnTags;
    bool m_sorted = false;
    int m_sortKey = 0;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    ToolTipSource m_toolTipSource;
    // The row whose check box the left button went down on, until it comes up.
    QPersistentModelIndex m_pressedCheckBox;
};
