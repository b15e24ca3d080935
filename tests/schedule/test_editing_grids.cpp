// The editing grids driven through their widgets: typing into the editors'
// cell editor, the command buttons, keys, clicks and double-clicks.
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGrid.h"
#include "support/MainFormFixture.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

using namespace cantrel;
using namespace cantrel::test;

namespace {

struct Grids : MainFormFixture {
    TMainForm* w = nullptr;

    Grids() {
        if (!start())
            qFatal("start-up failed");
        w = form.get();
        w->show();
        if (!QTest::qWaitForWindowExposed(w))
            qFatal("window not exposed");
    }

    // The cell editor that is open in an editor grid.
    QLineEdit* cellEditor(StringGrid* grid) {
        for (QLineEdit* e : grid->viewport()->findChildren<QLineEdit*>())
            if (e->isVisible())
                return e;
        return nullptr;
    }

    // Types into column col of an editor grid as the operator would.
    void type(StringGrid* grid, int col, const QString& text) {
        grid->setFocus();
        grid->setCol(col);
        QLineEdit* editor = cellEditor(grid);
        if (!editor) {
            grid->edit(grid->currentIndex());
            editor = cellEditor(grid);
        }
        QVERIFY2(editor, "no cell editor open");
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Backspace);
        QTest::keyClicks(editor, text);
    }

    // Fills the day editor and presses a command button.
    void enterRow(const QString& time, const QString& output, const QString& comment,
                  QPushButton* button) {
        type(w->EditDayGrid, 1, time);
        type(w->EditDayGrid, 2, output);
        type(w->EditDayGrid, 3, comment);
        QTest::mouseClick(button, Qt::LeftButton);
    }

    QStringList column(int col) const {
        QStringList out;
        for (int r = 1; r < w->DayGrid->rowCount(); ++r)
            out << w->DayGrid->cell(col, r);
        return out;
    }

    QPoint cellCenter(StringGrid* grid, int col, int row) const {
        return grid->visualRect(grid->model()->index(row - grid->fixedRows(), col)).center();
    }
};

} // namespace

class TestEditingGrids : public QObject {
    Q_OBJECT
private slots:
    void maskedTimeStartsFromZero();
    void insertFillsPlaceholderThenAddsInTimeOrder();
    void failuresAreShown();
    void insertKeepsBlanksModifyTrims();
    void modifyMovesRowAndKeepsSelection();
    void removeAndDeleteKey();
    void arrowKeysWalkTheGrid();
    void typingInADocumentGridChangesNothing();
    void enterAndDoubleClickAnywhereExecute();
    void selectingADayLeavesTheCalendarUnmodified();
    void dayEditorSkipsMarkColumn();
    void mediaButtonFillsEditorOnly();
    void monthEditorWritesThrough();
    void monthDoubleClickAndEnterLoadTheDay();
    void columnWidthsAndScrollFollow();
};

void TestEditingGrids::maskedTimeStartsFromZero() {
    Grids g;
    g.w->EditDayGrid->setFocus();
    g.w->EditDayGrid->setCol(1);
    QLineEdit* editor = g.cellEditor(g.w->EditDayGrid);
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("00:00:00"));
    QCOMPARE(editor->inputMask(), QStringLiteral("99:99:99"));
    editor->setCursorPosition(0);
    QTest::keyClicks(editor, QStringLiteral("0830"));
    QCOMPARE(g.w->EditDayGrid->cell(1, 0), QStringLiteral("08:30:00"));
    // Typing in the day editor changes nothing but the editor.
    QVERIFY(!g.w->daySchedule().isModified());
    QCOMPARE(g.w->DayGrid->cell(1, 1), QString());
}

void TestEditingGrids::insertFillsPlaceholderThenAddsInTimeOrder() {
    Grids g;
    g.enterRow("120000", "3", "noon", g.w->InsertButton);
    QCOMPARE(g.w->DayGrid->rowCount(), 2);
    QCOMPARE(g.w->DayGrid->rowCells(1), (QStringList{"", "12:00:00", "3", "noon", ""}));
    QVERIFY(g.w->daySchedule().isModified());

    // Earlier than every row: lands on row 1, selected, shown in the editor.
    g.enterRow("073000", "1", "early", g.w->InsertButton);
    QCOMPARE(g.column(1), (QStringList{"07:30:00", "12:00:00"}));
    QCOMPARE(g.w->DayGrid->row(), 1);
    QCOMPARE(g.w->EditDayGrid->rowCells(0), (QStringList{"", "07:30:00", "1", "early", ""}));
    QVERIFY(g.prompter.takeShown().isEmpty());
}

