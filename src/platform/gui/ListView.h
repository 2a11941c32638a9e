#pragma once

#include <QPersistentModelIndex>
#include <QTreeWidget>

// A report-style list: rows with a main text and sub-item cells, an optional
// check box in front of each row, a unique text key and an integer tag per row,
// header tags, and a sorted mode with a sort column and order. Cell texts are
// always plain text. Columns are 0-based in code; ColumnClick reports the
// 1-based column number the sort rule reasons in.
class ListView : public QTreeWidget {
    Q_OBJECT

public:
    explicit ListView(QWidget* parent = nullptr);

    // Appends a column with its header text and width in pixels.
    void AddColumn(const QString& header, int widthPx);
    QString ColumnTag(int column) const;
    void SetColumnTag(int column, const QString& tag);

    // Sorted mode: off at first, sort key 0, ascending. While on, the rows are
    // kept in order of the sort column's text, also as rows are added and their cells change.
    bool Sorted() const { return m_sorted; }
    void SetSorted(bool sorted);
    int SortKey() const { return m_sortKey; }
    void SetSortKey(int column);
    Qt::SortOrder SortOrder() const { return m_sortOrder; }
    void SetSortOrder(Qt::SortOrder order);

    // True while the list has its sunken 3D border (the default).
    bool Appearance3D() const;

    // Whether new rows get a check box.
    void SetCheckBoxes(bool checkBoxes) { m_checkBoxes = checkBoxes; }

    // Adds a row with its main text and, when given, its key (keys are unique:
    // a row with a key already in use is not added and nullptr is returned).
    QTreeWidgetItem* AddRow(const QString& text, const QString& key = {});
    QTreeWidgetItem* FindRow(const QString& key) const;
    // Rows in their current list order.
    QList<QTreeWidgetItem*> Rows() const;
    void RemoveRow(QTreeWidgetItem* row);
    // Removes every row with this tag, in time linear in the rows however many go.
    void RemoveRowsWithTag(qint32 tag);
    // The selected row, or nullptr.
    QTreeWidgetItem* SelectedRow() const;

    static QString RowKey(const QTreeWidgetItem* row);
    static qint32 RowTag(const QTreeWidgetItem* row);
    static void SetRowTag(QTreeWidgetItem* row, qint32 tag);
    static bool IsRowChecked(const QTreeWidgetItem* row);
    // Sets the check box without reporting ItemCheck, as only the user's ticks are reported.
    void SetRowChecked(QTreeWidgetItem* row, bool checked);
    // Sets one cell; column 0 is the main text.
    static void SetCell(QTreeWidgetItem* row, int column, const QString& text);

Q_SIGNALS:
    // The user clicked the header of column nColumn (1-based).
    void ColumnClick(int nColumn);
    // The user clicked a row anywhere but on its check box.
    void ItemClick(QTreeWidgetItem* row);
    // The user ticked or cleared a row's check box; a click on the box is
    // only this, never also a row click, and leaves the selection as it was.
    void ItemCheck(QTreeWidgetItem* row);
    // A mouse button went down over the list; button is the one that was pressed.
    void MouseDown(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    class Item;

    void ApplySort();
    void OnItemChanged(QTreeWidgetItem* row, int column);
    // Tells the model that a cell's text changed, as the item's own store would.
    void CellTextChanged(QTreeWidgetItem* row, int column);
    // The row whose check box lies under the viewport position, or nullptr.
    QTreeWidgetItem* CheckBoxAt(QPoint position) const;

    bool m_sorted = false;
    int m_sortKey = 0;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    bool m_checkBoxes = false;
    bool m_settingCheck = false;
    // The row whose check box the left button went down on, until it comes up.
    QPersistentModelIndex m_pressedCheckBox;
};
