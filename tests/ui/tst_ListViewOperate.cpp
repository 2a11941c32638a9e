#include "FixedScreenMetrics.h"
#include "platform/gui/ListView.h"
#include "ui/helpers/Fun_ListViewOperate.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

namespace {

QStringList MainTexts(const ListView& list)
{
    QStringList texts;
    for (const QTreeWidgetItem* row : list.Rows())
        texts << row->text(0);
    return texts;
}

// Three accounts as the main window lists them: title, NEXT CHECK.
void FillAccounts(ListView& list)
{
    list.AddColumn(QStringLiteral("USER-TITLE"), 133);
    list.AddColumn(QStringLiteral("NEXT CHECK"), 96);
    const QList<QPair<QString, QString>> rows { { "Home", "3" }, { "work", "10" }, { "Bank", "9" } };
    for (const auto& [title, next] : rows)
        ListView::SetCell(list.AddRow(title), 1, next);
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
