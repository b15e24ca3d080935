// Keys from the keyboard, through the X server and the window manager, into
// the document grids: a letter or a digit leaves the selection where it is,
// so a row typed into the editor and not yet inserted survives; Tab leaves
// the day grid for the next control; Enter runs the selected row.
#include "DesktopSupport.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGrid.h"
#include "support/MainWindowFixture.h"

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
QByteArray schedule(const MainWindowFixture& f) {
    return "08:00:00,0,1st," + f.path("clip1.mp3").toUtf8() + "\r\n" + "09:00:00,0,10th," +
           f.path("clip2.mp3").toUtf8() + "\r\n" +
           "10:00:00,0,bell,\r\n"
           "11:00:00,0,2nd,\r\n";
}

// Starts the window with that schedule and shows it, active, on the desktop.
bool showWithSchedule(MainWindowFixture& f) {
    f.write("day.24h", schedule(f));
    if (!f.start())
        return false;
    f.form->loadDaySchedule(f.path("day.24h"));
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
    MainWindowFixture f;
    QVERIFY(showWithSchedule(f));
    MainWindow& w = *f.form;
    w.dayGrid->setRow(4);
    w.dayGrid->setCol(3);

    // A new row typed into the editor, not inserted.
    const QModelIndex comment = w.dayEditGrid->cells()->index(0, 3);
    QVERIFY(clickAt(*w.dayEditGrid->viewport(), w.dayEditGrid->visualRect(comment).center()));
    QTRY_VERIFY(w.dayEditGrid->isAncestorOf(QApplication::focusWidget()));
    QVERIFY(typeText(QStringLiteral("xyz")));
    QTRY_VERIFY(w.dayEditGrid->cell(3, 0).contains(QStringLiteral("xyz")));
    const QStringList typed = w.dayEditGrid->rowCells(0);

    QVERIFY(clickCurrentCell(w.dayGrid, 4, 3));
    QTRY_VERIFY(w.dayGrid->hasFocus());
    QCOMPARE(w.dayEditGrid->rowCells(0), typed);

    KeysSeen seen(w.dayGrid);
    QVERIFY(pressKeys({"1", "b"}));
    QTRY_COMPARE(seen.keys, (QList<int>{Qt::Key_1, Qt::Key_B}));
    QCOMPARE(w.dayGrid->row(), 4);
    QCOMPARE(w.dayEditGrid->rowCells(0), typed);
    QCOMPARE(w.dayGrid->rowCells(4), (QStringList{"", "11:00:00", "0", "2nd", ""}));
    QVERIFY(!w.daySchedule().isModified());
}

void TestDesktopKeys::lettersAndDigitsKeepTheCalendarDay() {
    MainWindowFixture f;
    QVERIFY(showWithSchedule(f));
    MainWindow& w = *f.form;
    QVERIFY(clickCurrentCell(w.monthGrid, 20, 1));
    QTRY_VERIFY(w.monthGrid->hasFocus());
    QCOMPARE(w.monthEditGrid->rowCells(0), (QStringList{"", "20", ""}));

    KeysSeen seen(w.monthGrid);
    QVERIFY(pressKeys({"1", "3", "d"}));
    QTRY_COMPARE(seen.keys, (QList<int>{Qt::Key_1, Qt::Key_3, Qt::Key_D}));
    QCOMPARE(w.monthGrid->row(), 20);
    QCOMPARE(w.monthEditGrid->rowCells(0), (QStringList{"", "20", ""}));
    QVERIFY(!w.monthCalendar().isModified());
}

void TestDesktopKeys::tabLeavesTheDayGrid() {
    MainWindowFixture f;
    QVERIFY(showWithSchedule(f));
    MainWindow& w = *f.form;
    QVERIFY(clickCurrentCell(w.dayGrid, 2, 1));
    QTRY_VERIFY(w.dayGrid->hasFocus());

    QVERIFY(pressKeys({"Tab"}));
    // The control after the day grid is its editor.
    QTRY_VERIFY(w.dayEditGrid->isAncestorOf(QApplication::focusWidget()) ||
                QApplication::focusWidget() == w.dayEditGrid);
    QCOMPARE(w.dayGrid->row(), 2);
    QCOMPARE(w.dayGrid->col(), 1);
}

void TestDesktopKeys::enterRunsTheRow() {
    MainWindowFixture f;
    QVERIFY(showWithSchedule(f));
    MainWindow& w = *f.form;
    QVERIFY(clickCurrentCell(w.dayGrid, 2, 3));
    QTRY_VERIFY(w.dayGrid->hasFocus());

    QVERIFY(pressKeys({"Return"}));
    QTRY_COMPARE(w.dayGrid->cell(0, 2), QStringLiteral("+"));
    QCOMPARE(f.opener.takeOpened(), QStringList{f.path("clip2.mp3")});
    QCOMPARE(w.dayGrid->row(), 2);
    QCOMPARE(w.dayGrid->cell(0, 1), QString());
    QVERIFY(f.prompter.takeShown().isEmpty());
}

QTEST_MAIN(TestDesktopKeys)
#include "test_desktop_keys.moc"
