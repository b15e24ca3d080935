// The plan behind the month calendar in the window: the grid's empty days
// show, greyed, what the plan runs on them this month, without a change to
// the calendar; a plan that does not read is said when the calendar loads;
// Run mode on a day of nothing goes on and says there is no schedule today.
#include "app/PlanHintDelegate.h"
#include "run/RunEngine.h"
#include "schedule/StringGrid.h"
#include "support/MainWindowFixture.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace cantrel;
using namespace cantrel::test;

class TestWindowPlan : public QObject {
    Q_OBJECT
  private slots:
    void greysInThePlan();
    void planThatDoesNotReadIsSaid();
};

namespace {

// What the month grid shows greyed for a day, and its tool tip; "" for none.
QString hintOn(MainWindow& form, int day) {
    const PlanHint* hint = form.planHints->hintAt(form.monthGrid->model()->index(day - 1, 2));
    return hint ? hint->text + " | " + hint->toolTip : QString();
}

} // namespace

void TestWindowPlan::greysInThePlan() {
    MainWindowFixture f;
    f.clock.set(QDateTime(QDate(2026, 12, 12), QTime(10, 0)));
    f.write("month.plan", "mon-fri school.24h\nsat,sun -\n");
    f.write("month.31d", "14 special.24h\r\n");
    QVERIFY(f.start());
    MainWindow& form = *f.form;
    QVERIFY(form.planPanel->isHidden());
    form.loadMonthCalendar(f.path("month.31d"));
    QCOMPARE(f.prompter.takeTexts(), QStringList());

    QCOMPARE(hintOn(form, 11), QStringLiteral("school.24h | plan line 1: mon-fri school.24h"));
    QCOMPARE(hintOn(form, 12), QStringLiteral("— | plan line 2: sat,sun -"));
    QCOMPARE(hintOn(form, 14), QString()); // the calendar's own entry
    QCOMPARE(form.planPanel->text(), QStringLiteral("Plan for December 2026: month.plan"));
    QCOMPARE(form.planPanel->toolTip(), f.path("month.plan"));
    QVERIFY(!form.planPanel->isHidden());
    // Display only: the cells stay empty, the calendar unmodified, its file as it was.
    QCOMPARE(form.monthGrid->cell(2, 11), QString());
    QVERIFY(!form.monthCalendar().isModified());
    form.monthCalendar().write(QString());
    QByteArray expected;
    for (int day = 1; day <= 31; ++day)
        expected += QByteArray::number(day) + (day == 14 ? " special.24h" : " ") + "\r\n";
    QCOMPARE(f.read("month.31d"), expected);

    // Saturday: Run mode goes on with nothing to run, and says so.
    form.runButton->click();
    QVERIFY(form.runEngine()->running());
    QCOMPARE(form.dayGroupBox->title(), QStringLiteral("no schedule today"));
    form.runEngine()->tick();
    QVERIFY(form.runEngine()->running());
    QCOMPARE(f.prompter.takeTexts(), QStringList());
    QVERIFY(!form.planPanel->isHidden());
    form.runButton->click();

    // Monday, with a row to come: the status bar has room for its time left
    // or for the month, and the time left matters more while it runs.
    f.write("special.24h", "11:00:00,3,Bell,\r\n");
    f.clock.set(QDateTime(QDate(2026, 12, 14), QTime(10, 0)));
    form.runButton->click();
    QVERIFY(form.runEngine()->running());
    QCOMPARE(form.nextRowPanel->text(), QStringLiteral("Next: 11:00:00  P3  Bell  in 1:00:00"));
    QVERIFY(form.planPanel->isHidden());
    form.runButton->click();
    QVERIFY(!form.planPanel->isHidden());

    // A new calendar has no plan behind it.
    form.newMonthCalendar();
    QCOMPARE(hintOn(form, 11), QString());
    QVERIFY(form.planPanel->isHidden());
}

void TestWindowPlan::planThatDoesNotReadIsSaid() {
    MainWindowFixture f;
    f.write("month.plan", "mon-fri school.24h\nweekend -\n");
    f.write("month.31d", "");
    QVERIFY(f.start());
    f.form->loadMonthCalendar(f.path("month.31d"));
    const QList<ScriptedPrompter::Shown> shown = f.prompter.takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("Can't read the plan"));
    QCOMPARE(shown[0].detail, f.path("month.plan") +
                                  ", line 2: expected a day (mon ... sun, a list or range of "
                                  "them such as mon-fri or sat,sun, a date YYYY-MM-DD or dates "
                                  "YYYY-MM-DD..YYYY-MM-DD), then a day schedule file or -");
    QCOMPARE(hintOn(*f.form, 1), QString());
    QCOMPARE(f.form->planPanel->text(), QStringLiteral("Plan not read: month.plan"));
    // Run mode will not start on a plan it cannot read.
    f.form->runButton->click();
    QVERIFY(!f.form->runEngine()->running());
    QCOMPARE(f.prompter.takeTexts(), QStringList{"Can't read the plan"});
}

QTEST_MAIN(TestWindowPlan)
#include "test_window_plan.moc"
