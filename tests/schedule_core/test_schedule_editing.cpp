// The editing rules with no window: the editors' rows, Insert, Modify and
// Remove on the day schedule, the time order and where it leaves the
// selection, the month editor and the two browse buttons.
#include "platform/FileDialogs.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/ScheduleEditing.h"
#include "support/Shown.h"
#include "support/TestDoubles.h"

#include <QTest>

using namespace cantrel;
using namespace cantrel::test;

namespace {

// Both documents, new, with the rules over them; the day selection is kept
// where the rules move it, as the window's grid keeps it.
struct Editing {
    ScriptedPrompter prompter;
    FileDialogs dialogs{prompter};
    DaySchedule day;
    MonthCalendar month;
    ScheduleEditing editing{day, month, dialogs};
    int selected = 1;

    Editing() {
        day.startNew();
        month.startNew();
        QObject::connect(&editing, &ScheduleEditing::dayRowSelected,
                         [this](int row) { selected = row; });
    }

    StringGridModel& editor() { return editing.dayEditor(); }
    void enter(const QString& time, const QString& output, const QString& comment) {
        editor().setRowCells(0, {"", time, output, comment, ""});
    }
    // What the operator would be shown for Insert or Modify of that row.
    QString insert(const QString& time, const QString& output = {}, const QString& comment = {}) {
        enter(time, output, comment);
        return shownFor([&] { editing.insertRow(); });
    }
    QString modify(const QString& time, const QString& output = {}, const QString& comment = {}) {
        enter(time, output, comment);
        return shownFor([&] { editing.modifyRow(selected); });
    }
    QStringList column(int col) const {
        QStringList out;
        for (int r = 1; r < day.rows().gridRowCount(); ++r)
            out << day.rows().cell(col, r);
        return out;
    }
};

} // namespace

class TestScheduleEditing : public QObject {
    Q_OBJECT
  private slots:
    void insertFillsPlaceholderThenKeepsTimeOrder();
    void equalTimesFollowTheSelectionProcedure();
    void outputNumberRule_data();
    void outputNumberRule();
    void insertKeepsBlanksModifyTrims();
    void modifyMovesTheRowAndTheSelection();
    void badTimes();
    void removeNeverTheLastRow();
    void selectedRowsAreShownWithoutTheirMark();
    void monthEditorWritesThrough();
    void browseButtons();
};

void TestScheduleEditing::insertFillsPlaceholderThenKeepsTimeOrder() {
    Editing e;
    QCOMPARE(e.insert("12:00:00", "3", "noon"), QString());
    QCOMPARE(e.day.rows().gridRowCount(), 2);
    QCOMPARE(e.day.rows().rowCells(1), (QStringList{"", "12:00:00", "3", "noon", ""}));
    QVERIFY(e.day.isModified());

    // Earlier than every row: lands on row 1, selected and shown.
    QCOMPARE(e.insert("07:30:00", "1", "early"), QString());
    QCOMPARE(e.column(1), (QStringList{"07:30:00", "12:00:00"}));
    QCOMPARE(e.selected, 1);
    QCOMPARE(e.editor().rowCells(0), (QStringList{"", "07:30:00", "1", "early", ""}));
    // Later: added at the end and selected there.
    e.insert("13:00:00", "", "late");
    QCOMPARE(e.selected, 3);
    QCOMPARE(e.editor().cell(3, 0), QStringLiteral("late"));
    QVERIFY(e.prompter.takeShown().isEmpty());
}

void TestScheduleEditing::equalTimesFollowTheSelectionProcedure() {
    Editing e;
    e.insert("10:00:00", "", "A");
    e.insert("10:00:00", "", "B");
    e.insert("09:00:00", "", "C");
    QCOMPARE(e.column(3), (QStringList{"C", "B", "A"}));
    QCOMPARE(e.selected, 1);
    QCOMPARE(e.editor().cell(3, 0), QStringLiteral("C"));
}

void TestScheduleEditing::outputNumberRule_data() {
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("17") << "17" << false;
    QTest::newRow("100") << "100" << false;
    QTest::newRow("16") << "16" << true;
    QTest::newRow("0") << "0" << true;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("word") << "bell" << true;
    QTest::newRow("negative") << "-4" << true;
}

