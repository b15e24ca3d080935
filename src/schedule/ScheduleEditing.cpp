#include "schedule/ScheduleEditing.h"

#include "platform/FileDialogs.h"
#include "platform/ProgramError.h"
#include "schedule/Cells.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/TimeOfDay.h"
#include "schedule/TimeOrder.h"

#include <algorithm>

namespace cantrel {

namespace {

// The one check on the output number: above 16 is refused; text that is not
// a number counts as 0.
void checkOutputNumber(const QString& text) {
    if (outputNumber(text) > 16)
        throw ProgramError(QStringLiteral("Wrong profile number"));
}

[[noreturn]] void notAValidTime(const QString& text) {
    throw PlatformError(QStringLiteral("'%1' is not a valid time").arg(text));
}

void copyWithoutMark(const StringGridModel& rows, int row, StringGridModel& editor) {
    QStringList cells = rows.rowCells(row);
    cells[0].clear();
    editor.setRowCells(0, std::move(cells));
}

} // namespace

ScheduleEditing::ScheduleEditing(DaySchedule& day, MonthCalendar& month, FileDialogs& dialogs,
                                 QObject* parent)
    : QObject(parent), day_(day), month_(month), dialogs_(dialogs),
      dayEditor_(new StringGridModel(day.rows().colCount(), 1, 0, this)),
      monthEditor_(new StringGridModel(month.rows().colCount(), 1, 0, this)) {}

void ScheduleEditing::showDayRow(int row) {
    copyWithoutMark(day_.rows(), row, *dayEditor_);
}

void ScheduleEditing::showCalendarDay(int day) {
    copyWithoutMark(month_.rows(), day, *monthEditor_);
}

void ScheduleEditing::selectFirstDayRow() {
    selectDayRow(1);
}

void ScheduleEditing::selectDayRow(int row) {
    emit dayRowSelected(row);
    showDayRow(row);
}

void ScheduleEditing::insertRow() {
    checkOutputNumber(dayEditor_->cell(DayCol::Output, 0));
    StringGridModel& rows = day_.rows();
    if (rows.gridRowCount() == 2 && rows.cell(DayCol::Time, 1).isEmpty()) {
        modifyRow(1);
        return;
    }
    rows.appendRow(dayEditor_->rowCells(0));
    const int added = rows.gridRowCount() - 1;
    selectDayRow(added);
    day_.setModified(true);
    orderDayRows(added);
}

void ScheduleEditing::modifyRow(int selected) {
    const QString time = dayEditor_->cell(DayCol::Time, 0);
    if (!parseTimeOfDay(time))
        notAValidTime(time);
    checkOutputNumber(dayEditor_->cell(DayCol::Output, 0));
    QStringList cells = dayEditor_->rowCells(0);
    for (QString& cell : cells)
        cell = trimmedControls(cell);
    dayEditor_->setRowCells(0, cells);
    day_.rows().setRowCells(selected, std::move(cells));
    day_.setModified(true);
    orderDayRows(selected);
}

void ScheduleEditing::removeRow(int selected) {
    StringGridModel& rows = day_.rows();
    if (rows.gridRowCount() <= 2)
        return;
    rows.removeGridRow(selected);
    // The row below moves up under the selection, or the selection moves up
    // from a removed last row.
    selectDayRow(std::min(selected, rows.gridRowCount() - 1));
    day_.setModified(true);
}

void ScheduleEditing::orderDayRows(int selected) {
    StringGridModel& rows = day_.rows();
    const int count = rows.gridRowCount() - 1;
    std::vector<std::optional<int>> times;
    times.reserve(size_t(count));
    for (int r = 1; r <= count; ++r)
        times.push_back(parseTimeOfDay(rows.cell(DayCol::Time, r)));
    const TimeOrderResult result = orderByTime(times, selected - 1);
    if (result.badRow)
        notAValidTime(rows.cell(DayCol::Time, *result.badRow + 1));
    rows.permuteDataRows(result.order);
    if (result.selected >= 0 && result.selected + 1 != selected)
        selectDayRow(result.selected + 1);
}

void ScheduleEditing::writeCalendarDay(int day) {
    month_.rows().setRowCells(day, monthEditor_->rowCells(0));
    month_.setModified(true);
}

void ScheduleEditing::browseMediaFile() {
    const QString path = dialogs_.chooseFileToOpen(QStringLiteral("any file|*.*"));
    if (!path.isEmpty())
        dayEditor_->setCell(DayCol::Media, 0, path);
}

void ScheduleEditing::browseDayScheduleFile(int day) {
    const QString path = dialogs_.chooseFileToOpen(day_.fileType().filter);
    if (path.isEmpty())
        return;
    monthEditor_->setCell(MonthCol::File, 0, path);
    writeCalendarDay(day);
}

} // namespace cantrel
