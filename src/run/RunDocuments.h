#pragma once

#include <QString>

namespace cantrel {

class DaySchedule;
class MonthCalendar;
class StringGridModel;

// What the run engine reads and marks: the day schedule's rows (times,
// outputs, media files and their marks), the month calendar's day files and
// marks, and how a day file becomes the day schedule.
class RunDocuments {
  public:
    virtual ~RunDocuments() = default;
    virtual StringGridModel& dayRows() = 0;
    virtual StringGridModel& monthRows() = 0;
    virtual QString dayScheduleName() const = 0;
    virtual QString monthCalendarName() const = 0;
    // Makes the named file the day schedule, every mark empty. Raises the
    // load's failures (".24h file don't specified", "Can't load .24h file");
    // the day schedule is then as it was.
    virtual void loadDaySchedule(const QString& name) = 0;
    // A day on which nothing runs (the plan says so): the day schedule
    // becomes a new, empty one, and is shown as no schedule today.
    virtual void clearDaySchedule() = 0;
    // Reads the month calendar's file anew: each day's file as the file now
    // has it, the day marks kept. Raises the load's failures; the calendar
    // is then as it was. Only a run that follows its files calls it.
    virtual void reloadMonthCalendar() = 0;
};

// The two documents as they are, with nobody to ask or to show them to.
class PlainRunDocuments final : public RunDocuments {
  public:
    PlainRunDocuments(DaySchedule& day, MonthCalendar& month) : day_(day), month_(month) {}
    StringGridModel& dayRows() override;
    StringGridModel& monthRows() override;
    QString dayScheduleName() const override;
    QString monthCalendarName() const override;
    void loadDaySchedule(const QString& name) override;
    void clearDaySchedule() override;
    void reloadMonthCalendar() override;

  private:
    DaySchedule& day_;
    MonthCalendar& month_;
};

} // namespace cantrel
