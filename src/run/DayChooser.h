#pragma once

#include "run/FollowedFile.h"
#include "schedule/DayPlan.h"

#include <QDate>
#include <QString>

#include <optional>

namespace cantrel {

// Which day schedule runs on a date: the month calendar's entry for the day
// when it names one, else the plan beside the calendar. The plan is read as
// the run starts; a run that follows its files takes it again once it has
// been saved anew, and keeps the one it had when the new one does not read.
class DayChooser {
  public:
    // Reads the plan that belongs to the calendar, if there is one. Raises
    // its failure ("Can't read the plan").
    void start(const QString& calendarName);
    bool hasPlan() const { return plan_.has_value(); }
    const QString& planFile() const { return planFile_; }

    DayChoice choose(const QString& calendarEntry, QDate date) const;
    // What the as-run log says a choice loaded: the file as the calendar
    // names it; for the plan's, the file and its rule; for none, why.
    QString describe(const DayChoice& choice, QDate date) const;

    // True when the plan was saved anew (or went away) and has been taken.
    // A plan that does not read raises its failure, once per change, and the
    // one in force stays.
    bool followPlan();

  private:
    QString planFile_;
    std::optional<DayPlan> plan_;
    FollowedFile followed_;
};

} // namespace cantrel