// The rules' failures reach the operator: the program's own text in a plain
// box, the time that does not read in the general error display.
void TestEditingGrids::failuresAreShown() {
    Grids g;
    g.enterRow("101010", "17", "x", g.w->InsertButton);
    g.enterRow("250000", "1", "x", g.w->ModifyButton);
    const auto shown = g.prompter.takeShown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0].kind, QStringLiteral("message"));
    QCOMPARE(shown[0].caption, QStringLiteral("Cantrel"));
    QCOMPARE(shown[0].text, QStringLiteral("Wrong profile number"));
    QCOMPARE(shown[1].kind, QStringLiteral("error"));
    QCOMPARE(shown[1].caption, QStringLiteral("Cantrel"));
    QCOMPARE(shown[1].text, QStringLiteral("'25:00:00' is not a valid time"));
    QCOMPARE(g.column(1), QStringList{QString()});
    QVERIFY(!g.w->daySchedule().isModified());
}

void TestEditingGrids::insertKeepsBlanksModifyTrims() {
    Grids g;
    g.enterRow("080000", "1", "first", g.w->InsertButton);
    g.enterRow("090000", " 2", "  padded  ", g.w->InsertButton);
    QCOMPARE(g.w->DayGrid->rowCells(2), (QStringList{"", "09:00:00", " 2", "  padded  ", ""}));
    QTest::mouseClick(g.w->ModifyButton, Qt::LeftButton);
    QCOMPARE(g.w->DayGrid->rowCells(2), (QStringList{"", "09:00:00", "2", "padded", ""}));
    QCOMPARE(g.w->EditDayGrid->rowCells(0), (QStringList{"", "09:00:00", "2", "padded", ""}));
}

void TestEditingGrids::modifyMovesRowAndKeepsSelection() {
    Grids g;
    for (const char* t : {"080000", "090000", "100000"})
        g.enterRow(t, "", t, g.w->InsertButton);
    QTest::mouseClick(g.w->DayGrid->viewport(), Qt::LeftButton, {},
                      g.cellCenter(g.w->DayGrid, 3, 1));
    QCOMPARE(g.w->DayGrid->row(), 1);
    QCOMPARE(g.w->EditDayGrid->cell(3, 0), QStringLiteral("080000"));
    g.w->DayGrid->setCell(0, 1, QStringLiteral("+"));
    g.type(g.w->EditDayGrid, 1, "113000");
    QTest::mouseClick(g.w->ModifyButton, Qt::LeftButton);
    QCOMPARE(g.column(1), (QStringList{"09:00:00", "10:00:00", "11:30:00"}));
    QCOMPARE(g.w->DayGrid->row(), 3);
    QCOMPARE(g.w->DayGrid->cell(0, 3), QString());
    QCOMPARE(g.w->EditDayGrid->cell(3, 0), QStringLiteral("080000"));
}

void TestEditingGrids::removeAndDeleteKey() {
    Grids g;
    g.enterRow("080000", "", "only", g.w->InsertButton);
    QTest::mouseClick(g.w->RemoveButton, Qt::LeftButton);
    QCOMPARE(g.column(3), QStringList{"only"});

    g.enterRow("090000", "", "second", g.w->InsertButton);
    g.enterRow("100000", "", "third", g.w->InsertButton);
    g.w->daySchedule().setModified(false);
    g.w->DayGrid->setRow(2);
    QTest::mouseClick(g.w->RemoveButton, Qt::LeftButton);
    QCOMPARE(g.column(3), (QStringList{"only", "third"}));
    QVERIFY(g.w->daySchedule().isModified());
    QCOMPARE(g.w->DayGrid->row(), 2);
    QCOMPARE(g.w->EditDayGrid->cell(3, 0), QStringLiteral("third"));

    // The last row goes: the selection moves up with the editor.
    QTest::mouseClick(g.w->RemoveButton, Qt::LeftButton);
    QCOMPARE(g.w->DayGrid->row(), 1);
    QCOMPARE(g.w->EditDayGrid->cell(3, 0), QStringLiteral("only"));

    g.enterRow("100000", "", "third", g.w->InsertButton);
    g.w->DayGrid->setFocus();
    g.w->DayGrid->setRow(1);
    QTest::keyClick(g.w->DayGrid, Qt::Key_Delete);
    QCOMPARE(g.column(3), QStringList{"third"});
    QCOMPARE(g.w->EditDayGrid->cell(3, 0), QStringLiteral("third"));
    QVERIFY(g.prompter.takeShown().isEmpty());
}

