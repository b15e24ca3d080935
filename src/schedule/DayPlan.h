#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include <optional>

namespace cantrel {

// A plan behind the month calendar (NAME.plan beside NAME.31d): one rule a
// line, a day selector and a day schedule file, or "-" for a day on which
// nothing runs. "#" starts a comment; blank lines are skipped.
//
//   mon-fri                  school.24h
//   sat,sun                  -
//   2026-12-23..2027-01-06   -            # winter holidays
//   2027-05-14               exam-day.24h
//
// The most specific rule for a date wins (a date over a range of dates over
// weekdays); of equal ones, the later line.
struct PlanRule {
    enum class Kind { Weekdays, Dates, Date };
    Kind kind = Kind::Weekdays;
    // Weekdays: bit d-1 for Qt's day of the week d (Monday 1 .. Sunday 7).
    int weekdays = 0;
    // Dates: from..to, both included; Date: from == to.
    QDate from;
    QDate to;
    // The day schedule as the line names it; empty for "-".
    QString file;
    int line = 0;
    // The line as written, runs of blanks made one, for the as-run log.
    QString text;

    bool covers(QDate date) const;
};

struct DayPlan {
    QList<PlanRule> rules;

    // The rule that decides a date, or none.
    const PlanRule* ruleFor(QDate date) const;
};

// What a plan's bytes read as: the plan, or the first line that does not
// read and what was expected there.
struct PlanReading {
    DayPlan plan;
    std::optional<int> errorLine;
    QString expected;
};
PlanReading readDayPlan(const QByteArray& bytes);

// The plan file that belongs to a month calendar: NAME.plan beside NAME.31d.
QString planFileFor(const QString& calendarName);

// Which day schedule runs on a date: the calendar's entry for the day when
// it names one, else the plan's answer. file is empty when nothing runs.
struct DayChoice {
    enum class Source { Calendar, Plan, Nothing };
    Source source = Source::Nothing;
    QString file;
    int planLine = 0; // the deciding rule's line, for Source::Plan
};
// planFolder: where the plan's relative file names are taken from.
DayChoice chooseDayFile(const QString& calendarEntry, const DayPlan* plan,
                        const QString& planFolder, QDate date);

// The plan file as it stands: none when there is no such file. Raises
// "Can't read the plan" with the file, and the line and what was expected
// there, or why the file does not read.
std::optional<DayPlan> readPlanFile(const QString& path);

} // namespace cantrel
