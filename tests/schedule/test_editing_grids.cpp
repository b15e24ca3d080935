// The editing grids driven through their widgets: typing into the editors'
// cell editor, the command buttons, keys, clicks and double-clicks.
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGrid.h"
#include "support/MainWindowFixture.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

using namespace cantrel;
using namespace cantrel::test;

namespace {

struct Grids : MainWindowFixture {
    MainWindow* w = nullptr;

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
        type(w->dayEditGrid, 1, time);
        type(w->dayEditGrid, 2, output);
        type(w->dayEditGrid, 3, comment);
        QTest::mouseClick(button, Qt::LeftButton);
    }

    QStringList column(int col) const {
        QStringList out;
        for (int r = 1; r < w->dayGrid->rowCount(); ++r)
            out << w->dayGrid->cell(col, r);
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
    g.w->dayEditGrid->setFocus();
    g.w->dayEditGrid->setCol(1);
    QLineEdit* editor = g.cellEditor(g.w->dayEditGrid);
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("00:00:00"));
    QCOMPARE(editor->inputMask(), QStringLiteral("99:99:99"));
    editor->setCursorPosition(0);
    QTest::keyClicks(editor, QStringLiteral("0830"));
    QCOMPARE(g.w->dayEditGrid->cell(1, 0), QStringLiteral("08:30:00"));
    // Typing in the day editor changes nothing but the editor.
    QVERIFY(!g.w->daySchedule().isModified());
    QCOMPARE(g.w->dayGrid->cell(1, 1), QString());
}

void TestEditingGrids::insertFillsPlaceholderThenAddsInTimeOrder() {
    Grids g;
    g.enterRow("120000", "3", "noon", g.w->insertButton);
    QCOMPARE(g.w->dayGrid->rowCount(), 2);
    QCOMPARE(g.w->dayGrid->rowCells(1), (QStringList{"", "12:00:00", "3", "noon", ""}));
    QVERIFY(g.w->daySchedule().isModified());

    // Earlier than every row: lands on row 1, selected, shown in the editor.
    g.enterRow("073000", "1", "early", g.w->insertButton);
    QCOMPARE(g.column(1), (QStringList{"07:30:00", "12:00:00"}));
    QCOMPARE(g.w->dayGrid->row(), 1);
    QCOMPARE(g.w->dayEditGrid->rowCells(0), (QStringList{"", "07:30:00", "1", "early", ""}));
    QVERIFY(g.prompter.takeShown().isEmpty());
}

// The rules' failures reach the operator: the program's own text in a plain
// box, the time that does not read in the general error display.
void TestEditingGrids::failuresAreShown() {
    Grids g;
    g.enterRow("101010", "17", "x", g.w->insertButton);
    g.enterRow("250000", "1", "x", g.w->modifyButton);
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
    g.enterRow("080000", "1", "first", g.w->insertButton);
    g.enterRow("090000", " 2", "  padded  ", g.w->insertButton);
    QCOMPARE(g.w->dayGrid->rowCells(2), (QStringList{"", "09:00:00", " 2", "  padded  ", ""}));
    QTest::mouseClick(g.w->modifyButton, Qt::LeftButton);
    QCOMPARE(g.w->dayGrid->rowCells(2), (QStringList{"", "09:00:00", "2", "padded", ""}));
    QCOMPARE(g.w->dayEditGrid->rowCells(0), (QStringList{"", "09:00:00", "2", "padded", ""}));
}

void TestEditingGrids::modifyMovesRowAndKeepsSelection() {
    Grids g;
    for (const char* t : {"080000", "090000", "100000"})
        g.enterRow(t, "", t, g.w->insertButton);
    QTest::mouseClick(g.w->dayGrid->viewport(), Qt::LeftButton, {},
                      g.cellCenter(g.w->dayGrid, 3, 1));
    QCOMPARE(g.w->dayGrid->row(), 1);
    QCOMPARE(g.w->dayEditGrid->cell(3, 0), QStringLiteral("080000"));
    g.w->dayGrid->setCell(0, 1, QStringLiteral("+"));
    g.type(g.w->dayEditGrid, 1, "113000");
    QTest::mouseClick(g.w->modifyButton, Qt::LeftButton);
    QCOMPARE(g.column(1), (QStringList{"09:00:00", "10:00:00", "11:30:00"}));
    QCOMPARE(g.w->dayGrid->row(), 3);
    QCOMPARE(g.w->dayGrid->cell(0, 3), QString());
    QCOMPARE(g.w->dayEditGrid->cell(3, 0), QStringLiteral("080000"));
}