void TestScheduleEditing::outputNumberRule() {
    QFETCH(QString, output);
    QFETCH(bool, accepted);
    for (const bool insert : {true, false}) {
        Editing e;
        const QString shown =
            insert ? e.insert("10:10:10", output, "x") : e.modify("10:10:10", output, "x");
        if (accepted) {
            QCOMPARE(shown, QString());
            QCOMPARE(e.day.rows().cell(2, 1), output);
        } else {
            QCOMPARE(shown, QStringLiteral("message: Wrong profile number"));
            QCOMPARE(e.day.rows().cell(1, 1), QString());
            QVERIFY(!e.day.isModified());
        }
    }
}

void TestScheduleEditing::insertKeepsBlanksModifyTrims() {
    Editing e;
    e.insert("08:00:00", "1", "first");
    e.insert("09:00:00", " 2", "  padded\t");
    QCOMPARE(e.day.rows().rowCells(2), (QStringList{"", "09:00:00", " 2", "  padded\t", ""}));
    QCOMPARE(e.selected, 2);
    QCOMPARE(shownFor([&] { e.editing.modifyRow(e.selected); }), QString());
    QCOMPARE(e.day.rows().rowCells(2), (QStringList{"", "09:00:00", "2", "padded", ""}));
    QCOMPARE(e.editor().rowCells(0), (QStringList{"", "09:00:00", "2", "padded", ""}));
}

void TestScheduleEditing::modifyMovesTheRowAndTheSelection() {
    Editing e;
    for (const char* t : {"08:00:00", "09:00:00", "10:00:00"})
        e.insert(t, "", t);
    e.day.rows().setCell(0, 1, QStringLiteral("+"));
    e.selected = 1;
    e.editing.showDayRow(1);
    e.editor().setCell(1, 0, QStringLiteral("11:30:00"));
    e.day.setModified(false);
    QCOMPARE(shownFor([&] { e.editing.modifyRow(e.selected); }), QString());
    QCOMPARE(e.column(1), (QStringList{"09:00:00", "10:00:00", "11:30:00"}));
    QCOMPARE(e.selected, 3);
    // The editor's row, without a mark, replaced the row's.
    QCOMPARE(e.day.rows().rowCells(3), (QStringList{"", "11:30:00", "", "08:00:00", ""}));
    QCOMPARE(e.editor().cell(3, 0), QStringLiteral("08:00:00"));
    QVERIFY(e.day.isModified());
}

void TestScheduleEditing::badTimes() {
    Editing e;
    e.insert("08:00:00", "", "ok");
    // Modify refuses a time that does not read; nothing changes.
    e.day.setModified(false);
    QCOMPARE(e.modify("25:00:00"), QStringLiteral("error: '25:00:00' is not a valid time"));
    QCOMPARE(e.column(1), QStringList{"08:00:00"});
    QVERIFY(!e.day.isModified());

    // Insert stores it at the end, selected, and the time order stops on it.
    QCOMPARE(e.insert("7 o'clock"), QStringLiteral("error: '7 o'clock' is not a valid time"));
    QCOMPARE(e.column(1), (QStringList{"08:00:00", "7 o'clock"}));
    QCOMPARE(e.selected, 2);
    QVERIFY(e.day.isModified());

    // Every later ordering stops on it until it is corrected, with no exchange.
    QCOMPARE(e.insert("06:00"), QStringLiteral("error: '7 o'clock' is not a valid time"));
    QCOMPARE(e.column(1), (QStringList{"08:00:00", "7 o'clock", "06:00"}));
    e.selected = 2;
    QCOMPARE(e.modify("07:00:00"), QString());
    QCOMPARE(e.column(1), (QStringList{"06:00", "07:00:00", "08:00:00"}));
    QCOMPARE(e.selected, 2);
}

