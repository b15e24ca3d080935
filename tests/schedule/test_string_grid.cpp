// The grid over rows that are changed under it, by itself or by their owner:
// the current cell stays, its row clamped to the last one, and only a removal
// through the grid reports the row it leaves under the selection.
#include "schedule/StringGrid.h"

#include <QSignalSpy>
#include <QTest>

using namespace cantrel;

class TestStringGrid : public QObject {
    Q_OBJECT
  private slots:
    void currentCellSurvivesChangesToTheRows();
    void removalReportsTheRowUnderTheSelection();
};

void TestStringGrid::currentCellSurvivesChangesToTheRows() {
    StringGridModel rows(3, 6, 1);
    StringGrid grid(StringGrid::Kind::Document, &rows);
    grid.setRow(4);
    grid.setCol(2);
    QSignalSpy selected(&grid, &StringGrid::selectCell);

    rows.appendRow({"", "a", "b"});
    QCOMPARE(grid.row(), 4);
    rows.permuteDataRows({5, 4, 3, 2, 1, 0});
    QCOMPARE(grid.row(), 4);
    rows.setGridRowCount(20);
    QCOMPARE(grid.row(), 4);
    // A document replaced by one with fewer rows (a load, a new document).
    rows.replaceDataRows({{"", "x", "y"}, {"", "z", "w"}});
    QCOMPARE(grid.row(), 2);
    rows.setGridRowCount(2);
    QCOMPARE(grid.row(), 1);
    QCOMPARE(grid.col(), 2);
    rows.setGridRowCount(5);
    rows.removeGridRow(2);
    QCOMPARE(grid.row(), 1);
    QCOMPARE(selected.count(), 0);

    // Afterwards the operator's moves are reported again.
    grid.setRow(3);
    QCOMPARE(selected.count(), 1);
}

void TestStringGrid::removalReportsTheRowUnderTheSelection() {
    StringGridModel rows(3, 4, 1);
    StringGrid grid(StringGrid::Kind::Document, &rows);
    grid.setCol(1);
    grid.setRow(3, false);
    QSignalSpy selected(&grid, &StringGrid::selectCell);
    grid.removeRow(3);
    QCOMPARE(selected.takeFirst(), (QVariantList{1, 2}));
    grid.setRow(1, false);
    grid.removeRow(1);
    QCOMPARE(selected.takeFirst(), (QVariantList{1, 1}));
    QCOMPARE(rows.gridRowCount(), 2);
    QVERIFY(selected.isEmpty());
}

QTEST_MAIN(TestStringGrid)
#include "test_string_grid.moc"