void TestEditingGrids::removeAndDeleteKey() {
    Grids g;
    g.enterRow("080000", "", "only", g.w->insertButton);
    QTest::mouseClick(g.w->removeButton, Qt::LeftButton);
    QCOMPARE(g.column(3), QStringList{"only"});

    g.enterRow("090000", "", "second", g.w->insertButton);
    g.enterRow("100000", "", "third", g.w->insertButton);
    g.w->daySchedule().setModified(false);
    g.w->dayGrid->setRow(2);
    QTest::mouseClick(g.w->removeButton, Qt::LeftButton);
    QCOMPARE(g.column(3), (QStringList{"only", "third"}));
    QVERIFY(g.w->daySchedule().isModified());
    QCOMPARE(g.w->dayGrid->row(), 2);
    QCOMPARE(g.w->dayEditGrid->cell(3, 0), QStringLiteral("third"));

    // The last row goes: the selection moves up with the editor.
    QTest::mouseClick(g.w->removeButton, Qt::LeftButton);
    QCOMPARE(g.w->dayGrid->row(), 1);
    QCOMPARE(g.w->dayEditGrid->cell(3, 0), QStringLiteral("only"));

    g.enterRow("100000", "", "third", g.w->insertButton);
    g.w->dayGrid->setFocus();
    g.w->dayGrid->setRow(1);
    QTest::keyClick(g.w->dayGrid, Qt::Key_Delete);
    QCOMPARE(g.column(3), QStringList{"third"});
    QCOMPARE(g.w->dayEditGrid->cell(3, 0), QStringLiteral("third"));
    QVERIFY(g.prompter.takeShown().isEmpty());
}

void TestEditingGrids::arrowKeysWalkTheGrid() {
    Grids g;
    for (const char* t : {"080000", "090000"})
        g.enterRow(t, "", t, g.w->insertButton);
    g.w->dayGrid->setRow(1);
    g.type(g.w->dayEditGrid, 3, "typed, not inserted");
    QLineEdit* editor = g.cellEditor(g.w->dayEditGrid);
    QTest::keyClick(editor, Qt::Key_Up);
    QCOMPARE(g.w->dayGrid->row(), 1);
    QCOMPARE(g.w->dayEditGrid->cell(3, 0), QStringLiteral("typed, not inserted"));
    QTest::keyClick(editor, Qt::Key_Down);
    QCOMPARE(g.w->dayGrid->row(), 2);
    QCOMPARE(g.w->dayEditGrid->cell(3, 0), QStringLiteral("090000"));
    QTest::keyClick(g.cellEditor(g.w->dayEditGrid), Qt::Key_Down);
    QCOMPARE(g.w->dayGrid->row(), 2);
    QTest::keyClick(g.cellEditor(g.w->dayEditGrid), Qt::Key_Up);
    QCOMPARE(g.w->dayEditGrid->cell(3, 0), QStringLiteral("080000"));
    QVERIFY(!g.w->dayGrid->cell(3, 1).contains("typed"));
}

