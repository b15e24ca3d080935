#pragma once

#include <QObject>

namespace cantrel {

class DaySchedule;
class FileDialogs;
class MonthCalendar;
class StringGridModel;

// The editing rules behind the two document grids and their one-row
// editors. The editors' rows belong here; the grids' selections do not: the
// window says which row is selected, and follows dayRowSelected when a rule
// moves the day selection.
//
// Insert and Modify check the editor's output number ("Wrong profile
// number" above 16) and keep the day schedule in time order, the selection
// going with its row; a time that does not read stops them with the
// platform's "'x' is not a valid time".
class ScheduleEditing final : public QObject {
    Q_OBJECT
  public:
    ScheduleEditing(DaySchedule& day, MonthCalendar& month, FileDialogs& dialogs,
                    QObject* parent = nullptr);

    // The editors' working copies: one row shaped like their document's.
    StringGridModel& dayEditor() const { return *dayEditor_; }
    StringGridModel& monthEditor() const { return *monthEditor_; }

    // The selected row becomes the editor's working copy, without its mark.
    void showDayRow(int row);
    void showCalendarDay(int day);
    // Selects the first day row and shows it (a day schedule just loaded).
    void selectFirstDayRow();

    // Adds the editor's row as typed and orders the schedule by time; the
    // placeholder row of an empty schedule is filled instead, as Modify
    // fills it.
    void insertRow();
    // Writes the editor's row, every cell trimmed, over the selected row
    // and orders the schedule by time.
    void modifyRow(int selected);
    // Removes the selected row, never the last one a schedule has; the row
    // that comes under the selection is shown.
    void removeRow(int selected);

    // The month editor writes through: what it holds is the selected day's row.
    void writeCalendarDay(int day);
    // The open dialog for any file, into the day editor's media cell.
    void browseMediaFile();
    // The open dialog for day schedules, into the selected day.
    void browseDayScheduleFile(int day);

  signals:
    // A rule moved the day selection to row, which the editor now shows.
    void dayRowSelected(int row);

  private:
    void selectDayRow(int row);
    void orderDayRows(int selected);

    DaySchedule& day_;
    MonthCalendar& month_;
    FileDialogs& dialogs_;
    StringGridModel* dayEditor_;
    StringGridModel* monthEditor_;
};

} // namespace cantrel
