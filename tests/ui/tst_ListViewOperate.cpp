#include "FixedScreenMetrics.h"
#include "ListViewProbe.h"
#include "ui/helpers/Fun_ListViewOperate.h"

#include <QAccessible>
#include <QSignalSpy>
#include <QTest>

using ListViewProbe::Texts;

namespace {

// Three accounts as the main window lists them: title, NEXT CHECK.
void FillAccounts(FlatListView& list)
{
    list.AddColumn(QStringLiteral("USER-TITLE"), 133);
    list.AddColumn(QStringLiteral("NEXT CHECK"), 96);
    const QList<QPair<QString, QString>> rows { { "Home", "3" }, { "work", "10" }, { "Bank", "9" } };
    for (const auto& [title, next] : rows)
        list.AddRow({ { title, next } });
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
        FlatListView list;
        FillAccounts(list);
        for (int column : clicks)
            Fun_ListViewOperate::SortListView(list, column);
        QCOMPARE(Texts(list, 0), order);
        if (!clicks.isEmpty())
            QCOMPARE(list.ColumnTag(clicks.last() - 1), tag);
    }

    void headerClickReportsTheColumnNumber()
    {
        FlatListView list;
        FillAccounts(list);
        list.resize(400, 200);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QSignalSpy clicks(&list, &FlatListView::ColumnClick);
        QHeaderView* header = list.header();
        const QPoint secondHeader(header->sectionViewportPosition(1) + 10, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, secondHeader);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(clicks.at(0).at(0).toInt(), 2);
    }

    void changedAndAddedRowsTakeTheirSortedPlace_data()
    {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QString>("title"); // a row not in the list is added
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<QString>("text"); // the row's new text in the sort column, else NEXT CHECK

        // Sorted by NEXT CHECK: work 10, Home 3, Bank 9. The count goes down
        // every minute, and a row that comes to equal others stays on the
        // side of them it was on, as a stable sort of the whole list puts it.
        QTest::newRow("a row added later takes its sorted place")
            << QList<int> { 2 } << "Club" << QStringList { "work", "Home", "Club", "Bank" } << "5";
        QTest::newRow("ascending: a count rising to equal a later row stays ahead of it")
            << QList<int> { 2 } << "Home" << QStringList { "work", "Home", "Bank" } << "9";
        QTest::newRow("ascending: a count falling to equal an earlier row stays behind it")
            << QList<int> { 2 } << "Bank" << QStringList { "work", "Home", "Bank" } << "3";
        QTest::newRow("descending: a count rising to equal an earlier row stays behind it")
            << QList<int> { 2, 2 } << "Home" << QStringList { "Bank", "Home", "work" } << "9";
        QTest::newRow("a count falling past a row of two digits goes ahead of it, as text")
            << QList<int> { 2 } << "Bank" << QStringList { "Bank", "work", "Home" } << "1";
        QTest::newRow("unsorted list keeps a changed row where it is")
            << QList<int> {} << "Home" << QStringList { "Home", "work", "Bank" } << "99";
        QTest::newRow(
            "title sort ignores case: a row renamed to its follower's title in capitals stays ahead")
            << QList<int> { 1, 1 } << "Bank" << QStringList { "HOME", "Home", "work" } << "HOME";
    }

    void changedAndAddedRowsTakeTheirSortedPlace()
    {
        QFETCH(QList<int>, clicks);
        QFETCH(QString, title);
        QFETCH(QStringList, order);
        QFETCH(QString, text);
        FlatListView list;
        FillAccounts(list);
        for (int column : clicks)
            Fun_ListViewOperate::SortListView(list, column);
        const int row = Texts(list, 0).indexOf(title);
        list.SetCell(
            row >= 0 ? row : list.AddRow({ { title } }), clicks.isEmpty() ? 1 : clicks.last() - 1, text);
        QCOMPARE(Texts(list, 0), order);
    }

    void checkBoxGestures_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<int>("checks"); // ItemCheck reports, of row 0, or of row 1 for a key
        QTest::addColumn<int>("clicks"); // ItemClick reports, of row 0
        QTest::addColumn<QString>("ticked"); // each row's box after it, in list order
        QTest::addColumn<int>("selected"); // row 2 was selected before