void TestEditingGrids::typingInADocumentGridChangesNothing() {
    Grids g;
    for (const char* t : {"080000", "090000", "100000"})
        g.enterRow(t, "", QStringLiteral("1 %1").arg(QLatin1String(t)), g.w->insertButton);
    g.w->dayGrid->setRow(3);
    g.type(g.w->dayEditGrid, 3, "typed, not inserted");

    // Letters and digits do not search the rows, Left and Right do not walk
    // the cells: the selection stays and the editor keeps what was typed.
    g.w->dayGrid->setFocus();
    for (int key : {int(Qt::Key_1), int(Qt::Key_0), int(Qt::Key_T), int(Qt::Key_Space),
                    int(Qt::Key_Left), int(Qt::Key_Right), int(Qt::Key_Home)})
        QTest::keyClick(g.w->dayGrid, Qt::Key(key));
    QCOMPARE(g.w->dayGrid->row(), 3);
    QCOMPARE(g.w->dayEditGrid->cell(3, 0), QStringLiteral("typed, not inserted"));
    QCOMPARE(g.column(3), (QStringList{"1 080000", "1 090000", "1 100000"}));

    g.w->monthGrid->setFocus();
    g.w->monthGrid->setRow(5);
    QTest::keyClicks(g.w->monthGrid, "1");
    QCOMPARE(g.w->monthGrid->row(), 5);

    // Tab leaves the grid for the next control instead of walking its cells.
    g.w->activateWindow();
    g.w->dayGrid->setFocus();
    QTRY_VERIFY(g.w->dayGrid->hasFocus());
    const int col = g.w->dayGrid->col();
    QTest::keyClick(g.w->dayGrid, Qt::Key_Tab);
    QVERIFY(!g.w->dayGrid->hasFocus());
    QCOMPARE(g.w->dayGrid->col(), col);
}

void TestEditingGrids::enterAndDoubleClickAnywhereExecute() {
    Grids g;
    g.write("bell.wav", "");
    g.enterRow("080000", "0", "bell", g.w->insertButton);
    g.w->dayGrid->setCell(4, 1, g.path("bell.wav"));
    StringGrid* grid = g.w->dayGrid;

    const QString bell = g.path("bell.wav");
    g.w->dayGrid->setFocus();
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
    g.w->monthGrid->setCell(2, 7, QStringLiteral("sat.24h"));
    g.w->monthEditGrid->setFocus();
    g.w->monthGrid->setRow(7);
    QVERIFY(g.cellEditor(g.w->monthEditGrid));
    QTest::mouseClick(g.w->monthGrid->viewport(), Qt::LeftButton, {},
                      g.cellCenter(g.w->monthGrid, 2, 3));
    QCOMPARE(g.w->monthGrid->row(), 3);
    g.w->monthGrid->setFocus();
    QTest::keyClick(g.w->monthGrid, Qt::Key_Down);
    QCOMPARE(g.w->monthGrid->row(), 4);
    g.w->monthGrid->setRow(7);
    g.w->monthEditGrid->setFocus();
    g.w->monthGrid->setRow(9);
    g.w->dayGrid->setFocus();
    QCOMPARE(g.w->monthEditGrid->rowCells(0), (QStringList{"", "9", ""}));
    QCOMPARE(g.w->monthGrid->cell(2, 7), QStringLiteral("sat.24h"));
    QVERIFY(!g.w->monthCalendar().isModified());
}

void TestEditingGrids::dayEditorSkipsMarkColumn() {
    Grids g;
    StringGrid* e = g.w->dayEditGrid;
    e->setFocus();
    e->setCol(1);
    QTest::keyClick(g.cellEditor(e), Qt::Key_Backtab);
    QCOMPARE(e->col(), 4);
    QTest::keyClick(g.cellEditor(e), Qt::Key_Tab);
    QCOMPARE(e->col(), 1);
    QTest::mouseClick(e->viewport(), Qt::LeftButton, {}, g.cellCenter(e, 0, 0));
    QCOMPARE(e->col(), 4);

    // The month editor types only into its file column.
    StringGrid* m = g.w->monthEditGrid;
    QTest::mouseClick(m->viewport(), Qt::LeftButton, {}, g.cellCenter(m, 1, 0));
    QCOMPARE(m->col(), 2);
}

void TestEditingGrids::mediaButtonFillsEditorOnly() {
    Grids g;
    g.enterRow("080000", "", "a", g.w->insertButton);
    g.enterRow("090000", "", "b", g.w->insertButton);
    g.w->daySchedule().setModified(false);
    g.prompter.openAnswers = {g.path("bell.wav")};
    QTest::mouseClick(g.w->browseMediaButton, Qt::LeftButton);
    QCOMPARE(g.prompter.openRequests.last().filter, QStringLiteral("any file|*.*"));
    QCOMPARE(g.w->dayEditGrid->cell(4, 0), g.path("bell.wav"));
    QCOMPARE(g.w->dayGrid->cell(4, 2), QString());
    QVERIFY(!g.w->daySchedule().isModified());
    g.w->dayGrid->setRow(1);
    QCOMPARE(g.w->dayEditGrid->cell(4, 0), QString());
    QVERIFY(!g.w->daySchedule().isModified());
}

