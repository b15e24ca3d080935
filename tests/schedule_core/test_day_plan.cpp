// The plan behind the month calendar: its lines, its errors, and which day
// schedule runs on a date.
#include "platform/ProgramError.h"
#include "schedule/DayPlan.h"
#include "schedule/PlanMonth.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <QTest>

using namespace cantrel;

class TestDayPlan : public QObject {
    Q_OBJECT
  private slots:
    void readsRules_data();
    void readsRules();
    void refusesLines_data();
    void refusesLines();
    void choosesTheDayFile_data();
    void choosesTheDayFile();
    void planBesideItsCalendar();
    void readsThePlanFile();
    void hintsForTheMonthGrid();
    void looksAhead_data();
    void looksAhead();
};

// What a rule covers, as the days of one week (Monday 2026-12-14 on) and a
// few dates around a year's end, so a test reads it without knowing its bits.
static QString coverage(const PlanRule& rule) {
    QString days;
    for (int d = 0; d < 7; ++d)
        days += rule.covers(QDate(2026, 12, 14).addDays(d)) ? QChar(u'1' + d) : QChar(u'.');
    QString dates;
    for (const QDate& date : {QDate(2026, 12, 22), QDate(2026, 12, 23), QDate(2027, 1, 6),
                              QDate(2027, 1, 7), QDate(2028, 2, 29)})
        dates += rule.covers(date) ? u'x' : u'.';
    return days + ' ' + dates;
}

void TestDayPlan::readsRules_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("covers");
    QTest::addColumn<QString>("file");
    QTest::newRow("one weekday") << QByteArray("wed bell.24h") << "..3.... .xx.." << "bell.24h";
    QTest::newRow("weekday range") << QByteArray("mon-fri  school.24h") << "12345.. xxxxx"
                                   << "school.24h";
    QTest::newRow("weekday list, capitals") << QByteArray("Sat,SUN -") << ".....67 ....." << "";
    QTest::newRow("list of ranges") << QByteArray("mon,wed-thu x.24h") << "1.34... .xxx."
                                    << "x.24h";
    QTest::newRow("over the week's end") << QByteArray("fri-mon w.24h") << "1...567 ....."
                                         << "w.24h";
    QTest::newRow("a date") << QByteArray("2026-12-23 exam day.24h  ") << "....... .x..."
                            << "exam day.24h";
    QTest::newRow("29 February") << QByteArray("2028-02-29\tleap.24h") << "....... ....x"
                                 << "leap.24h";
    QTest::newRow("dates over a year's end, comment")
        << QByteArray("2026-12-23..2027-01-06 -   # winter holidays") << "....... .xx.." << "";
}

void TestDayPlan::readsRules() {
    QFETCH(QByteArray, line);
    QFETCH(QString, covers);
    QFETCH(QString, file);
    const PlanReading reading = readDayPlan("# a plan\r\n\r\n   \r\n" + line + "\r\n");
    QVERIFY(!reading.errorLine);
    QCOMPARE(reading.plan.rules.size(), 1);
    QCOMPARE(coverage(reading.plan.rules[0]), covers);
    QCOMPARE(reading.plan.rules[0].file, file);
    QCOMPARE(reading.plan.rules[0].line, 4);
    QCOMPARE(reading.plan.rules[0].text, QString::fromUtf8(line).simplified());
}

void TestDayPlan::refusesLines_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("no file") << QByteArray("mon-fri");
    QTest::newRow("no file but a comment") << QByteArray("mon-fri # school");
    QTest::newRow("unknown day") << QByteArray("monday school.24h");
    QTest::newRow("half a range") << QByteArray("mon- school.24h");
    QTest::newRow("three ends") << QByteArray("mon-wed-fri school.24h");
    QTest::newRow("no such date") << QByteArray("2027-02-29 x.24h");
    QTest::newRow("date's shape") << QByteArray("2027-2-28 x.24h");
    QTest::newRow("dates backwards") << QByteArray("2027-01-06..2026-12-23 -");
    QTest::newRow("half a range of dates") << QByteArray("2027-01-06.. -");
}

