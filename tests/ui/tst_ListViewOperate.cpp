#include "FixedScreenMetrics.h"
#include "platform/gui/ListView.h"
#include "ui/helpers/Fun_ListViewOperate.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>

namespace {

QStringList MainTexts(const ListView& list)
{
    QStringList texts;
    for (const QTreeWidgetItem* row : list.Rows())
        texts << row->text(0);
    return texts;
}

// Accounts as the main window lists them: title, NEXT CHECK.
void FillAccounts(ListView& list,
    const QList<QPair<QString, QString>>& rows = { { "Home", "3" }, { "work", "10" }, { "Bank", "9" } })
{
    list.AddColumn(QStringLiteral("USER-TITLE"), 133);
    list.AddColumn(QStringLiteral("NEXT CHECK"), 96);
    for (const auto& [title, next] : rows)
        ListView::SetCell(list.AddRow(title), 1, next);
}

QPoint CheckBoxCentre(const ListView* list, const QTreeWidgetItem* row)
{
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = row->text(0);
    option.checkState = row->checkState(0);
    const QRect item = list->visualItemRect(row);
    option.rect = QRect(list->header()->sectionViewportPosition(0), item.top(),
        list->header()->sectionSize(0), item.height());
    return list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list).center();
}

QPoint CellCentre(const ListView* list, const QTreeWidgetItem* row, int column)
{
    const QRect item = list->visualItemRect(row);
    const int x = list->header()->sectionViewportPosition(column) + list->header()->sectionSize(column) / 2;
    return QPoint(x, item.center().y());
}

} // namespace