void TestEditingGrids::monthEditorWritesThrough() {
    Grids g;
    g.w->monthGrid->setRow(7);
    QCOMPARE(g.w->monthEditGrid->rowCells(0), (QStringList{"", "7", ""}));
    g.w->monthGrid->setCell(0, 7, QStringLiteral("+"));
    g.w->monthEditGrid->setFocus();
    QLineEdit* editor = g.cellEditor(g.w->monthEditGrid);
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_S);
    QVERIFY(g.w->monthCalendar().isModified());
    QCOMPARE(g.w->monthGrid->rowCells(7), (QStringList{"", "7", "s"}));
    QTest::keyClicks(editor, "at.24h");
    QCOMPARE(g.w->monthGrid->cell(2, 7), QStringLiteral("sat.24h"));

    g.w->monthCalendar().setModified(false);
    g.w->monthGrid->setRow(8);
    g.prompter.openAnswers = {g.path("sun.24h")};
    QTest::mouseClick(g.w->browseDayFileButton, Qt::LeftButton);
    QCOMPARE(g.prompter.openRequests.last().filter, QStringLiteral(".24h files|*.24h"));
    QCOMPARE(g.w->monthGrid->cell(2, 8), g.path("sun.24h"));
    QVERIFY(g.w->monthCalendar().isModified());
}

void TestEditingGrids::monthDoubleClickAndEnterLoadTheDay() {
    Grids g;
    g.write("three.24h", "03:00:00,3,three\r\n");
    g.w->monthGrid->setCell(2, 3, g.path("three.24h"));
    g.w->daySchedule().setModified(true);

    // A day without an entry: the message, no question, nothing touched.
    const QPoint day2 = g.cellCenter(g.w->monthGrid, 2, 2);
    QTest::mouseClick(g.w->monthGrid->viewport(), Qt::LeftButton, {}, day2);
    QTest::mouseDClick(g.w->monthGrid->viewport(), Qt::LeftButton, {}, day2);
    QCOMPARE(g.prompter.takeTexts(), QStringList{".24h file don't specified"});
    QCOMPARE(g.w->dayGroupBox->title(), QStringLiteral("Untitled.24h"));

    g.prompter.answers = {Answer::No};
    g.w->monthGrid->setFocus();
    g.w->monthGrid->setRow(3);
    QTest::keyClick(g.w->monthGrid, Qt::Key_Return);
    QCOMPARE(g.prompter.takeShown().size(), 1);
    QCOMPARE(g.w->dayGroupBox->title(), g.path("three.24h"));
    QCOMPARE(g.column(3), QStringList{"three"});
}

void TestEditingGrids::columnWidthsAndScrollFollow() {
    Grids g;
    QHeaderView* header = g.w->dayGrid->horizontalHeader();
    header->resizeSection(3, 300);
    QCOMPARE(g.w->dayEditGrid->colWidth(3), 128);
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(g.w->dayEditGrid->colWidth(3), 300);
    // The editor's own widths are not copied back.
    const int timeWidth = g.w->dayGrid->colWidth(1);
    g.w->dayEditGrid->setColWidth(1, timeWidth + 40);
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(g.w->dayGrid->colWidth(1), timeWidth);
    QCOMPARE(g.w->dayEditGrid->colWidth(1), timeWidth);

    for (int c = 0; c < 5; ++c) {
        g.w->dayGrid->setColWidth(c, 300);
        g.w->dayEditGrid->setColWidth(c, 300);
    }
    QTRY_VERIFY(g.w->dayGrid->horizontalScrollBar()->maximum() > 0);
    g.w->dayGrid->setLeftCol(2);
    QCOMPARE(g.w->dayEditGrid->leftCol(), 2);
    g.w->dayEditGrid->setLeftCol(1);
    QCOMPARE(g.w->dayGrid->leftCol(), 1);
}

QTEST_MAIN(TestEditingGrids)
#include "test_editing_grids.moc"