void TestEditingGrids::arrowKeysWalkTheGrid() {
    Grids g;
    for (const char* t : {"080000", "090000"})
        g.enterRow(t, "", t, g.w->InsertButton);
    g.w->DayGrid->setRow(1);
    g.type(g.w->EditDayGrid, 3, "typed, not inserted");
    QLineEdit* editor = g.cellEditor(g.w->EditDayGrid);
    QTest::keyClick(editor, Qt::Key_Up);
    QCOMPARE(g.w->DayGrid->row(), 1);
    QCOMPARE(g.w->EditDayGrid->cell(3, 0), QStringLiteral("typed, not inserted"));
    QTest::keyClick(editor, Qt::Key_Down);
    QCOMPARE(g.w->DayGrid->row(), 2);
    QCOMPARE(g.w->EditDayGrid->cell(3, 0), QStringLiteral("090000"));
    QTest::keyClick(g.cellEditor(g.w->EditDayGrid), Qt::Key_Down);
    QCOMPARE(g.w->DayGrid->row(), 2);
    QTest::keyClick(g.cellEditor(g.w->EditDayGrid), Qt::Key_Up);
    QCOMPARE(g.w->EditDayGrid->cell(3, 0), QStringLiteral("080000"));
    QVERIFY(!g.w->DayGrid->cell(3, 1).contains("typed"));
}

void TestEditingGrids::typingInADocumentGridChangesNothing() {
    Grids g;
    for (const char* t : {"080000", "090000", "100000"})
        g.enterRow(t, "", QStringLiteral("1 %1").arg(QLatin1String(t)), g.w->InsertButton);
    g.w->DayGrid->setRow(3);
    g.type(g.w->EditDayGrid, 3, "typed, not inserted");

    // Letters and digits do not search the rows, Left and Right do not walk
    // the cells: the selection stays and the editor keeps what was typed.
    g.w->DayGrid->setFocus();
    for (int key : {int(Qt::Key_1), int(Qt::Key_0), int(Qt::Key_T), int(Qt::Key_Space),
                    int(Qt::Key_Left), int(Qt::Key_Right), int(Qt::Key_Home)})
        QTest::keyClick(g.w->DayGrid, Qt::Key(key));
    QCOMPARE(g.w->DayGrid->row(), 3);
    QCOMPARE(g.w->EditDayGrid->cell(3, 0), QStringLiteral("typed, not inserted"));
    QCOMPARE(g.column(3), (QStringList{"1 080000", "1 090000", "1 100000"}));

    g.w->MonthGrid->setFocus();
    g.w->MonthGrid->setRow(5);
    QTest::keyClicks(g.w->MonthGrid, "1");
    QCOMPARE(g.w->MonthGrid->row(), 5);

    // Tab leaves the grid for the next control instead of walking its cells.
    g.w->activateWindow();
    g.w->DayGrid->setFocus();
    QTRY_VERIFY(g.w->DayGrid->hasFocus());
    const int col = g.w->DayGrid->col();
    QTest::keyClick(g.w->DayGrid, Qt::Key_Tab);
    QVERIFY(!g.w->DayGrid->hasFocus());
    QCOMPARE(g.w->DayGrid->col(), col);
}