void TestDayPlan::refusesLines() {
    QFETCH(QByteArray, line);
    const PlanReading reading = readDayPlan("mon-fri school.24h\n" + line + "\nsat -\n");
    QCOMPARE(reading.errorLine, std::optional<int>(2));
    QCOMPARE(reading.expected,
             QStringLiteral("expected a day (mon ... sun, a list or range of them such as "
                            "mon-fri or sat,sun, a date YYYY-MM-DD or dates "
                            "YYYY-MM-DD..YYYY-MM-DD), then a day schedule file or -"));
}

void TestDayPlan::choosesTheDayFile_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QByteArray>("plan");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("chosen"); // "calendar FILE", "plan N FILE", "nothing N"
    const QByteArray school("mon-fri school.24h\n"           // 1
                            "sat,sun -\n"                    // 2
                            "2026-12-23..2027-01-06 -\n"     // 3
                            "2027-01-04 staff.24h\n"         // 4
                            "mon bell.24h\n");               // 5
    QTest::newRow("the calendar's entry first")
        << "cal.24h" << school << QDate(2026, 12, 26) << "calendar cal.24h";
    QTest::newRow("a weekday") << QString() << school << QDate(2026, 12, 15)
                               << "plan 1 /p/school.24h";
    QTest::newRow("a later weekday line") << QString() << school << QDate(2026, 12, 14)
                                          << "plan 5 /p/bell.24h";
    QTest::newRow("weekend") << QString() << school << QDate(2026, 12, 19) << "nothing 2";
    QTest::newRow("holidays over a weekday") << QString() << school << QDate(2026, 12, 28)
                                             << "nothing 3";
    QTest::newRow("holidays over a year's end") << QString() << school << QDate(2027, 1, 5)
                                                << "nothing 3";
    QTest::newRow("a date over the holidays") << QString() << school << QDate(2027, 1, 4)
                                              << "plan 4 /p/staff.24h";
    QTest::newRow("the day after") << QString() << school << QDate(2027, 1, 7)
                                   << "plan 1 /p/school.24h";
    QTest::newRow("no rule for the date") << QString() << QByteArray("2027-05-14 exam.24h\n")
                                          << QDate(2027, 5, 13) << "nothing 0";
    QTest::newRow("a date over a later range")
        << QString() << QByteArray("2028-02-29 leap.24h\n2028-02-01..2028-03-31 -\n")
        << QDate(2028, 2, 29) << "plan 1 /p/leap.24h";
    QTest::newRow("an absolute file") << QString() << QByteArray("mon-sun /srv/day.24h\n")
                                      << QDate(2027, 3, 28) << "plan 1 /srv/day.24h";
    QTest::newRow("no plan") << QString() << QByteArray() << QDate(2026, 12, 15) << "nothing 0";
}

void TestDayPlan::choosesTheDayFile() {
    QFETCH(QString, entry);
    QFETCH(QByteArray, plan);
    QFETCH(QDate, date);
    QFETCH(QString, chosen);
    const PlanReading reading = readDayPlan(plan);
    QVERIFY(!reading.errorLine);
    const DayChoice choice =
        chooseDayFile(entry, plan.isEmpty() ? nullptr : &reading.plan, "/p", date);
    QString said;
    switch (choice.source) {
    case DayChoice::Source::Calendar:
        said = "calendar " + choice.file;
        break;
    case DayChoice::Source::Plan:
        said = QStringLiteral("plan %1 %2").arg(choice.planLine).arg(choice.file);
        break;
    case DayChoice::Source::Nothing:
        said = QStringLiteral("nothing %1").arg(choice.planLine);
        break;
    }
    QCOMPARE(said, chosen);
}

void TestDayPlan::planBesideItsCalendar() {
    QCOMPARE(planFileFor("/srv/bells/school.31d"), QStringLiteral("/srv/bells/school.plan"));
    QCOMPARE(planFileFor("year.2027.31d"), QStringLiteral("./year.2027.plan"));
}

