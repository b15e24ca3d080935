#pragma once

#include "schedule/DayPlan.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <optional>

namespace cantrel {

// What the month grid shows, greyed, for a day whose calendar entry is
// empty: the plan's file as the plan names it, or "—", and the rule.
struct PlanHint {
    QString text;
    QString toolTip;
};
// Days 1 to 31 of a month (index 0 is day 1); days past its end get nothing.
QList<PlanHint> planHints(const DayPlan& plan, int year, int month);

// The look ahead: for each date from first to last, the day schedule that
// will run and where the choice comes from, one line a date:
//   2026-12-11 Fri  plan line 2            /srv/bells/school.24h
//   2026-12-12 Sat  nothing (plan line 3)  -
// entries: the calendar's day files, index 0 for day 1. A date on which the
// zone's clock changes says so.
QString planLookAhead(const QStringList& entries, const std::optional<DayPlan>& plan,
                      const QString& planFolder, QDate first, QDate last, const QTimeZone& zone);

} // namespace cantrel
