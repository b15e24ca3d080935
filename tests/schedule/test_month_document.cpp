// The month calendar document through the window: bytes on disk, loading
// over what is there, and the state after each failure.
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGrid.h"
#include "support/MainFormFixture.h"

#include <QGroupBox>
#include <QTest>

using namespace cantrel;
using namespace cantrel::test;

namespace {
QStringList entries(const TMainForm& w) {
    QStringList out;
    for (int day = 1; day <= 31; ++day)
        out << w.MonthGrid->cell(2, day);
    return out;
}
} // namespace

class TestMonthDocument : public QObject {
    Q_OBJECT
private slots:
    void newCalendarSavesThirtyOneLines();
    void loadChangesOnlyNamedDays();
    void badDayTextStopsTheLoad();
    void dayOutsideTheMonthIsSkipped();
    void loadFailureState();
    void saveAsAndQuestion();
};

void TestMonthDocument::newCalendarSavesThirtyOneLines() {
    MainFormFixture f;
    QVERIFY(f.start());
    f.prompter.saveAnswers = {f.path("new.31d")};
    f.trigger("Save31d1");
    QByteArray expected;
    for (int day = 1; day <= 31; ++day)
        expected += QByteArray::number(day) + " \r\n";
    QCOMPARE(f.read("new.31d"), expected);
    QCOMPARE(f.form->MonthGroupBox->title(), f.path("new.31d"));
    QVERIFY(f.form->monthCalendar().hasFile() && !f.form->monthCalendar().isModified());
}

void TestMonthDocument::loadChangesOnlyNamedDays() {
    MainFormFixture f;
    QVERIFY(f.start());
    TMainForm& w = *f.form;
    w.MonthGrid->setCell(2, 5, QStringLiteral("kept.24h"));
    w.MonthGrid->setCell(2, 3, QStringLiteral("emptied.24h"));
    w.MonthGrid->setCell(0, 2, QStringLiteral("+"));
    // Reverse order, a path with spaces, blanks after the number, a line with
    // only its number, and a later line for the same day winning.
    f.write("cal.31d", "31 /srv/last day.24h\r\n"
                       "3\r\n"
                       "2     /srv/two.24h  \r\n"
                       "1 /srv/first.24h\n"
                       "1 /srv/second.24h\r");
    f.prompter.openAnswers = {f.path("cal.31d")};
    f.trigger("Load31d1");
    QCOMPARE(f.prompter.openRequests.last().filter, QStringLiteral(".31d files|*.31d"));
    QStringList expected(31);
    expected[0] = "/srv/second.24h";
    expected[1] = "/srv/two.24h";
    expected[4] = "kept.24h";
    expected[30] = "/srv/last day.24h";
    QCOMPARE(entries(w), expected);
    QCOMPARE(w.MonthGrid->cell(0, 2), QStringLiteral("+"));
    QCOMPARE(w.MonthGrid->cell(1, 31), QStringLiteral("31"));
    QCOMPARE(w.MonthGroupBox->title(), f.path("cal.31d"));
    QVERIFY(w.monthCalendar().hasFile() && !w.monthCalendar().isModified());

    w.WriteMonthCalendar(f.path("out.31d"));
    QVERIFY(f.read("out.31d").startsWith("1 /srv/second.24h\r\n2 /srv/two.24h\r\n3 \r\n4 \r\n"
                                         "5 kept.24h\r\n"));
    QVERIFY(f.read("out.31d").endsWith("30 \r\n31 /srv/last day.24h\r\n"));
}

void TestMonthDocument::badDayTextStopsTheLoad() {
    MainFormFixture f;
    QVERIFY(f.start());
    TMainForm& w = *f.form;
    w.MonthGrid->setCell(2, 9, QStringLiteral("old nine"));
    w.monthCalendar().setHasFile(false);
    f.write("tab.31d", "1 a.24h\r\n2\tb.24h\r\n9 nine.24h\r\n");
    f.prompter.openAnswers = {f.path("tab.31d")};
    f.trigger("Load31d1");
    QCOMPARE(f.prompter.takeTexts(), QStringList{"'2\tb.24h' is not a valid integer value"});
    QCOMPARE(w.MonthGrid->cell(2, 1), QStringLiteral("a.24h"));
    QCOMPARE(w.MonthGrid->cell(2, 2), QString());
    QCOMPARE(w.MonthGrid->cell(2, 9), QStringLiteral("old nine"));
    QCOMPARE(w.MonthGroupBox->title(), QString());
    QVERIFY(!w.monthCalendar().isModified());
    QVERIFY(!w.monthCalendar().hasFile());
}

void TestMonthDocument::dayOutsideTheMonthIsSkipped() {
    MainFormFixture f;
    QVERIFY(f.start());
    static const char odd[] = "0 zero\r\n-1 minus\r\n32 big\r\n2147483647 max\r\n4 four\0\r\n";
    f.write("odd.31d", QByteArray(odd, sizeof odd - 1));
    f.form->LoadMonthCalendar(f.path("odd.31d"));
    QStringList expected(31);
    expected[3] = "four";
    QCOMPARE(entries(*f.form), expected);
    QCOMPARE(f.form->MonthGrid->rowCount(), 32);

    // A number too large for an integer is not one.
    f.write("huge.31d", "5 five\r\n99999999999 huge\r\n");
    f.form->handle([&] { f.form->LoadMonthCalendar(f.path("huge.31d")); });
    QCOMPARE(f.prompter.takeTexts(), QStringList{"'99999999999' is not a valid integer value"});
    QCOMPARE(f.form->MonthGrid->cell(2, 5), QStringLiteral("five"));
}

void TestMonthDocument::loadFailureState() {
    MainFormFixture f;
    QVERIFY(f.start());
    TMainForm& w = *f.form;
    w.MonthGrid->setCell(2, 1, QStringLiteral("mine"));
    w.monthCalendar().setModified(true);
    f.prompter.answers = {Answer::No};
    f.prompter.openAnswers = {f.path("absent.31d")};
    f.trigger("Load31d1");
    QCOMPARE(f.prompter.takeTexts().last(), QStringLiteral("Can't load .31d file!"));
    QCOMPARE(w.MonthGrid->cell(2, 1), QStringLiteral("mine"));
    QCOMPARE(w.MonthGroupBox->title(), QString());
    QVERIFY(!w.monthCalendar().isModified());
}

void TestMonthDocument::saveAsAndQuestion() {
    MainFormFixture f;
    QVERIFY(f.start());
    TMainForm& w = *f.form;
    w.monthCalendar().setModified(true);
    f.prompter.answers = {Answer::Yes};
    f.prompter.saveAnswers = {f.path("sub/none/x.31d")};
    f.trigger("New31d1");
    QCOMPARE(f.prompter.takeTexts(),
             (QStringList{"The file Untitled.31d was changed, would you like to save the changes?",
                          "Can't create file!"}));
    const FileDialogRequest& r = f.prompter.saveRequests.last();
    QCOMPARE(r.filter, QStringLiteral(".31d files|*.31d"));
    QCOMPARE(r.defaultSuffix, QStringLiteral("31d"));
    QCOMPARE(r.fileName, QStringLiteral("Untitled.31d"));
    QVERIFY(w.monthCalendar().isModified());

    f.prompter.answers = {Answer::No};
    f.trigger("New31d1");
    QCOMPARE(w.MonthGroupBox->title(), QStringLiteral("Untitled.31d"));
    QVERIFY(!w.monthCalendar().isModified() && !w.monthCalendar().hasFile());
}

QTEST_MAIN(TestMonthDocument)
#include "test_month_document.moc"