void TestEditingGrids::enterAndDoubleClickAnywhereExecute() {
    Grids g;
    g.write("bell.wav", "");
    g.enterRow("080000", "0", "bell", g.w->InsertButton);
    g.w->DayGrid->setCell(4, 1, g.path("bell.wav"));
    StringGrid* grid = g.w->DayGrid;

    const QString bell = g.path("bell.wav");
    g.w->DayGrid->setFocus();
    QTest::keyClick(grid, Qt::Key_Return);
    QTRY_COMPARE(g.opener.openedSoFar(), QStringList{bell});

    // A cell, the empty area below the rows, and the header.
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, g.cellCenter(grid, 3, 1));
    QTRY_COMPARE(g.opener.openedSoFar(), QStringList(2, bell));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {},
                       QPoint(grid->viewport()->width() / 2, grid->viewport()->height() - 4));
    QTRY_COMPARE(g.opener.openedSoFar(), QStringList(3, bell));
    QTest::mouseDClick(grid->horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(60, 5));
    QTRY_COMPARE(g.opener.openedSoFar(), QStringList(4, bell));
    // Only the left button.
    QTest::mouseDClick(grid->viewport(), Qt::RightButton, {}, g.cellCenter(grid, 3, 1));
    QTest::qWait(100);
    QCOMPARE(g.opener.openedSoFar(), QStringList(4, bell));
}

void TestEditingGrids::selectingADayLeavesTheCalendarUnmodified() {
    Grids g;
    g.w->MonthGrid->setCell(2, 7, QStringLiteral("sat.24h"));
    g.w->EditMonthGrid->setFocus();
    g.w->MonthGrid->setRow(7);
    QVERIFY(g.cellEditor(g.w->EditMonthGrid));
    QTest::mouseClick(g.w->MonthGrid->viewport(), Qt::LeftButton, {},
                      g.cellCenter(g.w->MonthGrid, 2, 3));
    QCOMPARE(g.w->MonthGrid->row(), 3);
    g.w->MonthGrid->setFocus();
    QTest::keyClick(g.w->MonthGrid, Qt::Key_Down);
    QCOMPARE(g.w->MonthGrid->row(), 4);
    g.w->MonthGrid->setRow(7);
    g.w->EditMonthGrid->setFocus();
    g.w->MonthGrid->setRow(9);
    g.w->DayGrid->setFocus();
    QCOMPARE(g.w->EditMonthGrid->rowCells(0), (QStringList{"", "9", ""}));
    QCOMPARE(g.w->MonthGrid->cell(2, 7), QStringLiteral("sat.24h"));
    QVERIFY(!g.w->monthCalendar().isModified());
}

void TestEditingGrids::dayEditorSkipsMarkColumn() {
    Grids g;
    StringGrid* e = g.w->EditDayGrid;
    e->setFocus();
    e->setCol(1);
    QTest::keyClick(g.cellEditor(e), Qt::Key_Backtab);
    QCOMPARE(e->col(), 4);
    QTest::keyClick(g.cellEditor(e), Qt::Key_Tab);
    QCOMPARE(e->col(), 1);
    QTest::mouseClick(e->viewport(), Qt::LeftButton, {}, g.cellCenter(e, 0, 0));
    QCOMPARE(e->col(), 4);

    // The month editor types only into its file column.
    StringGrid* m = g.w->EditMonthGrid;
    QTest::mouseClick(m->viewport(), Qt::LeftButton, {}, g.cellCenter(m, 1, 0));
    QCOMPARE(m->col(), 2);
}

void TestEditingGrids::mediaButtonFillsEditorOnly() {
    Grids g;
    g.enterRow("080000", "", "a", g.w->InsertButton);
    g.enterRow("090000", "", "b", g.w->InsertButton);
    g.w->daySchedule().setModified(false);
    g.prompter.openAnswers = {g.path("bell.wav")};
    QTest::mouseClick(g.w->Select24dButton, Qt::LeftButton);
    QCOMPARE(g.prompter.openRequests.last().filter, QStringLiteral("any file|*.*"));
    QCOMPARE(g.w->EditDayGrid->cell(4, 0), g.path("bell.wav"));
    QCOMPARE(g.w->DayGrid->cell(4, 2), QString());
    QVERIFY(!g.w->daySchedule().isModified());
    g.w->DayGrid->setRow(1);
    QCOMPARE(g.w->EditDayGrid->cell(4, 0), QString());
    QVERIFY(!g.w->daySchedule().isModified());
}