class tst_ListViewOperate : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sortListView_data()
    {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<QString>("tag");

        QTest::newRow("unsorted list keeps the order of adding")
            << QList<int> {} << QStringList { "Home", "work", "Bank" } << QString();
        // The cells are text: "10" comes before "3" and "9".
        QTest::newRow("column 2 sorts ascending by text")
            << QList<int> { 2 } << QStringList { "work", "Home", "Bank" } << "asc";
        QTest::newRow("column 2 twice sorts descending")
            << QList<int> { 2, 2 } << QStringList { "Bank", "Home", "work" } << "desc";
        QTest::newRow("column 2 three times is ascending again")
            << QList<int> { 2, 2, 2 } << QStringList { "work", "Home", "Bank" } << "asc";
        QTest::newRow("then column 1 sorts ascending ignoring case")
            << QList<int> { 2, 2, 2, 1 } << QStringList { "Bank", "Home", "work" } << "asc";
        QTest::newRow("first click on column 1 of a fresh list sorts descending")
            << QList<int> { 1 } << QStringList { "work", "Home", "Bank" } << "desc";
        QTest::newRow("column 1 twice on a fresh list is ascending")
            << QList<int> { 1, 1 } << QStringList { "Bank", "Home", "work" } << "asc";
        QTest::newRow("back to column 2 after column 1 starts ascending")
            << QList<int> { 1, 2 } << QStringList { "work", "Home", "Bank" } << "asc";
        QTest::newRow("column 2 keeps its old tag but starts ascending on return")
            << QList<int> { 2, 2, 1, 2 } << QStringList { "work", "Home", "Bank" } << "asc";
    }

    void sortListView()
    {
        QFETCH(QList<int>, clicks);
        QFETCH(QStringList, order);
        QFETCH(QString, tag);
        ListView list;
        FillAccounts(list);
        for (int column : clicks)
            Fun_ListViewOperate::SortListView(list, column);
        QCOMPARE(MainTexts(list), order);
        if (!clicks.isEmpty())
            QCOMPARE(list.ColumnTag(clicks.last() - 1), tag);
    }

    void headerClickReportsTheColumnNumber()
    {
        ListView list;
        FillAccounts(list);
        list.resize(400, 200);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QSignalSpy clicks(&list, &ListView::ColumnClick);
        QHeaderView* header = list.header();
        const QPoint secondHeader(header->sectionViewportPosition(1) + 10, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, secondHeader);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(clicks.at(0).at(0).toInt(), 2);
    }

    void rowsAddedLaterTakeTheirSortedPlace()
    {
        ListView list;
        FillAccounts(list);
        Fun_ListViewOperate::SortListView(list, 2);
        ListView::SetCell(list.AddRow(QStringLiteral("Club")), 1, QStringLiteral("5"));
        QCOMPARE(MainTexts(list), (QStringList { "work", "Home", "Club", "Bank" }));
    }

    void cellChangeKeepsTheSortedOrder_data()
    {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text"); // the row's new text in the sort column, else NEXT CHECK
        QTest::addColumn<QStringList>("order");

        // Home 3, work 5, Bank 5, Club 7 sort as Home, Bank, work, Club (the
        // first click sorts by title first). NEXT CHECK counts down, and a row
        // that comes to equal others stays on the side of them it was on.
        QTest::newRow("ascending: a count rising to equal later rows stays ahead of them")
            << QList<int> { 2 } << "Home"
            << "5" << QStringList { "Home", "Bank", "work", "Club" };
        QTest::newRow("ascending: a count falling to equal earlier rows stays behind them")
            << QList<int> { 2 } << "Club"
            << "5" << QStringList { "Home", "Bank", "work", "Club" };
        QTest::newRow("ascending: a count falling past rows goes behind the one it equals")
            << QList<int> { 2 } << "Club"
            << "3" << QStringList { "Home", "Club", "Bank", "work" };
        QTest::newRow("descending: a count rising to equal earlier rows stays behind them")
            << QList<int> { 2, 2 } << "Home"
            << "5" << QStringList { "Club", "Bank", "work", "Home" };
        QTest::newRow("descending: a count falling to equal later rows stays ahead of them")
            << QList<int> { 2, 2 } << "Club"
            << "5" << QStringList { "Club", "Bank", "work", "Home" };
        QTest::newRow("a count of two digits sorts as text, ahead of 3")
            << QList<int> { 2 } << "work"
            << "10" << QStringList { "work", "Home", "Bank", "Club" };
        QTest::newRow("unsorted list keeps a changed row where it is")
            << QList<int> {} << "Club"
            << "1" << QStringList { "Home", "work", "Bank", "Club" };
        QTest::newRow(
            "title sort ignores case: a row renamed to another's title in capitals stays ahead of it")
            << QList<int> { 1, 1 } << "Bank"
            << "HOME" << QStringList { "Club", "HOME", "Home", "work" };
    }

    void cellChangeKeepsTheSortedOrder()
    {
        QFETCH(QList<int>, clicks);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(QStringList, order);
        ListView list;
        FillAccounts(list, { { "Home", "3" }, { "work", "5" }, { "Bank", "5" }, { "Club", "7" } });
        for (int column : clicks)
            Fun_ListViewOperate::SortListView(list, column);
        const int column = clicks.isEmpty() ? 1 : clicks.last() - 1;
        ListView::SetCell(list.Rows().at(MainTexts(list).indexOf(title)), column, text);
        QCOMPARE(MainTexts(list), order);
    }

    void checkBoxGestures_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("ticked"); // each row's box after it, in list order
        QTest::addColumn<int>("checks"); // ItemCheck reports
        QTest::addColumn<int>("clicks"); // ItemClick reports
        QTest::addColumn<int>("selected"); // row 2 was selected before

        QTest::newRow("a click on a box ticks it, reports only the tick and keeps the selection")
            << "click box" << 0 << "100" << 1 << 0 << 2;
        QTest::newRow("a quick second click on a box ticks it once more")
            << "double click box" << 0 << "000" << 2 << 0 << 2;
        QTest::newRow("a drag that began on a box selects nothing and ticks nothing")
            << "drag from box" << 0 << "000" << 0 << 0 << 2;
        QTest::newRow("a click beside the box is a row click") << "click cell" << 1 << "000" << 0 << 1 << 1;
        QTest::newRow("space ticks the current row's box") << "space" << 1 << "010" << 1 << 0 << 1;
    }

    void checkBoxGestures()
    {
        QFETCH(QString, gesture);
        QFETCH(int, row);
        QFETCH(QString, ticked);
        QFETCH(int, checks);
        QFETCH(int, clicks);
        QFETCH(int, selected);
        ListView list;
        list.SetCheckBoxes(true);
        FillAccounts(list);
        list.resize(400, 200);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        const QList<QTreeWidgetItem*> rows = list.Rows();
        list.setCurrentItem(rows[2]);
        QSignalSpy checkSpy(&list, &ListView::ItemCheck);
        QSignalSpy clickSpy(&list, &ListView::ItemClick);

        QWidget* viewport = list.viewport();
        const QPoint box = CheckBoxCentre(&list, rows[row]);
        if (gesture == u"click box") {
            QTest::mouseClick(viewport, Qt::LeftButton, {}, box);
        } else if (gesture == u"double click box") {
            QTest::mouseClick(viewport, Qt::LeftButton, {}, box);
            QTest::mouseDClick(viewport, Qt::LeftButton, {}, box);
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, box);
        } else if (gesture == u"drag from box") {
            QTest::mousePress(viewport, Qt::LeftButton, {}, box);
            QTest::mouseMove(viewport, CellCentre(&list, rows[1], 1));
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, CellCentre(&list, rows[1], 1));
        } else if (gesture == u"click cell") {
            QTest::mouseClick(viewport, Qt::LeftButton, {}, CellCentre(&list, rows[row], 1));
        } else {
            list.setCurrentItem(rows[row], 0);
            QTest::keyClick(&list, Qt::Key_Space);
        }

        QString state;
        for (const QTreeWidgetItem* r : rows)
            state += ListView::IsRowChecked(r) ? u'1' : u'0';
        QCOMPARE(state, ticked);
        QCOMPARE(checkSpy.count(), checks);
        QCOMPARE(clickSpy.count(), clicks);
        QCOMPARE(rows.indexOf(list.SelectedRow()), selected);
    }

    void fitLastColumn_data()
    {
        QTest::addColumn<double>("dpi");
        QTest::addColumn<int>("listWidth");
        QTest::addColumn<QList<int>>("widths");
        QTest::addColumn<bool>("border3D");
        QTest::addColumn<int>("lastWidth");

        // At 360 DPI a pixel is 4 twips: 6000 twips wide, 1500 and 2000 twips columns.
        QTest::newRow("3D list 6000 twips, columns 1500 and 2000 leave 2416 twips")
            << 360.0 << 1500 << QList<int> { 375, 500, 10 } << true << 2416 / 4;
        QTest::newRow("flat list has no border to leave")
            << 360.0 << 1500 << QList<int> { 375, 500, 10 } << false << 2500 / 4;
        // 6000 - 1500 - 1995 - 84 = 2421 twips = 161.4 px.
        QTest::newRow("arrival list at 96 DPI") << 96.0 << 400 << QList<int> { 100, 133, 10 } << true << 161;
        QTest::newRow("arrival window's own columns")
            << 96.0 << 415 << QList<int> { 80, 133, 96, 10 } << true << 100;
        QTest::newRow("no room left keeps the column")
            << 96.0 << 100 << QList<int> { 80, 133, 40 } << true << 40;
        QTest::newRow("single column fills the list") << 96.0 << 200 << QList<int> { 10 } << true << 194;
    }

    void fitLastColumn()
    {
        QFETCH(double, dpi);
        QFETCH(int, listWidth);
        QFETCH(QList<int>, widths);
        QFETCH(bool, border3D);
        QFETCH(int, lastWidth);
        const FixedScreenMetrics metrics(QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1080), dpi);
        ListView list;
        for (int width : widths)
            list.AddColumn(QStringLiteral("column"), width);
        if (!border3D)
            list.setFrameShape(QFrame::NoFrame);
        list.resize(listWidth, 150);
        Fun_ListViewOperate::FitLastColumn(list);
        QCOMPARE(list.columnWidth(int(widths.size()) - 1), lastWidth);
    }

    void fitLastColumnWithoutColumnsDoesNothing()
    {
        ListView list;
        Fun_ListViewOperate::FitLastColumn(list);
        QCOMPARE(list.columnCount(), 0);
    }

    void keysAreUniqueAndFindTheirRow()
    {
        ListView list;
        list.AddColumn(QStringLiteral("USER-TITLE"), 133);
        QTreeWidgetItem* first = list.AddRow(QStringLiteral("Home"), QStringLiteral(":0"));
        ListView::SetRowTag(first, 0);
        QTreeWidgetItem* twelfth = list.AddRow(QStringLiteral("Club"), QStringLiteral(":12"));
        ListView::SetRowTag(twelfth, 12);
        QCOMPARE(list.AddRow(QStringLiteral("again"), QStringLiteral(":0")), nullptr);
        QCOMPARE(list.FindRow(QStringLiteral(":12")), twelfth);
        QCOMPARE(ListView::RowTag(list.FindRow(QStringLiteral(":0"))), 0);
        QCOMPARE(list.FindRow(QStringLiteral(":1")), nullptr);
        list.RemoveRow(first);
        QCOMPARE(list.FindRow(QStringLiteral(":0")), nullptr);
        QCOMPARE(list.topLevelItemCount(), 1);
    }

    void onlyTheUsersTicksAreReported()
    {
        ListView list;
        list.SetCheckBoxes(true);
        list.AddColumn(QStringLiteral("USER-TITLE"), 133);
        QTreeWidgetItem* row = list.AddRow(QStringLiteral("Home"), QStringLiteral(":0"));
        QSignalSpy checks(&list, &ListView::ItemCheck);

        list.SetRowChecked(row, true);
        QVERIFY(ListView::IsRowChecked(row));
        QCOMPARE(checks.count(), 0);

        row->setCheckState(0, Qt::Unchecked); // what a click on the box does
        QCOMPARE(checks.count(), 1);
        QVERIFY(!ListView::IsRowChecked(row));

        row->setText(0, QStringLiteral("Home 2")); // other changes are not ticks
        QCOMPARE(checks.count(), 1);
    }

    void cellsShowMarkupLiterally()
    {
        ListView list;
        list.AddColumn(QStringLiteral("SUBJECT"), 133);
        QTreeWidgetItem* row = list.AddRow(QStringLiteral("<b>x</b>"));
        QCOMPARE(row->text(0), QStringLiteral("<b>x</b>"));
        QCOMPARE(row->data(0, Qt::DisplayRole).toString(), QStringLiteral("<b>x</b>"));
    }
};

QTEST_MAIN(tst_ListViewOperate)
#include "tst_ListViewOperate.moc"
