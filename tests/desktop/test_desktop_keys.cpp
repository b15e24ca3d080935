// Keys from the keyboard, through the X server and the window manager, into
// the document grids: a letter or a digit leaves the selection where it is,
// so a row typed into the editor and not yet inserted survives; Tab leaves
// the day grid for the next control; Enter runs the selected row.
#include "DesktopSupport.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGrid.h"
#include "support/MainFormFixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

using namespace cantrel;
using namespace cantrel::test;

namespace {

// The keys a widget has been sent, so a test knows when a key has arrived
// and been handled.
class KeysSeen final : public QObject {
  public:
    explicit KeysSeen(QWidget* widget) { widget->installEventFilter(this); }
    QList<int> keys;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress)
            keys << static_cast<QKeyEvent*>(event)->key();
        return false;
    }
};

// Several comments start with "1" and one with "b": a grid that searched
// its rows by the keys typed would jump to one of them.
QByteArray schedule(const MainFormFixture& f) {
    return "08:00:00,0,1st," + f.path("clip1.mp3").toUtf8() + "\r\n" + "09:00:00,0,10th," +
           f.path("clip2.mp3").toUtf8() + "\r\n" +
           "10:00:00,0,bell,\r\n"
           "11:00:00,0,2nd,\r\n";
}

// Starts the window with that schedule and shows it, active, on the desktop.
bool showWithSchedule(MainFormFixture& f) {
    f.write("day.24h", schedule(f));
    if (!f.start())
        return false;
    f.form->LoadDaySchedule(f.path("day.24h"));
    f.form->show();
    return QTest::qWaitForWindowActive(f.form.get());
}

// Makes a cell current (as a click on it would) and clicks it with the
// pointer, so the grid takes the focus and its current cell stays.
bool clickCurrentCell(StringGrid* grid, int row, int col) {
    grid->setRow(row);
    grid->setCol(col);
    const QModelIndex index = grid->cells()->index(row - grid->fixedRows(), col);
    grid->scrollTo(index);
    return clickAt(*grid->viewport(), grid->visualRect(index).center());
}

} // namespace

class TestDesktopKeys : public QObject {
    Q_OBJECT
  private slots:
    void lettersAndDigitsKeepTheDayRow();
    void lettersAndDigitsKeepTheCalendarDay();
    void tabLeavesTheDayGrid();
    void enterRunsTheRow();
};

void TestDesktopKeys::lettersAndDigitsKeepTheDayRow() {
    MainFormFixture f;
    QVERIFY(showWithSchedule(f));
    TMainForm& w = *f.form;
    w.DayGrid->setRow(4);
    w.DayGrid->setCol(3);

    // A new row typed into the editor, not inserted.
    const QModelIndex comment = w.EditDayGrid->cells()->index(0, 3);
    QVERIFY(clickAt(*w.EditDayGrid->viewport(), w.EditDayGrid->visualRect(comment).center()));
    QTRY_VERIFY(w.EditDayGrid->isAncestorOf(QApplication::focusWidget()));
    QVERIFY(typeText(QStringLiteral("xyz")));
    QTRY_VERIFY(w.EditDayGrid->cell(3, 0).contains(QStringLiteral("xyz")));
    const QStringList typed = w.EditDayGrid->rowCells(0);

    QVERIFY(clickCurrentCell(w.DayGrid, 4, 3));
    QTRY_VERIFY(w.DayGrid->hasFocus());
    QCOMPARE(w.EditDayGrid->rowCells(0), typed);

    KeysSeen seen(w.DayGrid);
    QVERIFY(pressKeys({"1", "b"}));
    QTRY_COMPARE(seen.keys, (QList<int>{Qt::Key_1, Qt::Key_B}));
    QCOMPARE(w.DayGrid->row(), 4);
    QCOMPARE(w.EditDayGrid->rowCells(0), typed);
    QCOMPARE(w.DayGrid->rowCells(4), (QStringList{"", "11:00:00", "0", "2nd", ""}));
    QVERIFY(!w.daySchedule().isModified());
}

void TestDesktopKeys::lettersAndDigitsKeepTheCalendarDay() {
    MainFormFixture f;
    QVERIFY(showWithSchedule(f));
    TMainForm& w = *f.form;
    QVERIFY(clickCurrentCell(w.MonthGrid, 20, 1));
    QTRY_VERIFY(w.MonthGrid->hasFocus());
    QCOMPARE(w.EditMonthGrid->rowCells(0), (QStringList{"", "20", ""}));

    KeysSeen seen(w.MonthGrid);
    QVERIFY(pressKeys({"1", "3", "d"}));
    QTRY_COMPARE(seen.keys, (QList<int>{Qt::Key_1, Qt::Key_3, Qt::Key_D}));
    QCOMPARE(w.MonthGrid->row(), 20);
    QCOMPARE(w.EditMonthGrid->rowCells(0), (QStringList{"", "20", ""}));
    QVERIFY(!w.monthCalendar().isModified());
}

void TestDesktopKeys::tabLeavesTheDayGrid() {
    MainFormFixture f;
    QVERIFY(showWithSchedule(f));
    TMainForm& w = *f.form;
    QVERIFY(clickCurrentCell(w.DayGrid, 2, 1));
    QTRY_VERIFY(w.DayGrid->hasFocus());

    QVERIFY(pressKeys({"Tab"}));
    // The control after the day grid is its editor.
    QTRY_VERIFY(w.EditDayGrid->isAncestorOf(QApplication::focusWidget()) ||
                QApplication::focusWidget() == w.EditDayGrid);
    QCOMPARE(w.DayGrid->row(), 2);
    QCOMPARE(w.DayGrid->col(), 1);
}

void TestDesktopKeys::enterRunsTheRow() {
    MainFormFixture f;
    QVERIFY(showWithSchedule(f));
    TMainForm& w = *f.form;
    QVERIFY(clickCurrentCell(w.DayGrid, 2, 3));
    QTRY_VERIFY(w.DayGrid->hasFocus());

    QVERIFY(pressKeys({"Return"}));
    QTRY_COMPARE(w.DayGrid->cell(0, 2), QStringLiteral("+"));
    QCOMPARE(f.opener.takeOpened(), QStringList{f.path("clip2.mp3")});
    QCOMPARE(w.DayGrid->row(), 2);
    QCOMPARE(w.DayGrid->cell(0, 1), QString());
    QVERIFY(f.prompter.takeShown().isEmpty());
}

QTEST_MAIN(TestDesktopKeys)
#include "test_desktop_keys.moc"