void TestEditingGrids::monthEditorWritesThrough() {
    Grids g;
    g.w->MonthGrid->setRow(7);
    QCOMPARE(g.w->EditMonthGrid->rowCells(0), (QStringList{"", "7", ""}));
    g.w->MonthGrid->setCell(0, 7, QStringLiteral("+"));
    g.w->EditMonthGrid->setFocus();
    QLineEdit* editor = g.cellEditor(g.w->EditMonthGrid);
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_S);
    QVERIFY(g.w->monthCalendar().isModified());
    QCOMPARE(g.w->MonthGrid->rowCells(7), (QStringList{"", "7", "s"}));
    QTest::keyClicks(editor, "at.24h");
    QCOMPARE(g.w->MonthGrid->cell(2, 7), QStringLiteral("sat.24h"));

    g.w->monthCalendar().setModified(false);
    g.w->MonthGrid->setRow(8);
    g.prompter.openAnswers = {g.path("sun.24h")};
    QTest::mouseClick(g.w->Select31hButton, Qt::LeftButton);
    QCOMPARE(g.prompter.openRequests.last().filter, QStringLiteral(".24h files|*.24h"));
    QCOMPARE(g.w->MonthGrid->cell(2, 8), g.path("sun.24h"));
    QVERIFY(g.w->monthCalendar().isModified());
}

void TestEditingGrids::monthDoubleClickAndEnterLoadTheDay() {
    Grids g;
    g.write("three.24h", "03:00:00,3,three\r\n");
    g.w->MonthGrid->setCell(2, 3, g.path("three.24h"));
    g.w->daySchedule().setModified(true);

    // A day without an entry: the message, no question, nothing touched.
    const QPoint day2 = g.cellCenter(g.w->MonthGrid, 2, 2);
    QTest::mouseClick(g.w->MonthGrid->viewport(), Qt::LeftButton, {}, day2);
    QTest::mouseDClick(g.w->MonthGrid->viewport(), Qt::LeftButton, {}, day2);
    QCOMPARE(g.prompter.takeTexts(), QStringList{".24h file don't specified"});
    QCOMPARE(g.w->DayGroupBox->title(), QStringLiteral("Untitled.24h"));

    g.prompter.answers = {Answer::No};
    g.w->MonthGrid->setFocus();
    g.w->MonthGrid->setRow(3);
    QTest::keyClick(g.w->MonthGrid, Qt::Key_Return);
    QCOMPARE(g.prompter.takeShown().size(), 1);
    QCOMPARE(g.w->DayGroupBox->title(), g.path("three.24h"));
    QCOMPARE(g.column(3), QStringList{"three"});
}

void TestEditingGrids::columnWidthsAndScrollFollow() {
    Grids g;
    QHeaderView* header = g.w->DayGrid->horizontalHeader();
    header->resizeSection(3, 300);
    QCOMPARE(g.w->EditDayGrid->colWidth(3), 128);
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(g.w->EditDayGrid->colWidth(3), 300);
    // The editor's own widths are not copied back.
    const int timeWidth = g.w->DayGrid->colWidth(1);
    g.w->EditDayGrid->setColWidth(1, timeWidth + 40);
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(g.w->DayGrid->colWidth(1), timeWidth);
    QCOMPARE(g.w->EditDayGrid->colWidth(1), timeWidth);

    for (int c = 0; c < 5; ++c) {
        g.w->DayGrid->setColWidth(c, 300);
        g.w->EditDayGrid->setColWidth(c, 300);
    }
    QTRY_VERIFY(g.w->DayGrid->horizontalScrollBar()->maximum() > 0);
    g.w->DayGrid->setLeftCol(2);
    QCOMPARE(g.w->EditDayGrid->leftCol(), 2);
    g.w->EditDayGrid->setLeftCol(1);
    QCOMPARE(g.w->DayGrid->leftCol(), 1);
}

QTEST_MAIN(TestEditingGrids)
#include "test_editing_grids.moc"
