#include "schedule/PlanMonth.h"

#include <QDateTime>

namespace cantrel {

namespace {

// English and fixed, whatever the locale: the plan's own weekday names.
const char* const kDayNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

QString ruleText(const PlanRule& rule) {
    return QStringLiteral("plan line %1: %2").arg(rule.line).arg(rule.text);
}

QString hhmm(const QDateTime& at) {
    return at.time().toString(QStringLiteral("HH:mm"));
}

// How the clock changes on the date in the zone, or nothing.
QString clockChange(QDate date, const QTimeZone& zone) {
    const QDateTime start = date.startOfDay(zone);
    const QDateTime end = date.addDays(1).startOfDay(zone);
    if (zone.offsetFromUtc(start) == zone.offsetFromUtc(end))
        return {};
    const QTimeZone::OffsetData change = zone.nextTransition(start);
    if (!change.atUtc.isValid() || change.atUtc >= end)
        return {};
    const int before = zone.offsetFromUtc(change.atUtc.addSecs(-1));
    const QDateTime from = change.atUtc.toOffsetFromUtc(before);
    const QDateTime to = change.atUtc.toOffsetFromUtc(change.offsetFromUtc);
    return change.offsetFromUtc > before
               ? QStringLiteral("summer time: the clock goes from %1 to %2").arg(hhmm(from), hhmm(to))
               : QStringLiteral("summer time ends: the clock goes back from %1 to %2")
                     .arg(hhmm(from), hhmm(to));
}

} // namespace

QList<PlanHint> planHints(const DayPlan& plan, int year, int month) {
    QList<PlanHint> hints(31);
    const QDate first(year, month, 1);
    for (int day = 1; day <= first.daysInMonth(); ++day) {
        const QDate date(year, month, day);
        if (const PlanRule* rule = plan.ruleFor(date))
            hints[day - 1] = {rule->file.isEmpty() ? QStringLiteral("—") : rule->file,
                              ruleText(*rule)};
        else
            hints[day - 1] = {QStringLiteral("—"),
                              QStringLiteral("no rule of the plan for %1")
                                  .arg(date.toString(Qt::ISODate))};
    }
    return hints;
}

QString planLookAhead(const QStringList& entries, const std::optional<DayPlan>& plan,
                      const QString& planFolder, QDate first, QDate last, const QTimeZone& zone) {
    struct Line {
        QDate date;
        QString source;
        QString file;
    };
    QList<Line> lines;
    qsizetype width = 0;
    for (QDate date = first; date <= last; date = date.addDays(1)) {
        const DayChoice choice =
            chooseDayFile(entries.value(date.day() - 1), plan ? &*plan : nullptr, planFolder, date);
        QString source;
        switch (choice.source) {
        case DayChoice::Source::Calendar:
            source = QStringLiteral("calendar");
            break;
        case DayChoice::Source::Plan:
            source = QStringLiteral("plan line %1").arg(choice.planLine);
            break;
        case DayChoice::Source::Nothing:
            // Without a plan an empty entry ends Run mode.
            source = !plan             ? QStringLiteral("nothing (no plan: the run ends)")
                     : choice.planLine ? QStringLiteral("nothing (plan line %1)").arg(choice.planLine)
                                       : QStringLiteral("nothing (no rule)");
            break;
        }
        width = std::max(width, source.size());
        lines.append({date, source, choice.file.isEmpty() ? QStringLiteral("-") : choice.file});
    }
    QString out;
    for (const Line& line : lines) {
        out += line.date.toString(Qt::ISODate) + u' ' +
               QLatin1String(kDayNames[line.date.dayOfWeek() - 1]) + QStringLiteral("  ") +
               line.source.leftJustified(width) + QStringLiteral("  ") + line.file;
        if (const QString change = clockChange(line.date, zone); !change.isEmpty())
            out += QStringLiteral("  (%1)").arg(change);
        out += u'\n';
    }
    return out;
}

} // namespace cantrel