void TestScheduleEditing::removeNeverTheLastRow() {
    Editing e;
    e.insert("08:00:00", "", "only");
    e.day.setModified(false);
    e.editing.removeRow(1);
    QCOMPARE(e.column(3), QStringList{"only"});
    QVERIFY(!e.day.isModified());

    e.insert("09:00:00", "", "second");
    e.insert("10:00:00", "", "third");
    // The last row goes: the selection moves up and the editor shows that
    // row, so a Modify afterwards cannot write the removed row over it.
    e.day.setModified(false);
    e.editing.removeRow(3);
    QCOMPARE(e.selected, 2);
    QCOMPARE(e.editor().rowCells(0), (QStringList{"", "09:00:00", "", "second", ""}));
    QVERIFY(e.day.isModified());
    QCOMPARE(shownFor([&] { e.editing.modifyRow(e.selected); }), QString());
    QCOMPARE(e.column(3), (QStringList{"only", "second"}));

    // A row in the middle goes: the row below moves up under the selection.
    e.insert("10:00:00", "", "third");
    e.editing.removeRow(2);
    QCOMPARE(e.selected, 2);
    QCOMPARE(e.column(3), (QStringList{"only", "third"}));
    QCOMPARE(e.editor().cell(3, 0), QStringLiteral("third"));
    QVERIFY(e.prompter.takeShown().isEmpty());
}

void TestScheduleEditing::selectedRowsAreShownWithoutTheirMark() {
    Editing e;
    e.day.rows().setRowCells(1, {"+", "08:00:00", "2", "bell", "/m/bell.wav"});
    e.editing.showDayRow(1);
    QCOMPARE(e.editor().rowCells(0), (QStringList{"", "08:00:00", "2", "bell", "/m/bell.wav"}));

    e.month.rows().setRowCells(7, {"+", "7", "sat.24h"});
    e.editing.showCalendarDay(7);
    QCOMPARE(e.editing.monthEditor().rowCells(0), (QStringList{"", "7", "sat.24h"}));
    QCOMPARE(e.month.rows().cell(0, 7), QStringLiteral("+"));
    QVERIFY(!e.day.isModified() && !e.month.isModified());

    // A loaded schedule starts at its first row.
    e.selected = 5;
    e.editor().setCell(3, 0, QStringLiteral("typed"));
    e.editing.selectFirstDayRow();
    QCOMPARE(e.selected, 1);
    QCOMPARE(e.editor().cell(3, 0), QStringLiteral("bell"));
}

void TestScheduleEditing::monthEditorWritesThrough() {
    Editing e;
    e.month.rows().setCell(0, 7, QStringLiteral("+"));
    e.editing.showCalendarDay(7);
    e.editing.monthEditor().setCell(2, 0, QStringLiteral("s"));
    e.editing.writeCalendarDay(7);
    QCOMPARE(e.month.rows().rowCells(7), (QStringList{"", "7", "s"}));
    QVERIFY(e.month.isModified());
}

void TestScheduleEditing::browseButtons() {
    Editing e;
    e.insert("08:00:00", "", "a");
    e.day.setModified(false);

    // The media file goes into the day editor only.
    e.prompter.openAnswers = {QStringLiteral("/m/bell.wav")};
    e.editing.browseMediaFile();
    QCOMPARE(e.prompter.openRequests.last().filter, QStringLiteral("any file|*.*"));
    QCOMPARE(e.editor().cell(4, 0), QStringLiteral("/m/bell.wav"));
    QCOMPARE(e.day.rows().cell(4, 1), QString());
    e.editing.browseMediaFile();
    QCOMPARE(e.editor().cell(4, 0), QStringLiteral("/m/bell.wav"));
    QVERIFY(!e.day.isModified());

    // A day schedule goes through the month editor into the selected day.
    e.editing.showCalendarDay(8);
    e.editing.browseDayScheduleFile(8);
    QVERIFY(!e.month.isModified());
    e.prompter.openAnswers = {QStringLiteral("/s/sun.24h")};
    e.editing.browseDayScheduleFile(8);
    QCOMPARE(e.prompter.openRequests.last().filter, QStringLiteral(".24h files|*.24h"));
    QCOMPARE(e.editing.monthEditor().rowCells(0), (QStringList{"", "8", "/s/sun.24h"}));
    QCOMPARE(e.month.rows().rowCells(8), (QStringList{"", "8", "/s/sun.24h"}));
    QVERIFY(e.month.isModified());
    QVERIFY(e.prompter.takeShown().isEmpty());
}

QTEST_GUILESS_MAIN(TestScheduleEditing)
#include "test_schedule_editing.moc"