        QTest::newRow("a click on a box ticks it, reports only the tick and keeps the selection")
            << "click" << 1 << 0 << "100" << 2;
        // Once the row was clicked, the list would take the second click for a double click on it.
        QTest::newRow("a quick second click on the box of a row clicked before ticks it once more")
            << "double click" << 2 << 1 << "000" << 0;
        QTest::newRow("a drag that began on a box selects nothing and ticks nothing")
            << "drag" << 0 << 0 << "000" << 2;
        QTest::newRow("space ticks the current row's box") << "space" << 1 << 0 << "010" << 1;
    }

    // A row click beside the box is the x11 test's; this also reads the list
    // as a screen reader does, a table whose cells carry the texts and ticks.
    void checkBoxGestures()
    {
        QFETCH(QString, gesture);
        QFETCH(int, checks);
        QFETCH(int, clicks);
        QFETCH(QString, ticked);
        QFETCH(int, selected);
        FlatListView list;
        list.SetCheckBoxes(true);
        FillAccounts(list);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.setCurrentIndex(list.model()->index(2, 0));
        QSignalSpy checkSpy(&list, &FlatListView::ItemCheck);
        QSignalSpy clickSpy(&list, &FlatListView::ItemClick);

        QWidget* viewport = list.viewport();
        const QPoint box = ListViewProbe::CheckBoxCentre(list, 0);
        const QPoint end = gesture == u"drag" ? ListViewProbe::CellCentre(list, 1, 1) : box;
        if (gesture == u"double click")
            QTest::mouseClick(viewport, Qt::LeftButton, {}, ListViewProbe::CellCentre(list, 0, 0));
        if (gesture == u"space") {
            list.setCurrentIndex(list.model()->index(1, 0));
            QTest::keyClick(&list, Qt::Key_Space);
        } else {
            QTest::mousePress(viewport, Qt::LeftButton, {}, box);
            QTest::mouseMove(viewport, end);
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, end);
        }
        if (gesture == u"double click") {
            QTest::mouseDClick(viewport, Qt::LeftButton, {}, box);
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, box);
        }

        QAccessibleTableInterface* table = QAccessible::queryAccessibleInterface(&list)->tableInterface();
        QString state;
        for (int row = 0; row < list.RowCount(); ++row) {
            state += list.IsRowChecked(row) ? u'1' : u'0';
            QCOMPARE(table->cellAt(row, 0)->state().checked, list.IsRowChecked(row));
            QVERIFY(!table->cellAt(row, 1)->state().checkable);
        }
        QCOMPARE(state, ticked);
        QCOMPARE(table->cellAt(1, 1)->text(QAccessible::Name), QStringLiteral("10"));
        QCOMPARE(checkSpy.count(), checks);
        if (checks > 0)
            QCOMPARE(checkSpy.at(0).at(0).toInt(), gesture == u"space" ? 1 : 0);
        QCOMPARE(clickSpy.count(), clicks);
        if (clicks > 0)
            QCOMPARE(clickSpy.at(0).at(0).toInt(), 0);
        QCOMPARE(list.SelectedRow(), selected);
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
        FlatListView list;
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
        FlatListView list;
        Fun_ListViewOperate::FitLastColumn(list);
        QCOMPARE(list.columnCount(), 0);
    }

    void keysAreUniqueAndFindTheirRow()
    {
        FlatListView list;
        list.AddColumn(QStringLiteral("USER-TITLE"), 133);
        list.AddRow({ { "Home" }, 0 }, QStringLiteral(":0"));
        list.AddRow({ { "Club" }, 12 }, QStringLiteral(":12"));
        QCOMPARE(list.AddRow({ { "again" } }, QStringLiteral(":0")), -1);
        QCOMPARE(list.FindRow(QStringLiteral(":12")), 1);
        QCOMPARE(list.RowTag(list.FindRow(QStringLiteral(":0"))), 0);
        QCOMPARE(list.FindRow(QStringLiteral(":1")), -1);
        // A key goes with its row wherever sorting puts it.
        list.SetSorted(true);
        QCOMPARE(list.FindRow(QStringLiteral(":12")), 0);
        list.RemoveRow(list.FindRow(QStringLiteral(":0")));
        QCOMPARE(list.FindRow(QStringLiteral(":0")), -1);
        QCOMPARE(list.RowCount(), 1);
        QCOMPARE(list.RowKey(0), QStringLiteral(":12"));
    }

    void onlyTheUsersTicksAreReported()
    {
        FlatListView list;
        list.SetCheckBoxes(true);
        list.AddColumn(QStringLiteral("USER-TITLE"), 133);
        const int row = list.AddRow({ { "Home" } }, QStringLiteral(":0"));
        QSignalSpy checks(&list, &FlatListView::ItemCheck);

        list.SetRowChecked(row, true);
        QVERIFY(list.IsRowChecked(row));
        QCOMPARE(checks.count(), 0);

        // What a click on the box does.
        list.model()->setData(list.model()->index(row, 0), Qt::Unchecked, Qt::CheckStateRole);
        QCOMPARE(checks.count(), 1);
        QVERIFY(!list.IsRowChecked(row));

        list.SetCell(row, 0, QStringLiteral("Home 2")); // other changes are not ticks
        QCOMPARE(checks.count(), 1);
    }

    void cellsShowMarkupLiterally()
    {
        FlatListView list;
        list.AddColumn(QStringLiteral("SUBJECT"), 133);
        const int row = list.AddRow({ { "<b>x</b>" } });
        QCOMPARE(list.CellText(row, 0), QStringLiteral("<b>x</b>"));
        QCOMPARE(list.model()->index(row, 0).data(Qt::DisplayRole).toString(), QStringLiteral("<b>x</b>"));
    }
};

QTEST_MAIN(tst_ListViewOperate)
#include "tst_ListViewOperate.moc"