// No file is no plan; a file that does not read names itself, and the line
// and what was expected there.
void TestDayPlan::readsThePlanFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("month.plan");
    QCOMPARE(readPlanFile(path).has_value(), false);
    const auto failureOf = [&path]() -> QString {
        try {
            readPlanFile(path);
        } catch (const ProgramError& failure) {
            return failure.oneLine();
        }
        return QStringLiteral("read");
    };
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("# bells\nmon-fri school.24h\nweekend -\n");
    file.close();
    QCOMPARE(failureOf(), "Can't read the plan: " + path +
                              ", line 3: expected a day (mon ... sun, a list or range of them "
                              "such as mon-fri or sat,sun, a date YYYY-MM-DD or dates "
                              "YYYY-MM-DD..YYYY-MM-DD), then a day schedule file or -");
    QVERIFY(QFile::remove(path) && QDir(dir.path()).mkdir("month.plan"));
    QVERIFY2(failureOf().startsWith("Can't read the plan: " + path + ": "), qPrintable(failureOf()));
}

// What the month grid greys in: the file as the plan names it or a dash,
// and the rule; nothing for days past the month's end.
void TestDayPlan::hintsForTheMonthGrid() {
    const PlanReading reading =
        readDayPlan("mon-fri school.24h\n2027-02-06..2027-02-13 -  # ski week\n");
    const QList<PlanHint> hints = planHints(reading.plan, 2027, 2);
    QCOMPARE(hints.size(), 31);
    const auto shown = [&hints](int day) {
        return hints[day - 1].text + " | " + hints[day - 1].toolTip;
    };
    QCOMPARE(shown(1), QStringLiteral("school.24h | plan line 1: mon-fri school.24h"));
    QCOMPARE(shown(7), QStringLiteral("— | plan line 2: 2027-02-06..2027-02-13 - # ski week"));
    QCOMPARE(shown(14), QStringLiteral("— | no rule of the plan for 2027-02-14"));
    QCOMPARE(shown(28), QStringLiteral("— | no rule of the plan for 2027-02-28"));
    QCOMPARE(shown(29), QStringLiteral(" | "));
    QCOMPARE(shown(31), QStringLiteral(" | "));
}

void TestDayPlan::looksAhead_data() {
    QTest::addColumn<QByteArray>("plan"); // none when null
    QTest::addColumn<QDate>("first");
    QTest::addColumn<QDate>("last");
    QTest::addColumn<QString>("lines");
    const QByteArray plan("mon-fri school.24h\nsat -\n");
    QTest::newRow("into summer time")
        << plan << QDate(2027, 3, 26) << QDate(2027, 3, 29)
        << "2027-03-26 Fri  plan line 1            /srv/bells/school.24h\n"
           "2027-03-27 Sat  nothing (plan line 2)  -\n"
           "2027-03-28 Sun  nothing (no rule)      -  (summer time: the clock goes from 02:00 "
           "to 03:00)\n"
           "2027-03-29 Mon  calendar               /srv/cal.24h\n";
    QTest::newRow("out of it") << plan << QDate(2027, 10, 31) << QDate(2027, 10, 31)
                               << "2027-10-31 Sun  nothing (no rule)  -  (summer time ends: the "
                                  "clock goes back from 03:00 to 02:00)\n";
    QTest::newRow("no plan") << QByteArray() << QDate(2027, 3, 29) << QDate(2027, 3, 30)
                             << "2027-03-29 Mon  calendar                         /srv/cal.24h\n"
                                "2027-03-30 Tue  nothing (no plan: the run ends)  -\n";
}

void TestDayPlan::looksAhead() {
    QFETCH(QByteArray, plan);
    QFETCH(QDate, first);
    QFETCH(QDate, last);
    QFETCH(QString, lines);
    QStringList entries(31);
    entries[28] = QStringLiteral("/srv/cal.24h");
    const std::optional<DayPlan> rules =
        plan.isNull() ? std::nullopt : std::optional<DayPlan>(readDayPlan(plan).plan);
    QCOMPARE(planLookAhead(entries, rules, "/srv/bells", first, last,
                           QTimeZone("Europe/Berlin")),
             lines);
}

QTEST_GUILESS_MAIN(TestDayPlan)
#include "test_day_plan.moc"
